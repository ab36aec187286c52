#include "config/work_dir.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>

#include "config/ini_info_manager.h"
#include "tests/support/test_support.h"
#include "util/file_util.h"

namespace {

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ResourceBytes(int id, const char* type) {
  const void* data = nullptr;
  DWORD size = 0;
  if (!LoadResourceBytes(nullptr, id, type, &data, &size)) return std::string();
  return std::string(static_cast<const char*>(data), size);
}

// Runs the probe program, a process of its own, and gives its exit code: 0
// when the access succeeded, else the Windows error.
DWORD Probe(const std::string& mode, const std::string& path) {
  const std::string probe = tn_test::BuildPath("config/config_file_probe.exe");
  const std::string command = "\"" + probe + "\" " + mode + " \"" + path + "\"";
  tn::ScopedHandle process = tn_test::StartProcess(command);
  if (!process) return 0xFFFFFFFF;
  if (WaitForSingleObject(process.Get(), 30000) != WAIT_OBJECT_0) return 0xFFFFFFFE;
  DWORD code = 0xFFFFFFFD;
  GetExitCodeProcess(process.Get(), &code);
  return code;
}

// The access list of |descriptor| in its SDDL form; empty when it has none.
std::string DaclText(PSECURITY_DESCRIPTOR descriptor) {
  char* text = nullptr;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(
          descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
    return std::string();
  }
  const std::string sddl = text;
  LocalFree(text);
  return sddl;
}

class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    char old[MAX_PATH * 2] = {};
    const DWORD length = GetEnvironmentVariableA(name, old, sizeof(old));
    had_ = length > 0 && length < sizeof(old);
    old_ = old;
    SetEnvironmentVariableA(name, value);
  }
  ~ScopedEnvironment() { SetEnvironmentVariableA(name_.c_str(), had_ ? old_.c_str() : nullptr); }

 private:
  std::string name_;
  std::string old_;
  bool had_ = false;
};

class WorkDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table_->ClearAll();
    RemoveWorkDir();
    ASSERT_FALSE(Exists(work_dir_)) << work_dir_;
  }
  void TearDown() override {
    table_->ClearAll();
    RemoveWorkDir();
  }

  CIniInfoManager* table_ = CIniInfoManager::GetInstance();
  const std::string work_dir_ = GetWorkDirPath();
  tn_test::ScopedTempDir dir_;
};

TEST_F(WorkDirTest, PathIsTheTempDriveRootAndFallsBackToTheWindowsDrive) {
  char temp[MAX_PATH] = {};
  ASSERT_GT(GetTempPathA(MAX_PATH, temp), 3u);
  EXPECT_EQ(std::string(temp, 3) + "tnextract", work_dir_);
  {
    ScopedEnvironment tmp("TMP", "Z:\\some\\where");
    EXPECT_EQ("Z:\\tnextract", GetWorkDirPath());
  }
  char windows[MAX_PATH] = {};
  GetWindowsDirectoryA(windows, MAX_PATH);
  {
    // A temporary path on a network share has no drive root of its own.
    ScopedEnvironment tmp("TMP", "\\\\server\\share\\temp");
    ScopedEnvironment temp_variable("TEMP", "\\\\server\\share\\temp");
    EXPECT_EQ(std::string(windows, 3) + "tnextract", GetWorkDirPath());
  }
  EXPECT_EQ(work_dir_, GetWorkDirPath());
}

TEST_F(WorkDirTest, PrepareWritesBothFilesAndLoadsTheConfiguration) {
  const std::string library = ResourceBytes(kArchiveLibraryResourceId, kArchiveLibraryResourceType);
  const std::string config = ResourceBytes(kConfigResourceId, kConfigResourceType);
  ASSERT_GT(library.size(), 100000u);
  ASSERT_FALSE(config.empty());

  EXPECT_EQ(work_dir_, PrepareWorkDir());
  EXPECT_EQ(library, tn_test::ReadFileBytes(work_dir_ + "\\7zTmp.dll"));
  EXPECT_EQ(config, tn_test::ReadFileBytes(work_dir_ + "\\info.ini"));
  EXPECT_EQ(15u, table_->GetCount());
  CIniInfoData record;
  table_->GetDataByKey("RegeditKeyName", &record);
  EXPECT_EQ("ZEVodirodaz", record.m_strValue);

  // Finish page, then window destruction: the second run finds nothing.
  RemoveWorkDir();
  EXPECT_FALSE(Exists(work_dir_));
  RemoveWorkDir();
  EXPECT_FALSE(Exists(work_dir_));
}

// Wine keeps no access lists on files where its file system cannot store
// them; there the check is passed over.
TEST_F(WorkDirTest, CreatedDirectoryIsForAdministratorsAndSystemOnly) {
  PrepareWorkDir();
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
            GetNamedSecurityInfoA(work_dir_.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                  nullptr, nullptr, nullptr, nullptr, &descriptor));
  const std::string sddl = DaclText(descriptor);
  LocalFree(descriptor);
  if (sddl.rfind("D:P", 0) != 0) GTEST_SKIP() << "the platform kept no access list: " << sddl;
  EXPECT_EQ("D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", sddl);
}

TEST_F(WorkDirTest, PrepareReplacesStaleFilesAndRemoveTakesEverything) {
  ASSERT_TRUE(CreateDirectoryA(work_dir_.c_str(), nullptr));
  const std::string stale = work_dir_ + "\\info.ini";
  ASSERT_TRUE(tn_test::WriteFileBytes(stale, "[TARNIS_INFO]\r\nRegeditKeyName=Planted\r\n"));
  SetFileAttributesA(stale.c_str(), FILE_ATTRIBUTE_READONLY);
  CreateDirectoryA((work_dir_ + "\\left over").c_str(), nullptr);
  tn_test::WriteFileBytes(work_dir_ + "\\left over\\x.txt", "x");

  PrepareWorkDir();
  EXPECT_EQ(ResourceBytes(kConfigResourceId, kConfigResourceType), tn_test::ReadFileBytes(stale));
  CIniInfoData record;
  table_->GetDataByKey("RegeditKeyName", &record);
  EXPECT_EQ("ZEVodirodaz", record.m_strValue);

  RemoveWorkDir();
  EXPECT_FALSE(Exists(work_dir_));
}

TEST_F(WorkDirTest, WriteAndDeleteSingleFiles) {
  EXPECT_FALSE(WriteResourceToFile(dir_.path(), "none.bin", 999, "EXEDLL"));
  EXPECT_FALSE(WriteResourceToFile(dir_.path(), "none.bin", kConfigResourceId, "EXEDLL"));
  EXPECT_FALSE(Exists(dir_.Join("none.bin")));
  EXPECT_FALSE(WriteResourceToFile(dir_.Join("missing dir"), "info.ini", kConfigResourceId,
                                   kConfigResourceType));

  ASSERT_TRUE(WriteResourceToFile(dir_.path(), "info.ini", kConfigResourceId, kConfigResourceType));
  EXPECT_EQ(ResourceBytes(kConfigResourceId, kConfigResourceType),
            tn_test::ReadFileBytes(dir_.Join("info.ini")));
  DeleteWorkDirFile(dir_.path(), "info.ini");
  EXPECT_FALSE(Exists(dir_.Join("info.ini")));
  DeleteWorkDirFile(dir_.path(), "info.ini");  // already gone: nothing happens
  DeleteWorkDirFile("", "info.ini");
}

// A name planted as a second link to another file must not let the write
// land in that file.
TEST_F(WorkDirTest, WriteReplacesAHardLinkInsteadOfWritingThroughIt) {
  const std::string precious = dir_.Join("precious.dll");
  ASSERT_TRUE(tn_test::WriteFileBytes(precious, "system library"));
  const std::string planted = dir_.Join("7zTmp.dll");
  if (!CreateHardLinkA(planted.c_str(), precious.c_str(), nullptr)) {
    GTEST_SKIP() << "no hard links here (error " << GetLastError() << ")";
  }
  ASSERT_TRUE(
      WriteResourceToFile(dir_.path(), "7zTmp.dll", kConfigResourceId, kConfigResourceType));
  EXPECT_EQ("system library", tn_test::ReadFileBytes(precious));
  EXPECT_EQ(ResourceBytes(kConfigResourceId, kConfigResourceType), tn_test::ReadFileBytes(planted));
}

TEST_F(WorkDirTest, VerifiedFileCannotBeChangedByAnotherProcess) {
  ASSERT_TRUE(WriteResourceToFile(dir_.path(), "7zTmp.dll", kArchiveLibraryResourceId,
                                  kArchiveLibraryResourceType));
  const std::string path = dir_.Join("7zTmp.dll");
  const std::string expected =
      ResourceBytes(kArchiveLibraryResourceId, kArchiveLibraryResourceType);
  {
    tn::ScopedHandle held = OpenVerifiedWorkFile(path, expected.data(), expected.size());
    ASSERT_TRUE(held.IsValid());
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), Probe("write", path));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), Probe("delete", path));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), Probe("rename", path));
    EXPECT_EQ(0u, Probe("read", path));

    // The library loads by its path while the check's handle is held.
    tn::ScopedLibrary library(LoadLibraryA(path.c_str()));
    ASSERT_TRUE(library.IsValid()) << GetLastError();
    EXPECT_NE(nullptr, library.GetProc<FARPROC>("CreateObject"));
  }
  EXPECT_EQ(0u, Probe("write", path));
}

TEST_F(WorkDirTest, DifferentOrMissingFilesAreRefused) {
  const std::string expected = "[OFFSET_FLAG]\r\nflag=TN7zOffset\r\n";
  const std::string path = dir_.Join("info.ini");
  ASSERT_TRUE(tn_test::WriteFileBytes(path, expected));
  EXPECT_TRUE(OpenVerifiedWorkFile(path, expected.data(), expected.size()).IsValid());

  std::string altered = expected;
  altered[altered.size() - 3] = 'X';
  const std::string variants[] = {altered, expected.substr(0, expected.size() - 1), expected + "x",
                                  ""};
  for (const std::string& content : variants) {
    ASSERT_TRUE(tn_test::WriteFileBytes(path, content));
    EXPECT_FALSE(OpenVerifiedWorkFile(path, expected.data(), expected.size()).IsValid())
        << "[" << content << "]";
  }
  EXPECT_FALSE(OpenVerifiedWorkFile(dir_.Join("absent"), expected.data(), expected.size()));
  EXPECT_FALSE(OpenVerifiedWorkFile(dir_.path(), expected.data(), expected.size()));
  EXPECT_FALSE(OpenVerifiedWorkFile(path, nullptr, 5));

  // A file someone holds open for writing can change under the check.
  ASSERT_TRUE(tn_test::WriteFileBytes(path, expected));
  tn::ScopedHandle writer(CreateFileA(path.c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                      nullptr));
  ASSERT_TRUE(writer.IsValid());
  EXPECT_FALSE(OpenVerifiedWorkFile(path, expected.data(), expected.size()));
}

TEST_F(WorkDirTest, ConfigurationThatDiffersFromTheResourceCountsAsMissing) {
  const std::string config = ResourceBytes(kConfigResourceId, kConfigResourceType);
  const std::string path = dir_.Join("info.ini");
  std::string planted = config;
  planted.replace(planted.find("ZEVodirodaz"), 11, "EvilProgram");
  ASSERT_TRUE(tn_test::WriteFileBytes(path, planted));
  EXPECT_FALSE(LoadVerifiedConfig(path));
  EXPECT_EQ(0u, table_->GetCount());
  EXPECT_FALSE(LoadVerifiedConfig(dir_.Join("absent.ini")));

  const std::string genuine = dir_.Join("genuine.ini");
  ASSERT_TRUE(tn_test::WriteFileBytes(genuine, config));
  EXPECT_TRUE(LoadVerifiedConfig(genuine));
  EXPECT_EQ(15u, table_->GetCount());
}

TEST_F(WorkDirTest, BuiltAccessListIsForAdministratorsAndSystemOnly) {
  PSECURITY_DESCRIPTOR descriptor = BuildWorkDirSecurityDescriptor();
  ASSERT_NE(descriptor, nullptr);
  const std::string sddl = DaclText(descriptor);
  LocalFree(descriptor);
  // Protected (nothing inherited from the drive root), full control for
  // SYSTEM and Administrators, passed on to files and folders, nobody else.
  EXPECT_EQ("D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", sddl);
}

TEST_F(WorkDirTest, AnExistingDirectoryIsNeverReused) {
  // Somebody else's folder: a planted file and a subfolder of theirs.
  ASSERT_TRUE(CreateDirectoryA(work_dir_.c_str(), nullptr));
  ASSERT_TRUE(tn_test::WriteFileBytes(work_dir_ + "\\planted.dll", "theirs"));
  CreateDirectoryA((work_dir_ + "\\sub").c_str(), nullptr);
  PrepareWorkDir();
  EXPECT_FALSE(Exists(work_dir_ + "\\planted.dll"));
  EXPECT_FALSE(Exists(work_dir_ + "\\sub"));
  EXPECT_EQ(ResourceBytes(kArchiveLibraryResourceId, kArchiveLibraryResourceType),
            tn_test::ReadFileBytes(work_dir_ + "\\7zTmp.dll"));
  // A file standing under the name is replaced by the directory too.
  RemoveWorkDir();
  table_->ClearAll();
  ASSERT_TRUE(tn_test::WriteFileBytes(work_dir_, "a file"));
  PrepareWorkDir();
  EXPECT_TRUE(IsExistingDirectory(work_dir_));
  EXPECT_EQ(15u, table_->GetCount());
}

// Wine keeps no reparse attribute on links; the attribute seam of the tree
// removal makes a real folder look like a link to somebody else's folder.
std::string* g_linked_path = nullptr;
unsigned long PretendLinked(const std::string& path, unsigned long reported) {
  return lstrcmpiA(path.c_str(), g_linked_path->c_str()) == 0
             ? reported | FILE_ATTRIBUTE_REPARSE_POINT
             : reported;
}

TEST_F(WorkDirTest, ALinkThatCannotBeRemovedStopsWithoutWritingThroughIt) {
  ASSERT_TRUE(CreateDirectoryA(work_dir_.c_str(), nullptr));
  ASSERT_TRUE(tn_test::WriteFileBytes(work_dir_ + "\\info.ini", "precious"));
  std::string linked = work_dir_;
  g_linked_path = &linked;
  SetEntryAttributesHookForTesting(&PretendLinked);
  // Removing "the link" (a non-empty folder) fails every time: the
  // installer gives up instead of using or entering it.
  EXPECT_FALSE(CreateFreshWorkDir(work_dir_));
  PrepareWorkDir();
  SetEntryAttributesHookForTesting(nullptr);
  EXPECT_EQ(0u, table_->GetCount());
  EXPECT_FALSE(Exists(work_dir_ + "\\7zTmp.dll"));
  EXPECT_EQ("precious", tn_test::ReadFileBytes(work_dir_ + "\\info.ini"));
}

// Where the platform makes real directory links, a link is removed as the
// link and a fresh directory takes its place; the target is untouched.
TEST_F(WorkDirTest, LinkedWorkDirectoryIsReplacedNotWrittenThrough) {
  const std::string target = dir_.Join("target");
  ASSERT_TRUE(CreateDirectoryA(target.c_str(), nullptr));
  ASSERT_TRUE(tn_test::WriteFileBytes(target + "\\info.ini", "precious"));
  if (!CreateSymbolicLinkA(work_dir_.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY)) {
    GTEST_SKIP() << "no directory links on this platform (error " << GetLastError() << ")";
  }
  if (!IsReparsePoint(work_dir_)) {
    RemoveDirectoryA(work_dir_.c_str());
    GTEST_SKIP() << "the link is not reported as a reparse point; the seam test covers it";
  }
  PrepareWorkDir();
  EXPECT_FALSE(IsReparsePoint(work_dir_));
  EXPECT_FALSE(Exists(target + "\\7zTmp.dll"));
  EXPECT_EQ("precious", tn_test::ReadFileBytes(target + "\\info.ini"));
}

}  // namespace
