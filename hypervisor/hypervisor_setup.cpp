#include "hypervisor/hypervisor_setup.h"

#include <shellapi.h>

#include <cstring>
#include <memory>

#include "payload/install_messages.h"
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

// Runs |batch| hidden through the system folder's command interpreter (not
// whatever the ".bat" association names) and waits for it to end.
void RunBatchAndWait(const std::string& batch) {
  char system[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryA(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  const std::string interpreter = std::string(system) + "\\cmd.exe";
  // /d: no AutoRun commands. The outer quotes are the ones /c strips, so the
  // batch path keeps its own quotes whatever characters it holds.
  const std::string parameters = "/d /c \"\"" + batch + "\"\"";
  SHELLEXECUTEINFOA info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpFile = interpreter.c_str();
  info.lpParameters = parameters.c_str();
  info.nShow = SW_HIDE;
  static_cast<void>(ShellExecuteExA(&info));
  tn::ScopedHandle process(info.hProcess);
  if (process) WaitForSingleObject(process.Get(), INFINITE);
}

}  // namespace

void TerminateHypervisorProcesses() {
  for (const char* name : {"vmware-vmx.exe", "vmware.exe", "vmplayer.exe"}) TerminateIfRunning(name);
  Sleep(kAfterTerminateMs);
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

bool StartHypervisorSetup(HWND page, const std::string& install_dir) {
  TerminateIfRunning("vmware-vmx.exe");
  TerminateIfRunning("vmware.exe");
  Sleep(kAfterTerminateMs);
  auto request = std::make_unique<SetupRequest>();
  request->page = page;
  request->install_dir = install_dir;
  request->quoted_dir = QuoteDirectoryForCmd(install_dir);
  tn::ScopedHandle thread(
      CreateThread(nullptr, 0, &HypervisorSetupThread, request.get(), 0, nullptr));
  if (!thread) {
    // Without the setup the installation still has to finish.
    PostMessageA(page, WM_HYPERVISOR_INSTALLED, 0, 0);
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
  if (WriteFreshFile(batch, HypervisorBatchText(request->quoted_dir))) RunBatchAndWait(batch);
  PostMessageA(request->page, WM_HYPERVISOR_INSTALLED, 0, 0);
  return 0;
}

void RemoveHypervisorSetupFiles(const std::string& install_dir) {
  const std::string batch = install_dir + "\\" + kHypervisorBatchFile;
  if (FileExists(batch)) static_cast<void>(DeleteFileA(batch.c_str()));
  static_cast<void>(DeleteFileA((install_dir + "\\" + kHypervisorSetupProgram).c_str()));
}
