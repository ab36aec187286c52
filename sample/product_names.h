// Names shared by the sample product's programs. They match the shipped
// installer configuration: the uninstaller has no configuration of its own and
// must find what the installer made under these names.
#pragma once

namespace sample {

constexpr char kProductName[] = "Tarnis模拟器";
constexpr char kProductVersion[] = "0.2.0.1726";
constexpr char kUninstallKeyName[] = "ZEVodirodaz";
constexpr char kUninstallBranch[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr char kStartMenuFolderName[] = "ZEVodirodaz";
constexpr char kUserDataFolderName[] = "ZEVodirodaz";
constexpr char kQuickLaunchSubfolder[] = "\\Microsoft\\Internet Explorer\\Quick Launch";
constexpr char kUninstallLinkPrefix[] = "卸载";

constexpr char kMainProgram[] = "ZEVodirodaz.exe";
constexpr char kAutoRunProgram[] = "TNZiduvaZevi.exe";
constexpr char kAutoRunLinkName[] = "TNZiduvaZevi";
constexpr char kReportProgram[] = "ZiduVaziruzOzuded.exe";
constexpr char kUninstallProgram[] = "uninstall.exe";
constexpr char kHypervisorSetupProgram[] = "VMware14.exe";

// The auto-start program holds the mutex while it runs and ends when the
// event is set (the uninstaller sets it before it falls back to terminating).
constexpr char kAutoRunInstanceMutex[] = "TNZiduvaZevi.Instance";
constexpr char kAutoRunStopEvent[] = "TNZiduvaZevi.Stop";

}  // namespace sample
