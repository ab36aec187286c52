#include "hypervisor/hypervisor_setup.h"

#include <cstring>
#include <memory>

#include "util/file_util.h"
#include "util/process_util.h"
#include "util/scoped_handle.h"
#include "util/string_util.h"

namespace {

constexpr DWORD kAfterTerminateMs = 200;
// Characters that make the command interpreter treat a component other than
// as plain text.
constexpr char kCmdSpecialCharacters[] = " &^()%!";

struct SetupRequest {
  HWND page;
  UINT done_message;
  std::string install_dir;
  std::string quoted_dir;
};

void TerminateIfRunning(const char* name) {
  if (IsProcessRunning(name)) static_cast<void>(TerminateProcessesByName(name));
}

// A fresh file of our own under |path|: whatever stood there (a planted file
// or a link to somewhere else) is deleted first, and CREATE_NEW fails rather
// than open something that appeared in between.
bool WriteFreshFile(const std::string& path, const std::string& text) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  static_cast<void>(DeleteFileA(path.c_str()));
  tn::ScopedHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

// Runs the batch file |file_name| in |directory| hidden through the system
// folder's command interpreter (not whatever the ".bat" association names)
// and waits for it to end. The interpreter starts in |directory| and gets
// only the relative name: a path on its command line would have its "%"
// expanded and its quotes interpreted, which no escaping prevents there.
// CreateProcess, unlike the shell, takes the working folder as it is (the
// shell expands "%...%" in it).
void RunBatchAndWait(const std::string& directory, const char* file_name) {
  char system[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryA(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  const std::string interpreter = std::string(system) + "\\cmd.exe";
  // /d: no AutoRun commands.
  std::string command_line = "cmd.exe /d /c .\\" + std::string(file_name);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process_info = {};
  if (!CreateProcessA(interpreter.c_str(), &command_line[0], nullptr, nullptr, FALSE, 0, nullptr,
                      directory.c_str(), &startup, &process_info)) {
    return;
  }
  tn::ScopedHandle process(process_info.hProcess);
  tn::ScopedHandle thread(process_info.hThread);
  WaitForSingleObject(process.Get(), INFINITE);
}

}  // namespace

void TerminateHypervisorProcesses(const KeepAlive& keep_alive) {
  for (const char* name : {"vmware-vmx.exe", "vmware.exe", "vmplayer.exe"})
    TerminateIfRunning(name);
  PauseKeepingAlive(kAfterTerminateMs, keep_alive);
}

std::string QuoteDirectoryForCmd(const std::string& directory) {
  std::string result;
  for (const std::string& piece : SplitString(directory, "\\")) {
    if (piece.find_first_of(kCmdSpecialCharacters) == std::string::npos) {
      result += piece;
    } else {
      std::string escaped;
      for (char c : piece) {
        escaped += c;
        if (c == '%') escaped += '%';
      }
      result += "\"" + escaped + "\"";
    }
    result += "\\";
  }
  result.pop_back();  // the separator after the last piece
  return result;
}

std::string HypervisorBatchText(const std::string& quoted_directory) {
  return quoted_directory + "\\" + kHypervisorSetupProgram + kHypervisorSetupSwitches +
         "\r\nexit\r\n";
}

bool StartHypervisorSetup(HWND page, UINT done_message, const std::string& install_dir) {
  TerminateIfRunning("vmware-vmx.exe");
  TerminateIfRunning("vmware.exe");
  Sleep(kAfterTerminateMs);
  auto request = std::make_unique<SetupRequest>();
  request->page = page;
  request->done_message = done_message;
  request->install_dir = install_dir;
  request->quoted_dir = QuoteDirectoryForCmd(install_dir);
  tn::ScopedHandle thread(
      CreateThread(nullptr, 0, &HypervisorSetupThread, request.get(), 0, nullptr));
  if (!thread) {
    // Without the setup the installation still has to finish.
    PostMessageA(page, done_message, 0, 0);
    return false;
  }
  request.release();  // the thread owns it now; the thread runs detached
  return true;
}

DWORD WINAPI HypervisorSetupThread(LPVOID parameter) {
  std::unique_ptr<SetupRequest> request(static_cast<SetupRequest*>(parameter));
  const std::string batch = request->install_dir + "\\" + kHypervisorBatchFile;
  // An unwritable batch file still ends in the message: the setup's outcome
  // is never examined.
  if (WriteFreshFile(batch, HypervisorBatchText(request->quoted_dir))) {
    RunBatchAndWait(request->install_dir, kHypervisorBatchFile);
  }
  PostMessageA(request->page, request->done_message, 0, 0);
  return 0;
}

void RemoveHypervisorSetupFiles(const std::string& install_dir) {
  const std::string batch = install_dir + "\\" + kHypervisorBatchFile;
  if (FileExists(batch)) static_cast<void>(DeleteFileA(batch.c_str()));
  static_cast<void>(DeleteFileA((install_dir + "\\" + kHypervisorSetupProgram).c_str()));
}
