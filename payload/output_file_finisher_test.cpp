#include "payload/output_file_finisher.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cwctype>
#include <string>
#include <vector>

#include "payload/payload_test_support.h"
#include "tests/support/test_support.h"

namespace tn {
namespace {

using payload_test::Wide;

// A file opened for writing as the extraction opens it, with |text| in it.
FinishedFile WrittenFile(const std::wstring& path, const std::string& text) {
  FinishedFile file;
  file.path = path;
  file.file.Reset(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  EXPECT_TRUE(file.file.IsValid());
  EXPECT_TRUE(::WriteFile(file.file.Get(), text.data(), static_cast<DWORD>(text.size()), &written,
                          nullptr));
  return file;
}

// True when nobody holds the file open any more.
bool IsClosed(const std::wstring& path) {
  ScopedHandle probe(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
  return probe.IsValid();
}

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
  return text;
}

TEST(OutputFileFinisherTest, WorkersStampCloseAndSetAttributes) {
  tn_test::ScopedTempDir dir;
  const FILETIME stamp = {0x89ABCDE0, 0x01D5A000};
  std::vector<std::wstring> paths;
  {
    OutputFileFinisher finisher(2, 4);
    for (int i = 0; i < 24; ++i) {
      paths.push_back(Wide(dir.Join("file" + std::to_string(i) + ".txt")));
      FinishedFile file = WrittenFile(paths.back(), "data " + std::to_string(i));
      file.time_defined = i % 3 != 0;
      file.modification_time = stamp;
      file.attributes_defined = i % 2 == 0;
      file.attributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE;
      finisher.Finish(std::move(file));
    }
    finisher.Drain();
    EXPECT_EQ(24u, finisher.finished_by_workers());
    EXPECT_EQ(0u, finisher.finished_inline());
    EXPECT_EQ(0u, finisher.failed());
    for (int i = 0; i < 24; ++i) {
      SCOPED_TRACE(i);
      EXPECT_TRUE(IsClosed(paths[i]));
      WIN32_FILE_ATTRIBUTE_DATA data;
      ASSERT_TRUE(::GetFileAttributesExW(paths[i].c_str(), GetFileExInfoStandard, &data));
      EXPECT_EQ(i % 3 != 0, ::CompareFileTime(&stamp, &data.ftLastWriteTime) == 0);
      EXPECT_EQ(i % 2 == 0, (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0);
      EXPECT_EQ("data " + std::to_string(i),
                tn_test::ReadFileBytes(dir.Join("file" + std::to_string(i) + ".txt")));
    }
  }
  for (const std::wstring& path : paths) ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(OutputFileFinisherTest, EveryStoredAttributeValueIsWhatTheFileEndsWith) {
  // The archive flag alone, which a new file already has, is not set again;
  // every other value must still replace what the file was created with.
  tn_test::ScopedTempDir dir;
  const DWORD kValues[] = {FILE_ATTRIBUTE_ARCHIVE, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN,
                           FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_SYSTEM};
  std::vector<std::wstring> paths;
  {
    OutputFileFinisher finisher(2, 4);
    for (DWORD value : kValues) {
      paths.push_back(Wide(dir.Join("attr" + std::to_string(value))));
      FinishedFile file = WrittenFile(paths.back(), "a");
      file.attributes_defined = true;
      file.attributes = value;
      finisher.Finish(std::move(file));
    }
  }
  // Wine reports the archive flag on every file, whatever was set; the
  // flags it keeps are compared.
  const DWORD kKept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  for (size_t i = 0; i < paths.size(); ++i) {
    SCOPED_TRACE(kValues[i]);
    const DWORD now = ::GetFileAttributesW(paths[i].c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, now);
    EXPECT_EQ(kValues[i] & kKept, now & kKept);
    EXPECT_NE(0u, now & FILE_ATTRIBUTE_ARCHIVE);
    ::SetFileAttributesW(paths[i].c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

TEST(OutputFileFinisherTest, WaitForPathReturnsOnlyOnceTheNameIsFree) {
  // The extraction replaces a file of the same name right after this wait:
  // the earlier handle must be gone, whatever the case of the name.
  tn_test::ScopedTempDir dir;
  const std::wstring path = Wide(dir.Join("same name.dat"));
  OutputFileFinisher finisher(2, 64);
  for (int round = 0; round < 50; ++round) {
    SCOPED_TRACE(round);
    FinishedFile file = WrittenFile(path, std::string(4096, 'x'));
    file.attributes_defined = true;
    file.attributes = FILE_ATTRIBUTE_READONLY;
    finisher.Finish(std::move(file));
    finisher.WaitForPath(Upper(path));
    EXPECT_TRUE(IsClosed(path));
    EXPECT_NE(0u, ::GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL));
    ASSERT_TRUE(::DeleteFileW(path.c_str()));
  }
}

TEST(OutputFileFinisherTest, ShortQueueAndEndWithoutDrainLoseNothing) {
  tn_test::ScopedTempDir dir;
  std::vector<std::wstring> paths;
  {
    // One waiting file at most: Finish has to wait for the workers.
    OutputFileFinisher finisher(1, 1);
    for (int i = 0; i < 40; ++i) {
      paths.push_back(Wide(dir.Join("q" + std::to_string(i))));
      finisher.Finish(WrittenFile(paths.back(), "q"));
    }
  }  // no Drain: the destructor finishes the rest
  for (const std::wstring& path : paths) EXPECT_TRUE(IsClosed(path));
}

TEST(OutputFileFinisherTest, WithoutWorkersFilesAreFinishedInline) {
  tn_test::ScopedTempDir dir;
  const std::wstring path = Wide(dir.Join("inline.txt"));
  OutputFileFinisher finisher(0);
  FinishedFile file = WrittenFile(path, "inline");
  file.time_defined = true;
  file.modification_time = {0x11111100, 0x01D00000};
  finisher.Finish(std::move(file));
  EXPECT_TRUE(IsClosed(path));
  EXPECT_EQ(1u, finisher.finished_inline());
  EXPECT_EQ(0u, finisher.finished_by_workers());
}

TEST(OutputFileFinisherTest, FailedCloseIsCounted) {
  // A handle value that was never opened stands for a close that fails
  // (data that could not be written back).
  tn_test::ScopedTempDir dir;
  FinishedFile file;
  file.path = Wide(dir.Join("never.txt"));
  file.file.Reset(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x00FFFFF4)));
  OutputFileFinisher finisher(1);
  finisher.Finish(std::move(file));
  finisher.Drain();
  EXPECT_EQ(1u, finisher.failed());
}

}  // namespace
}  // namespace tn
