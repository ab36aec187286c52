// The facts of an installation handed to the product's reporting program:
// "submitconfig.ini" in the per-user data folder (application data +
// "\ZEVodirodaz"), section CONFIG, keys installPath and Version, written
// through the profile writer so that other keys in the file stay; then the
// reporting program, started hidden and not waited for.
#pragma once

#include <string>

constexpr char kUserDataFolderName[] = "ZEVodirodaz";
constexpr char kReportFileName[] = "submitconfig.ini";
constexpr char kReportProgramName[] = "ZiduVaziruzOzuded.exe";

// Creates the per-user data folder when it does not exist (its parent is not
// created). Returns the folder, or empty when the application-data folder
// cannot be resolved.
std::string EnsureUserDataFolder();

// Writes installPath = |install_dir| and Version = the configuration's
// DisplayVersion (empty when it has none) under [CONFIG], then starts
// |install_dir|\ZiduVaziruzOzuded.exe with the argument "<Version>_0", the
// install directory as working directory, hidden. Nothing is reported: a
// missing folder or program only means there is no report.
void HandOffInstallReport(const std::string& install_dir);
