// The installer's work directory: the drive root of the user's temporary
// path followed by "tnextract", holding the archive library and the
// configuration written out of the executable's resources.
//
// The directory sits where any signed-in user may create folders, while the
// installer runs as administrator. So whatever stands under its name at
// start is removed (a link as the link itself) and the directory is made
// anew with an access list for Administrators and SYSTEM only, and a work
// file is used only through OpenVerifiedWorkFile, which pins the file and
// checks its bytes.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "util/scoped_handle.h"

constexpr char kWorkDirName[] = "tnextract";
constexpr char kArchiveLibraryFileName[] = "7zTmp.dll";
constexpr char kConfigFileName[] = "info.ini";
constexpr int kArchiveLibraryResourceId = 130;
constexpr char kArchiveLibraryResourceType[] = "EXEDLL";
constexpr int kConfigResourceId = 131;
constexpr char kConfigResourceType[] = "INI";

// The work directory path, without trailing backslash: the first three
// characters of the temporary path ("C:\") followed by "tnextract". When the
// temporary path does not start with a drive root (a UNC path, or none at
// all) the Windows directory's drive is used instead.
std::string GetWorkDirPath();

// Finds resource |id| of type |type| in |module| (null = the running
// executable) and gives its bytes, which live as long as the module. False,
// leaving the outputs untouched, when it is missing, empty or cannot be
// loaded or locked.
bool LoadResourceBytes(HMODULE module, int id, const char* type, const void** data, DWORD* size);

// Writes the running executable's resource |resource_id| of |resource_type|
// to |directory|\|file_name|, replacing an existing file (a link in its place
// is removed, never followed). True when every byte was written; false, with
// nothing written, when the resource is missing or empty.
bool WriteResourceToFile(const std::string& directory, const std::string& file_name,
                         int resource_id, const char* resource_type);

// Deletes |directory|\|file_name|. Failures are ignored; nothing is deleted
// when |directory| is empty or a junction or symbolic link.
void DeleteWorkDirFile(const std::string& directory, const std::string& file_name);

// Opens |path| for reading with read sharing only, so that no other process
// can write, delete or rename the file while the handle is open, and checks
// that its bytes equal |expected|. Returns the open handle positioned at the
// start of the file, or an invalid handle when the file is missing, is a link
// or directory, or differs. The caller keeps the handle open until it has
// finished reading or loading the file by its path.
tn::ScopedHandle OpenVerifiedWorkFile(const std::string& path, const void* expected,
                                      size_t expected_size);

// Loads the configuration file |path| into CIniInfoManager when its bytes
// equal the running executable's configuration resource, holding the file
// pinned while it is read. False, adding nothing, when they differ or either
// is missing.
bool LoadVerifiedConfig(const std::string& path);

// The protected access list of the work directory (full control for SYSTEM
// and Administrators, nothing inherited), to be freed with LocalFree; null
// when it cannot be built.
PSECURITY_DESCRIPTOR BuildWorkDirSecurityDescriptor();

// Removes whatever stands at |directory| (never following a link) and
// creates it anew with the protected access list; when something reappears
// under the name each time, it retries a few times and gives up. True when
// this call created the directory.
bool CreateFreshWorkDir(const std::string& directory);

// Makes the work directory afresh (CreateFreshWorkDir), writes the archive
// library and the configuration into it and loads the configuration into
// CIniInfoManager, after checking the written file against the resource.
// Returns the work directory path, which the main window keeps. When no
// fresh directory could be made nothing is written: the table stays empty
// and the archive library fails to load.
std::string PrepareWorkDir();

// Deletes the two work files by name, then removes the work directory with
// what is left in it. Harmless when nothing is there; a work directory that
// is a junction or symbolic link is left alone. Failures are ignored.
void RemoveWorkDir();
