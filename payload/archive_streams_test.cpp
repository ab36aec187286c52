#include "payload/archive_streams.h"

#include <gtest/gtest.h>

#include "payload/archive_callbacks.h"
#include "payload/payload_test_support.h"
#include "tests/support/test_support.h"

namespace tn {
namespace {

using payload_test::Wide;

TEST(ArchiveStreamsTest, InputStreamReadsSeeksAndMeasures) {
  tn_test::ScopedTempDir dir;
  const std::string path = dir.Join("input.bin");
  std::string content(5 * 1024 * 1024 + 7, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 31);
  ASSERT_TRUE(tn_test::WriteFileBytes(path, content));

  CInFileStream* spec = new CInFileStream;
  ComPtr<IInStream> stream(spec);
  ASSERT_TRUE(spec->Open(Wide(path)));

  UInt64 position = 1;
  ASSERT_EQ(S_OK, stream->Seek(-7, 2, &position));
  EXPECT_EQ(content.size() - 7, position);
  ASSERT_EQ(S_OK, stream->Seek(0, 0, &position));
  EXPECT_EQ(0u, position);
  EXPECT_EQ(STG_E_INVALIDFUNCTION, stream->Seek(0, 3, &position));

  // One call never reads more than 4 MiB.
  std::string buffer(content.size(), '\0');
  UInt32 processed = 0;
  ASSERT_EQ(S_OK, stream->Read(&buffer[0], static_cast<UInt32>(buffer.size()), &processed));
  EXPECT_EQ(kMaxStreamChunk, processed);
  EXPECT_EQ(content.substr(0, processed), buffer.substr(0, processed));
  ASSERT_EQ(S_OK, stream->Seek(10, 1, &position));
  EXPECT_EQ(kMaxStreamChunk + 10, position);
  ASSERT_EQ(S_OK, stream->Read(&buffer[0], 100, &processed));
  EXPECT_EQ(content.substr(kMaxStreamChunk + 10, 100), buffer.substr(0, 100));

  // At the end a read succeeds with nothing.
  ASSERT_EQ(S_OK, stream->Seek(0, 2, nullptr));
  ASSERT_EQ(S_OK, stream->Read(&buffer[0], 100, &processed));
  EXPECT_EQ(0u, processed);

  ComPtr<IStreamGetSize> sizer;
  ASSERT_EQ(S_OK, stream->QueryInterface(IID_IStreamGetSize, sizer.ReceiveVoid()));
  UInt64 size = 0;
  ASSERT_EQ(S_OK, sizer->GetSize(&size));
  EXPECT_EQ(content.size(), size);

  ComPtr<IStreamGetProps2> props;
  ASSERT_EQ(S_OK, stream->QueryInterface(IID_IStreamGetProps2, props.ReceiveVoid()));
  CStreamFileProps file_props = {};
  ASSERT_EQ(S_OK, props->GetProps2(&file_props));
  EXPECT_EQ(content.size(), file_props.Size);
  EXPECT_EQ(1u, file_props.NumLinks);
}

TEST(ArchiveStreamsTest, InputStreamDoesNotCreateMissingFiles) {
  tn_test::ScopedTempDir dir;
  const std::string path = dir.Join("missing.7z");
  CInFileStream* spec = new CInFileStream;
  ComPtr<IInStream> stream(spec);
  EXPECT_FALSE(spec->Open(Wide(path)));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(path.c_str()));
}

TEST(ArchiveStreamsTest, InterfacesAndReferenceCounting) {
  CInFileStream* spec = new CInFileStream;
  IInStream* stream = spec;
  EXPECT_EQ(1u, stream->AddRef());
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, stream->QueryInterface(IID_IOutStream, &object));
  EXPECT_EQ(nullptr, object);
  IUnknown* unknown = nullptr;
  ASSERT_EQ(S_OK, stream->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)));
  EXPECT_EQ(1u, unknown->Release());
  EXPECT_EQ(0u, stream->Release());

  CArchiveExtractCallback* callback = new CArchiveExtractCallback;
  ComPtr<IArchiveExtractCallback> holder(callback);
  ComPtr<ICryptoGetTextPassword> password;
  ASSERT_EQ(S_OK, holder->QueryInterface(IID_ICryptoGetTextPassword, password.ReceiveVoid()));
  tn::ScopedBstr text;
  EXPECT_EQ(E_ABORT, password->CryptoGetTextPassword(text.Receive()));
  callback->PasswordIsDefined = true;
  callback->Password = L"pa\u00DFword";
  ASSERT_EQ(S_OK, password->CryptoGetTextPassword(text.Receive()));
  EXPECT_EQ(std::wstring(L"pa\u00DFword"), std::wstring(text.Get(), ::SysStringLen(text.Get())));
}

TEST(ArchiveStreamsTest, OutputStreamWritesResizesAndStampsTime) {
  tn_test::ScopedTempDir dir;
  const std::string path = dir.Join("out.bin");
  ASSERT_TRUE(tn_test::WriteFileBytes(path, "old content that is replaced"));
  COutFileStream* spec = new COutFileStream;
  ComPtr<IOutStream> stream(spec);
  ASSERT_TRUE(spec->Open(Wide(path), CREATE_ALWAYS));
  UInt32 processed = 0;
  ASSERT_EQ(S_OK, stream->Write("hello world", 11, &processed));
  EXPECT_EQ(11u, processed);
  ASSERT_EQ(S_OK, stream->SetSize(5));
  UInt64 position = 0;
  ASSERT_EQ(S_OK, stream->Seek(0, 1, &position));
  EXPECT_EQ(11u, position);  // SetSize keeps the position
  EXPECT_EQ(11u, spec->bytes_written());
  FILETIME stamp = {0x12345600, 0x01D71000};
  ASSERT_TRUE(spec->SetModificationTime(stamp));
  ASSERT_EQ(S_OK, spec->Close());

  EXPECT_EQ("hello", tn_test::ReadFileBytes(path));
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(stamp.dwLowDateTime, data.ftLastWriteTime.dwLowDateTime);
  EXPECT_EQ(stamp.dwHighDateTime, data.ftLastWriteTime.dwHighDateTime);
}

TEST(ArchiveStreamsTest, CreatesDirectoryTrees) {
  tn_test::ScopedTempDir dir;
  const std::wstring root = Wide(dir.path());
  EXPECT_TRUE(CreateDirectoryTree(root + L"\\a\\b c\\d"));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((root + L"\\a\\b c\\d").c_str()));
  EXPECT_TRUE(CreateDirectoryTree(root + L"\\a\\b c\\d"));  // existing
  EXPECT_TRUE(CreateDirectoryTree(root + L"\\x/y\\"));      // trailing separator, mixed
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((root + L"\\x\\y").c_str()));
  EXPECT_TRUE(CreateDirectoryTree(L"C:\\"));
  EXPECT_TRUE(CreateDirectoryTree(L"\\\\?\\C:\\"));
  EXPECT_FALSE(CreateDirectoryTree(L""));

  ASSERT_TRUE(tn_test::WriteFileBytes(dir.Join("file"), "x"));
  EXPECT_FALSE(CreateDirectoryTree(root + L"\\file"));
  EXPECT_FALSE(CreateDirectoryTree(root + L"\\file\\below"));
}

}  // namespace
}  // namespace tn
