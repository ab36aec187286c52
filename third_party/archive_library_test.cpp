// The archive library as the installer loads it: by full path, through its
// plain-named exports.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/test_support.h"
#include "util/scoped_handle.h"

namespace {

// {23170F69-40C1-278A-1000-000110070000}: the 7z format handler.
const GUID kSevenZipHandler = {0x23170F69, 0x40C1, 0x278A,
                               {0x10, 0x00, 0x00, 0x01, 0x10, 0x07, 0x00, 0x00}};
// {23170F69-40C1-278A-0000-000600600000}: IInArchive.
const GUID kInArchive = {0x23170F69, 0x40C1, 0x278A,
                         {0x00, 0x00, 0x00, 0x06, 0x00, 0x60, 0x00, 0x00}};
// {23170F69-40C1-278A-0000-000600400000}: IOutArchive, which an extraction-only
// library does not offer.
const GUID kOutArchive = {0x23170F69, 0x40C1, 0x278A,
                          {0x00, 0x00, 0x00, 0x06, 0x00, 0x40, 0x00, 0x00}};

using CreateObjectFn = HRESULT(WINAPI*)(const GUID*, const GUID*, void**);
using GetNumberOfFormatsFn = HRESULT(WINAPI*)(UINT32*);

class ArchiveLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    library_.Reset(LoadLibraryExA(tn_test::BuildPath("7zTmp.dll").c_str(), nullptr,
                                  LOAD_WITH_ALTERED_SEARCH_PATH));
    ASSERT_TRUE(library_.IsValid()) << "error " << GetLastError();
  }
  tn::ScopedLibrary library_;
};

TEST_F(ArchiveLibraryTest, ExportsPlainNames) {
  for (const char* name : {"CreateObject", "GetHandlerProperty2", "GetNumberOfFormats",
                           "GetHandlerProperty", "GetNumberOfMethods", "GetMethodProperty",
                           "SetLargePageMode", "GetIsArc", "GetModuleProp"}) {
    EXPECT_NE(GetProcAddress(library_.Get(), name), nullptr) << name;
  }
  EXPECT_EQ(GetProcAddress(library_.Get(), "_CreateObject@12"), nullptr);
  auto formats = library_.GetProc<GetNumberOfFormatsFn>("GetNumberOfFormats");
  UINT32 count = 0;
  ASSERT_EQ(formats(&count), S_OK);
  EXPECT_EQ(count, 1u) << "only the 7z handler is built in";
}

TEST_F(ArchiveLibraryTest, CreatesThe7zHandler) {
  auto create = library_.GetProc<CreateObjectFn>("CreateObject");
  ASSERT_NE(create, nullptr);
  IUnknown* archive = nullptr;
  ASSERT_EQ(create(&kSevenZipHandler, &kInArchive, reinterpret_cast<void**>(&archive)), S_OK);
  ASSERT_NE(archive, nullptr);
  archive->Release();

  IUnknown* writer = nullptr;
  EXPECT_NE(create(&kSevenZipHandler, &kOutArchive, reinterpret_cast<void**>(&writer)), S_OK);
  const GUID unknown_format = {0x23170F69, 0x40C1, 0x278A,
                               {0x10, 0x00, 0x00, 0x01, 0x10, 0xEE, 0x00, 0x00}};
  EXPECT_NE(create(&unknown_format, &kInArchive, reinterpret_cast<void**>(&writer)), S_OK);
}

TEST_F(ArchiveLibraryTest, StaysSmall) {
  const std::string bytes = tn_test::ReadFileBytes(tn_test::BuildPath("7zTmp.dll"));
  EXPECT_LE(bytes.size(), 640u * 1024u);
  std::printf("7zTmp.dll: %u bytes\n", static_cast<unsigned>(bytes.size()));
}

}  // namespace
