// Sizes past 2 and 4 GiB on the installer's side: the extraction progress
// of items larger than 4 GiB, stream positions and sizes beyond 4 GiB, and
// the trailer search in an installer file of more than 2 GiB. The large
// files are sparse: only a few bytes of them are ever written, so the tests
// need no gigabytes of disk (Wine grows a file with ftruncate).
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "payload/archive_callbacks.h"
#include "payload/archive_streams.h"
#include "payload/payload_locator.h"
#include "payload/payload_test_support.h"
#include "payload/trailer.h"
#include "tests/support/test_support.h"
#include "util/scoped_handle.h"

namespace tn {
namespace {

using payload_test::Wide;

constexpr UInt64 kGiB = UInt64{1} << 30;

std::vector<int>* g_reported = nullptr;
void Collect(int percent) { g_reported->push_back(percent); }

// Makes |path| |size| bytes long without writing its content.
bool MakeSparseFile(const std::string& path, int64_t size) {
  ScopedHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER end;
  end.QuadPart = size;
  return file && ::SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN) &&
         ::SetEndOfFile(file.Get());
}

bool WriteAt(const std::string& path, int64_t offset, const std::string& bytes) {
  ScopedHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER at;
  at.QuadPart = offset;
  DWORD written = 0;
  return file && ::SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN) &&
         ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
         written == bytes.size();
}

TEST(LargeSizesTest, ExtractionProgressOfItemsBeyond4GiB) {
  // The library announces the unpacked total (a 4.8 GB file and a small
  // one) and counts up to it. Truncated to 32 bits, the total would be
  // 0.8 GB and the percentages would run past 100 and wrap.
  std::vector<int> reported;
  g_reported = &reported;
  CArchiveExtractCallback* spec = new CArchiveExtractCallback;
  ComPtr<IArchiveExtractCallback> callback(spec);
  const std::atomic<bool> enabled(true), stop(false);
  spec->SetProgressSink(&Collect, &enabled, &stop);
  const UInt64 total = 5153960755ull + 1000;
  ASSERT_EQ(S_OK, callback->SetTotal(total));
  for (UInt64 completed :
       {kGiB / 2, 4 * kGiB, 4 * kGiB + 1, 4 * kGiB + kGiB / 2, total - 1, total}) {
    ASSERT_EQ(S_OK, callback->SetCompleted(&completed)) << completed;
  }
  // 100 comes from the worker once Extract has returned, never from here.
  EXPECT_EQ((std::vector<int>{10, 83, 93}), reported);
  g_reported = nullptr;
}

TEST(LargeSizesTest, StreamsSeekAndMeasureBeyond4GiB) {
  tn_test::ScopedTempDir dir;
  const std::string path = dir.Join("large.bin");
  const UInt64 size = 5 * kGiB + 3;
  {
    COutFileStream* spec = new COutFileStream;
    ComPtr<IOutStream> stream(spec);
    ASSERT_TRUE(spec->Open(Wide(path), CREATE_ALWAYS));
    ASSERT_EQ(S_OK, stream->SetSize(size));
    UInt64 position = 0;
    ASSERT_EQ(S_OK, stream->Seek(0, 2, &position));
    EXPECT_EQ(size, position);
    ASSERT_EQ(S_OK, stream->Seek(static_cast<Int64>(4 * kGiB + 10), 0, &position));
    EXPECT_EQ(4 * kGiB + 10, position);
    UInt32 written = 0;
    ASSERT_EQ(S_OK, stream->Write("tail", 4, &written));
    EXPECT_EQ(4u, written);
    EXPECT_EQ(S_OK, spec->Close());
  }
  CInFileStream* spec = new CInFileStream;
  ComPtr<IInStream> stream(spec);
  ASSERT_TRUE(spec->Open(Wide(path)));
  ComPtr<IStreamGetSize> sizer;
  ASSERT_EQ(S_OK, stream->QueryInterface(IID_IStreamGetSize, sizer.ReceiveVoid()));
  UInt64 measured = 0;
  ASSERT_EQ(S_OK, sizer->GetSize(&measured));
  EXPECT_EQ(size, measured);
  ComPtr<IStreamGetProps2> properties;
  ASSERT_EQ(S_OK, stream->QueryInterface(IID_IStreamGetProps2, properties.ReceiveVoid()));
  CStreamFileProps props = {};
  ASSERT_EQ(S_OK, properties->GetProps2(&props));
  EXPECT_EQ(size, props.Size);
  UInt64 position = 0;
  ASSERT_EQ(S_OK, stream->Seek(-static_cast<Int64>(size - (4 * kGiB + 10)), 2, &position));
  EXPECT_EQ(4 * kGiB + 10, position);
  char read[4] = {};
  UInt32 processed = 0;
  ASSERT_EQ(S_OK, stream->Read(read, 4, &processed));
  EXPECT_EQ(std::string("tail"), std::string(read, processed));
}

TEST(LargeSizesTest, TrailerOfAnInstallerOver2GiBIsFound) {
  // tnpack makes installers up to 4 GiB; the search measures the file with
  // 64 bits. At 4 GiB Windows no longer runs it, and the search gives up.
  tn_test::ScopedTempDir dir;
  const std::string path = dir.Join("large_setup.exe");
  const std::string trailer = BuildTrailer("TN7zOffset", 3 * kTrailerAlignment + 100);
  for (int64_t size :
       {int64_t{3} * static_cast<int64_t>(kGiB), kMaxInstallerSize, kMaxInstallerSize + 1}) {
    ASSERT_TRUE(MakeSparseFile(path, size)) << size;
    ASSERT_TRUE(WriteAt(path, 3 * kTrailerAlignment, trailer));
    EXPECT_EQ(size <= kMaxInstallerSize ? 3 * kTrailerAlignment + 100 : 0,
              FindPayloadOffsetInFile(path, "TN7zOffset"))
        << size;
  }
}

}  // namespace
}  // namespace tn
