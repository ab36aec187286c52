#include "payload/archive_manager.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "payload/payload_test_support.h"
#include "tests/support/test_support.h"

namespace tn {
namespace {

using payload_test::ArchiveLibrary;
using payload_test::TestData;
using payload_test::Wide;

std::vector<int> g_reported;
void RecordPercent(int percent) { g_reported.push_back(percent); }

// At 100 the installing page registers the product and links to its files:
// by then every file must be closed with its time and attributes in place.
std::wstring g_checked_root;
std::map<std::wstring, payload_test::Entry> g_expected_at_100;
std::vector<std::string> g_problems_at_100;
void CheckTreeAt100(int percent) {
  g_reported.push_back(percent);
  if (percent != 100) return;
  const auto actual = payload_test::ListTree(g_checked_root);
  for (const auto& item : g_expected_at_100) {
    const std::string name = ::testing::PrintToString(item.first);
    auto found = actual.find(item.first);
    if (found == actual.end()) {
      g_problems_at_100.push_back("missing " + name);
      continue;
    }
    if (item.second.directory) continue;
    ScopedHandle exclusive(::CreateFileW((g_checked_root + L"\\" + item.first).c_str(),
                                         GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!exclusive) g_problems_at_100.push_back("still open " + name);
    if (::CompareFileTime(&item.second.write_time, &found->second.write_time) != 0) {
      g_problems_at_100.push_back("time not set " + name);
    }
    if ((item.second.attributes ^ found->second.attributes) & FILE_ATTRIBUTE_READONLY) {
      g_problems_at_100.push_back("attributes not set " + name);
    }
  }
}

class ArchiveManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_reported.clear();
    manager_.SetLibraryPath(ArchiveLibrary());
    manager_.SetProgressCallback(RecordPercent);
    output_ = dir_.Join("install");
  }

  ExtractResult Extract(const std::string& archive, int64_t offset = 0,
                        const std::string& password = kArchivePassword) {
    payload_test::StdoutCapture capture(dir_.Join("stdout.txt"));
    const ExtractResult result = manager_.ExtractArchive(archive, output_, offset, password);
    stdout_ = capture.Finish();
    return result;
  }

  tn_test::ScopedTempDir dir_;
  CArchiveManager manager_;
  std::string output_;
  std::string stdout_;
};

TEST_F(ArchiveManagerTest, ExtractsTheTreeExactly) {
  ASSERT_EQ(ExtractResult::kSucceeded, Extract(TestData("tree.7z")));
  EXPECT_EQ(0u, manager_.last_item_errors());

  const auto expected = payload_test::ListTree(Wide(TestData("tree")));
  const auto actual = payload_test::ListTree(Wide(output_));
  ASSERT_FALSE(expected.empty());
  ASSERT_EQ(expected.size(), actual.size());
  for (const auto& item : expected) {
    const std::string name = ::testing::PrintToString(item.first);
    auto found = actual.find(item.first);
    ASSERT_NE(actual.end(), found) << name;
    EXPECT_EQ(item.second.directory, found->second.directory) << name;
    if (item.second.directory) continue;
    EXPECT_EQ(item.second.bytes, found->second.bytes) << name;
    EXPECT_EQ(0, ::CompareFileTime(&item.second.write_time, &found->second.write_time)) << name;
    EXPECT_EQ(item.second.attributes & FILE_ATTRIBUTE_READONLY,
              found->second.attributes & FILE_ATTRIBUTE_READONLY)
        << name;
  }
  EXPECT_TRUE(actual.at(L"readonly.ini").attributes & FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(actual.at(L"empty folder\\inner").directory);
  EXPECT_EQ("", actual.at(L"zero.bin").bytes);

  // Progress rose, each value once, and stayed below 100: the success is the
  // result, which the worker turns into the installing page's 100.
  ASSERT_FALSE(g_reported.empty());
  EXPECT_LT(g_reported.back(), 100);
  for (size_t i = 1; i < g_reported.size(); ++i) {
    EXPECT_LT(g_reported[i - 1], g_reported[i]) << "at " << i;
  }
  EXPECT_NE(std::string::npos, stdout_.find("Extracting  read me.txt"));

  // Every file was closed off the library's thread.
  size_t files = 0;
  for (const auto& item : expected) files += item.second.directory ? 0 : 1;
  EXPECT_EQ(files, manager_.last_files_finished_in_background());
}

TEST_F(ArchiveManagerTest, AllFilesAreFinishedWhenSuccessIsReturned) {
  g_checked_root = Wide(output_);
  g_expected_at_100 = payload_test::ListTree(Wide(TestData("tree")));
  g_problems_at_100.clear();
  ASSERT_EQ(ExtractResult::kSucceeded, Extract(TestData("tree.7z")));
  // What the installing page finds at the 100 that follows this result.
  CheckTreeAt100(100);
  EXPECT_EQ(std::vector<std::string>(), g_problems_at_100);
}

TEST_F(ArchiveManagerTest, ALaterItemOfTheSameNameReplacesTheEarlier) {
  // The first copy is read-only and may still be being closed when the
  // second one arrives.
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    ASSERT_EQ(ExtractResult::kSucceeded, Extract(TestData("duplicate.7z"))) << stdout_;
    EXPECT_EQ("second", tn_test::ReadFileBytes(output_ + "\\dup.txt"));
    EXPECT_EQ(0u, ::GetFileAttributesA((output_ + "\\dup.txt").c_str()) & FILE_ATTRIBUTE_READONLY);
  }
}

TEST_F(ArchiveManagerTest, ReplacesReadOnlyFilesAndKeepsOthers) {
  ASSERT_TRUE(CreateDirectoryTree(Wide(output_)));
  const std::string target = output_ + "\\readonly.ini";
  ASSERT_TRUE(tn_test::WriteFileBytes(target, "stale"));
  ASSERT_TRUE(::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(tn_test::WriteFileBytes(output_ + "\\user file.txt", "mine"));
  ASSERT_EQ(ExtractResult::kSucceeded, Extract(TestData("tree.7z")));
  EXPECT_EQ(tn_test::ReadFileBytes(TestData("tree\\readonly.ini")), tn_test::ReadFileBytes(target));
  EXPECT_EQ("mine", tn_test::ReadFileBytes(output_ + "\\user file.txt"));
}

TEST_F(ArchiveManagerTest, OutputDirectoryWithTrailingSlash) {
  output_ += "/";
  ASSERT_EQ(ExtractResult::kSucceeded, Extract(TestData("tree.7z")));
  EXPECT_EQ(tn_test::ReadFileBytes(TestData("tree\\bin\\x.dll")),
            tn_test::ReadFileBytes(dir_.Join("install\\bin\\x.dll")));
}

// An install directory with Chinese characters, as the configuration or the
// folder dialog gives it (GBK), reaches the disk as those characters.
TEST_F(ArchiveManagerTest, ChineseInstallDirectoryReachesTheDisk) {
  output_ = dir_.Join("模拟器");
  ASSERT_EQ(ExtractResult::kSucceeded, Extract(TestData("tree.7z")));
  const std::wstring wide_output = Wide(dir_.path()) + L"\\\u6A21\u62DF\u5668";
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((wide_output + L"\\bin\\x.dll").c_str()));
  EXPECT_EQ(tn_test::ReadFileBytes(TestData("tree\\bin\\x.dll")),
            tn_test::ReadFileBytes(output_ + "\\bin\\x.dll"));
}

TEST_F(ArchiveManagerTest, ItemWithoutNameBecomesContent) {
  ASSERT_EQ(ExtractResult::kSucceeded, Extract(TestData("unnamed.7z")));
  EXPECT_EQ("content without a name", tn_test::ReadFileBytes(output_ + "\\[Content]"));
}

TEST_F(ArchiveManagerTest, RefusesItemsThatLeaveTheOutputDirectory) {
  // The good item is extracted; the refused ones fail the run.
  ASSERT_EQ(ExtractResult::kFailed, Extract(TestData("slip.7z")));
  EXPECT_EQ("good", tn_test::ReadFileBytes(output_ + "\\inside.txt"));
  // Refused: "../", "C:", a stream name, "..", "sub/../..", "/", "C:/",
  // ".../" and ".. /". Names holding a stored "\" are single names that
  // stay inside.
  EXPECT_EQ(9u, manager_.last_item_errors());
  const auto around = payload_test::ListTree(Wide(dir_.path()));
  for (const auto& entry : around) {
    if (entry.first.compare(0, 8, L"install\\") == 0) continue;
    EXPECT_EQ(std::wstring::npos, entry.first.find(L"escape"))
        << ::testing::PrintToString(entry.first);
  }
  for (const char* path : {"C:\\escape1.txt", "C:\\escape4.txt", "C:\\escape4b.txt",
                           "C:\\escape5.txt", "C:\\escape5b.txt", "C:\\inside.txt"}) {
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(path)) << path;
  }
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA((output_ + "\\ok\\escape8.txt").c_str()));
  EXPECT_NE(std::string::npos, stdout_.find("Item path leaves the output directory"));
  EXPECT_NE(std::string::npos, stdout_.find("Extract Error"));
  // The installing page must not complete an installation that failed.
  EXPECT_EQ(std::vector<int>(), g_reported);
}

TEST_F(ArchiveManagerTest, DamagedOrWronglyDecryptedItemsFailTheRun) {
  ASSERT_EQ(ExtractResult::kFailed, Extract(TestData("bad_crc.7z"))) << stdout_;
  EXPECT_EQ(1u, manager_.last_item_errors());
  EXPECT_EQ("good", tn_test::ReadFileBytes(output_ + "\\good.txt"));
  EXPECT_NE(std::string::npos, stdout_.find("Error : CRC Failed"));
  EXPECT_EQ(std::vector<int>(), g_reported);

  g_reported.clear();
  ASSERT_EQ(ExtractResult::kFailed, Extract(TestData("tree.7z"), 0, "not the password"));
  EXPECT_GT(manager_.last_item_errors(), 0u);
  EXPECT_NE(tn_test::ReadFileBytes(TestData("tree\\read me.txt")),
            tn_test::ReadFileBytes(output_ + "\\read me.txt"));
  for (int percent : g_reported) EXPECT_LT(percent, 100);

  // The same archive and output again, whole this time: a failed run leaves
  // nothing behind that stops the next one.
  g_reported.clear();
  ASSERT_EQ(ExtractResult::kSucceeded, Extract(TestData("tree.7z")));
  EXPECT_EQ(0u, manager_.last_item_errors());
  EXPECT_EQ(tn_test::ReadFileBytes(TestData("tree\\read me.txt")),
            tn_test::ReadFileBytes(output_ + "\\read me.txt"));
  ASSERT_FALSE(g_reported.empty());
}

TEST_F(ArchiveManagerTest, NoPasswordRefusesEncryptedItems) {
  // The library is told no password: encrypted items cannot be extracted.
  EXPECT_EQ(ExtractResult::kFailed, Extract(TestData("tree.7z"), 0, ""));
  EXPECT_NE(std::string::npos, stdout_.find("Password is not defined"));
  for (int percent : g_reported) EXPECT_LT(percent, 100);
}

TEST_F(ArchiveManagerTest, ArchiveWithoutDataStillCompletes) {
  ASSERT_EQ(ExtractResult::kSucceeded, Extract(TestData("no_data.7z"))) << stdout_;
  for (int percent : g_reported) EXPECT_LT(percent, 100);
  EXPECT_EQ("", tn_test::ReadFileBytes(output_ + "\\empty.txt"));
  EXPECT_TRUE(::GetFileAttributesA((output_ + "\\folder").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(ArchiveManagerTest, LibraryFailures) {
  const std::string missing = dir_.Join("7zTmp.dll");
  manager_.SetLibraryPath(missing);
  EXPECT_EQ(ExtractResult::kLoadLibraryFailed, Extract(TestData("tree.7z")));
  EXPECT_EQ("Error: \nCan not load 7-zip library\n", stdout_);

  manager_.SetLibraryPath(TestData("payload_no_create_object.dll"));
  EXPECT_EQ(ExtractResult::kNoCreateObject, Extract(TestData("tree.7z")));
  EXPECT_EQ("Error: \nCan not get CreateObject\n", stdout_);

  manager_.SetLibraryPath(TestData("payload_failing_create_object.dll"));
  EXPECT_EQ(ExtractResult::kCreateObjectFailed, Extract(TestData("tree.7z")));
  EXPECT_EQ("Error: \nCan not get class object\n", stdout_);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(output_.c_str()));
}

TEST_F(ArchiveManagerTest, LibraryImportsComeFromTheSystemFolderOnly) {
  // The stand-in's import lies next to it, as a planted library in the work
  // directory would: it must not be loaded from there.
  manager_.SetLibraryPath(TestData("payload_needs_dependency.dll"));
  EXPECT_EQ(ExtractResult::kLoadLibraryFailed, Extract(TestData("tree.7z")));
  // With the library's own folder searched, it would have been found.
  ScopedLibrary altered(::LoadLibraryExA(TestData("payload_needs_dependency.dll").c_str(), nullptr,
                                         LOAD_WITH_ALTERED_SEARCH_PATH));
  EXPECT_TRUE(altered.IsValid());
}

TEST_F(ArchiveManagerTest, LibraryIsCheckedAgainstTheExpectedBytes) {
  const std::string original = tn_test::ReadFileBytes(ArchiveLibrary());
  ASSERT_FALSE(original.empty());
  const std::string copy = dir_.Join("7zTmp.dll");
  std::string altered = original;
  altered[altered.size() / 2] ^= 0x5A;
  ASSERT_TRUE(tn_test::WriteFileBytes(copy, altered));
  manager_.SetLibraryPath(copy);
  manager_.SetExpectedLibrary(original.data(), original.size());
  EXPECT_EQ(ExtractResult::kLoadLibraryFailed, Extract(TestData("tree.7z")));

  ASSERT_TRUE(tn_test::WriteFileBytes(copy, original));
  EXPECT_EQ(ExtractResult::kSucceeded, Extract(TestData("tree.7z")));
}

TEST_F(ArchiveManagerTest, ArchiveFileFailures) {
  const std::string missing = dir_.Join("missing.exe");
  EXPECT_EQ(ExtractResult::kOpenFileFailed, Extract(missing));
  EXPECT_EQ("Error: \nCan not open archive file\n" + missing, stdout_);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(missing.c_str()));

  const std::string text = dir_.Join("text.exe");
  ASSERT_TRUE(tn_test::WriteFileBytes(text, std::string(100000, 'x')));
  EXPECT_EQ(ExtractResult::kOpenArchiveFailed, Extract(text));
  EXPECT_EQ("Error: \nCan not open file as archive\n" + text, stdout_);

  EXPECT_EQ(ExtractResult::kOpenArchiveFailed, Extract(TestData("header_encrypted.7z")));
}

TEST_F(ArchiveManagerTest, SearchDistanceIsEightMebibytes) {
  const std::string archive = tn_test::ReadFileBytes(TestData("no_data.7z"));
  const int64_t kMiB = 1 << 20;
  const std::string far_file = dir_.Join("far.exe");
  ASSERT_TRUE(tn_test::WriteFileBytes(far_file, std::string(9 * kMiB, '\0') + archive));
  // From the start the signature is more than 8 MiB away.
  EXPECT_EQ(ExtractResult::kOpenArchiveFailed, Extract(far_file, 0));
  EXPECT_EQ(ExtractResult::kOpenArchiveFailed, Extract(far_file, -5));
  // From a search start within reach it is found.
  EXPECT_EQ(ExtractResult::kSucceeded, Extract(far_file, 9 * kMiB - 8 * kMiB));
  EXPECT_EQ(ExtractResult::kSucceeded, Extract(far_file, 9 * kMiB));
  // A search start past the archive, or past the end of the file, misses it.
  EXPECT_EQ(ExtractResult::kOpenArchiveFailed, Extract(far_file, 9 * kMiB + 1));
  EXPECT_EQ(ExtractResult::kOpenArchiveFailed, Extract(far_file, 100 * kMiB));
}

TEST_F(ArchiveManagerTest, OutputFileInUseStopsTheExtraction) {
  ASSERT_TRUE(CreateDirectoryTree(Wide(output_ + "\\bin")));
  const std::string locked = output_ + "\\bin\\x.dll";
  ASSERT_TRUE(tn_test::WriteFileBytes(locked, "in use"));
  // Held open without sharing; the sharing check is the same for a handle
  // of this process as for one of another.
  ScopedHandle holder(
      ::CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(holder.IsValid());
  EXPECT_EQ(ExtractResult::kFailed, Extract(TestData("tree.7z")));
  EXPECT_NE(std::string::npos, stdout_.find("Can not delete output file"));
  EXPECT_NE(std::string::npos, stdout_.find("Extract Error"));
  for (int percent : g_reported) EXPECT_LT(percent, 100);
  holder.Reset();
  EXPECT_EQ("in use", tn_test::ReadFileBytes(locked));
}

TEST_F(ArchiveManagerTest, RunningProgramAtTheTargetStopsTheExtraction) {
  ASSERT_TRUE(CreateDirectoryTree(Wide(output_)));
  ScopedHandle program = tn_test::StartIdleProgramAs(output_, "ZEVodirodaz.exe");
  ASSERT_TRUE(program.IsValid());
  const std::string before = tn_test::ReadFileBytes(output_ + "\\ZEVodirodaz.exe");
  EXPECT_EQ(ExtractResult::kFailed, Extract(TestData("tree.7z")));
  EXPECT_NE(std::string::npos, stdout_.find("Can not delete output file")) << stdout_;
  EXPECT_EQ(before, tn_test::ReadFileBytes(output_ + "\\ZEVodirodaz.exe"));
  for (int percent : g_reported) EXPECT_LT(percent, 100);
  ::TerminateProcess(program.Get(), 0);
  ::WaitForSingleObject(program.Get(), 5000);
}

TEST_F(ArchiveManagerTest, StopRequestAbortsTheRun) {
  manager_.RequestStop();
  EXPECT_EQ(ExtractResult::kFailed, Extract(TestData("tree.7z")));
  EXPECT_TRUE(g_reported.empty());
  manager_.ClearStop();
  EXPECT_EQ(ExtractResult::kSucceeded, Extract(TestData("tree.7z")));
}

}  // namespace
}  // namespace tn
