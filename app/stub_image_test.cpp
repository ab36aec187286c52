// Reads the built installer stub as a file: PE headers, imports, resources.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "tests/support/test_support.h"

namespace {

class StubImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    image_ = tn_test::ReadFileBytes(tn_test::BuildPath("tnsetup.exe"));
    ASSERT_GT(image_.size(), 4096u) << "tnsetup.exe missing";
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image_.data());
    ASSERT_EQ(dos->e_magic, IMAGE_DOS_SIGNATURE);
    ASSERT_LT(static_cast<size_t>(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS32), image_.size());
    nt_ = reinterpret_cast<const IMAGE_NT_HEADERS32*>(image_.data() + dos->e_lfanew);
    ASSERT_EQ(nt_->Signature, IMAGE_NT_SIGNATURE);
  }

  // File offset of a relative virtual address, or 0.
  size_t Offset(DWORD rva) const {
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt_);
    for (WORD i = 0; i < nt_->FileHeader.NumberOfSections; ++i, ++section) {
      const DWORD size =
          section->Misc.VirtualSize ? section->Misc.VirtualSize : section->SizeOfRawData;
      if (rva >= section->VirtualAddress && rva < section->VirtualAddress + size) {
        return rva - section->VirtualAddress + section->PointerToRawData;
      }
    }
    return 0;
  }

  std::string image_;
  const IMAGE_NT_HEADERS32* nt_ = nullptr;
};

TEST_F(StubImageTest, StaysSmallEnoughToDownload) {
  // Library, skin (with its 200 % images) and code together; the payload
  // comes on top of this.
  EXPECT_LT(image_.size(), 2700000u);
  std::printf("tnsetup.exe: %u bytes\n", static_cast<unsigned>(image_.size()));
}

TEST_F(StubImageTest, IsA32BitGuiProgram) {
  EXPECT_EQ(nt_->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
  EXPECT_EQ(nt_->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
  EXPECT_EQ(nt_->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
}

TEST_F(StubImageTest, ImportsSystemLibrariesOnly) {
  const std::set<std::string> allowed = {
      "kernel32.dll", "user32.dll",   "gdi32.dll",    "advapi32.dll", "shell32.dll",
      "ole32.dll",    "oleaut32.dll", "comctl32.dll", "shlwapi.dll",  "msimg32.dll",
      "gdiplus.dll",  "comdlg32.dll", "imm32.dll",    "msvcrt.dll",
  };
  const IMAGE_DATA_DIRECTORY& directory =
      nt_->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  size_t offset = Offset(directory.VirtualAddress);
  ASSERT_NE(offset, 0u);
  int count = 0;
  for (;; offset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    ASSERT_LE(offset + sizeof(IMAGE_IMPORT_DESCRIPTOR), image_.size());
    const auto* import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(image_.data() + offset);
    if (import->Name == 0) break;
    std::string name = image_.c_str() + Offset(import->Name);
    for (char& c : name) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    EXPECT_TRUE(allowed.count(name)) << "imports " << name;
    ++count;
  }
  EXPECT_GT(count, 2);
}

TEST_F(StubImageTest, CarriesTheThreeResources) {
  const tn::ScopedLibrary stub(
      LoadLibraryExA(tn_test::BuildPath("tnsetup.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(stub.IsValid());
  const HMODULE module = stub.Get();
  HRSRC skin = FindResourceA(module, MAKEINTRESOURCEA(129), "ZIP");
  HRSRC library = FindResourceA(module, MAKEINTRESOURCEA(130), "EXEDLL");
  HRSRC config = FindResourceExA(module, "INI", MAKEINTRESOURCEA(131),
                                 MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
  ASSERT_NE(skin, nullptr);
  ASSERT_NE(library, nullptr);
  ASSERT_NE(config, nullptr);
  EXPECT_NE(FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)), nullptr)
      << "manifest";

  const char* skin_bytes = static_cast<const char*>(LockResource(LoadResource(module, skin)));
  EXPECT_EQ(std::memcmp(skin_bytes, "PK\x03\x04", 4), 0);

  const std::string dll = tn_test::ReadFileBytes(tn_test::BuildPath("7zTmp.dll"));
  ASSERT_EQ(SizeofResource(module, library), dll.size());
  EXPECT_EQ(std::memcmp(LockResource(LoadResource(module, library)), dll.data(), dll.size()), 0);
}

}  // namespace
