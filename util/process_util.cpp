#include "util/process_util.h"

#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstring>

#include "util/scoped_handle.h"

namespace {

// Calls |visit| for each process entry until it returns false.
template <typename Visit>
void ForEachProcess(Visit visit) {
  tn::ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32First(snapshot.Get(), &entry); more;
       more = Process32Next(snapshot.Get(), &entry)) {
    if (!visit(entry)) return;
  }
}

}  // namespace

bool IsProcessRunning(const std::string& exe_name) {
  if (exe_name.empty()) return false;
  bool found = false;
  ForEachProcess([&](const PROCESSENTRY32& entry) {
    // CompareString works on the ANSI code page, so a double-byte name is
    // never case-folded in the middle of a character.
    found = CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, entry.szExeFile, -1,
                           exe_name.c_str(), -1) == CSTR_EQUAL;
    return !found;
  });
  return found;
}

bool TerminateProcessesByName(const std::string& exe_name) {
  if (exe_name.empty()) return false;
  bool all_terminated = true;
  ForEachProcess([&](const PROCESSENTRY32& entry) {
    if (std::strcmp(entry.szExeFile, exe_name.c_str()) != 0) return true;
    tn::ScopedHandle process(OpenProcess(PROCESS_ALL_ACCESS, TRUE, entry.th32ProcessID));
    if (!process || !TerminateProcess(process.Get(), 0)) {
      all_terminated = false;
      return false;
    }
    return true;
  });
  return all_terminated;
}

bool OpenProgramSilently(const std::string& program, const std::string& parameters,
                         const std::string& directory, int show) {
  SHELLEXECUTEINFOA info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_FLAG_NO_UI;
  info.lpVerb = "open";
  info.lpFile = program.c_str();
  info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
  info.lpDirectory = directory.empty() ? nullptr : directory.c_str();
  info.nShow = show;
  return ShellExecuteExA(&info) != FALSE;
}
