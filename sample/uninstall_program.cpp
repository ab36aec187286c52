// The product's uninstaller, registered as the uninstall key's
// UninstallString. Usage:
//   uninstall.exe [/S]                 remove the installation it lies in; /S
//                                      asks nothing and shows nothing
//   uninstall.exe /cleanup HANDLE DIR  internal: the temp copy that removes
//                                      DIR once the original has ended
// Exit codes: see UninstallExitCode.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "sample/launch_record.h"
#include "sample/product_names.h"
#include "sample/uninstaller.h"
#include "util/file_util.h"
#include "util/scoped_handle.h"

namespace {

const std::string kCaption = std::string(sample::kProductName) + " 卸载";

std::string OwnDirectory() {
  char path[MAX_PATH * 2] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
  std::string directory(path, length < sizeof(path) ? length : 0);
  const size_t slash = directory.find_last_of('\\');
  return slash == std::string::npos ? std::string() : directory.substr(0, slash);
}

bool IsSwitch(const char* argument, const char* name) {
  return argument && (argument[0] == '/' || argument[0] == '-') &&
         lstrcmpiA(argument + 1, name) == 0;
}

int Uninstall(bool silent) {
  const std::string install_dir = sample::NormalizePath(OwnDirectory());
  // The whole directory goes, so a program placed in a drive root or a system
  // folder must not act at all.
  if (install_dir.empty() || !IsRemovableTreePath(install_dir)) {
    sample::AppendLaunchRecord("refused", {{"install_dir", install_dir}});
    if (!silent) {
      const std::string text = "卸载程序不在有效的安装目录中，无法卸载：\r\n" + install_dir;
      MessageBoxA(nullptr, text.c_str(), kCaption.c_str(), MB_OK | MB_ICONERROR);
    }
    return sample::kUninstallUnsafeDirectory;
  }
  if (!silent) {
    const std::string question =
        std::string("确定要完全移除") + sample::kProductName + "及其所有组件吗？";
    if (MessageBoxA(nullptr, question.c_str(), kCaption.c_str(),
                    MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) {
      sample::AppendLaunchRecord("cancelled");
      return sample::kUninstallCancelled;
    }
  }

  sample::StopProductPrograms();
  const int links = sample::RemoveProductShortcuts(install_dir);
  const int keys = sample::RemoveUninstallEntries(install_dir);
  // Everything but this running program goes now; the directory and this
  // file go when the temp copy sees this process end.
  (void)RemoveDirectoryTree(install_dir);
  const bool remaining = GetFileAttributesA(install_dir.c_str()) != INVALID_FILE_ATTRIBUTES;
  const bool cleanup_started = remaining && sample::StartDeferredCleanup(install_dir);
  sample::AppendLaunchRecord(
      "finish", {{"install_dir", install_dir},
                 {"links_removed", std::to_string(links)},
                 {"keys_removed", std::to_string(keys)},
                 {"cleanup", remaining ? (cleanup_started ? "started" : "failed") : "not needed"}});
  if (remaining && !cleanup_started) {
    if (!silent) {
      const std::string text = "部分文件未能删除，请手动删除目录：\r\n" + install_dir;
      MessageBoxA(nullptr, text.c_str(), kCaption.c_str(), MB_OK | MB_ICONWARNING);
    }
    return sample::kUninstallCleanupFailed;
  }
  if (!silent) {
    const std::string text = std::string(sample::kProductName) + "已从您的电脑中移除。";
    MessageBoxA(nullptr, text.c_str(), kCaption.c_str(), MB_OK | MB_ICONINFORMATION);
  }
  return sample::kUninstallDone;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (__argc >= 2 && IsSwitch(__argv[1], "cleanup")) {
    if (__argc != 4) return sample::kUninstallUsage;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(__argv[2], &end, 10);
    if (!end || *end != '\0' || value == 0) return sample::kUninstallUsage;
    sample::AppendLaunchRecord("start", {{"stage", "cleanup"}});
    return sample::RunDeferredCleanup(
        tn::ScopedHandle(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value))), __argv[3]);
  }
  bool silent = false;
  for (int i = 1; i < __argc; ++i) {
    if (IsSwitch(__argv[i], "S")) {
      silent = true;
    } else {
      return sample::kUninstallUsage;
    }
  }
  sample::AppendLaunchRecord("start", {{"stage", "uninstall"}});
  return Uninstall(silent);
}
