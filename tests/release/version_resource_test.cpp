// Reads the installer stubs' version information back the way Windows does
// (GetFileVersionInfoW, as the file's properties and the elevation prompt
// do) and compares it with the configuration each stub carries.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace {

std::wstring FromGbk(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int length = MultiByteToWideChar(936, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(936, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  return wide;
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// A TARNIS_INFO value of a GBK configuration file, as UTF-16.
std::wstring ConfigValue(const std::string& config, const std::string& key) {
  bool inside = false;
  size_t start = 0;
  while (start < config.size()) {
    size_t end = config.find('\n', start);
    if (end == std::string::npos) end = config.size();
    const std::string line = Trim(config.substr(start, end - start));
    start = end + 1;
    if (!line.empty() && line[0] == '[') {
      inside = line == "[TARNIS_INFO]";
      continue;
    }
    const size_t equals = line.find('=');
    if (inside && equals != std::string::npos && Trim(line.substr(0, equals)) == key) {
      return FromGbk(Trim(line.substr(equals + 1)));
    }
  }
  return std::wstring();
}

class StubVersion {
 public:
  explicit StubVersion(const std::string& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(Wide(path).c_str(), &ignored);
    if (size == 0) return;
    data_.resize(size);
    if (!GetFileVersionInfoW(Wide(path).c_str(), 0, size, data_.data())) data_.clear();
  }
  bool loaded() const { return !data_.empty(); }

  std::wstring Text(const std::wstring& name) const {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring query = L"\\StringFileInfo\\080404b0\\" + name;
    if (!VerQueryValueW(data_.data(), query.c_str(), &value, &length) || !value) return L"<none>";
    return std::wstring(static_cast<const wchar_t*>(value));
  }
  const VS_FIXEDFILEINFO* Fixed() const {
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data_.data(), L"\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
      return nullptr;
    }
    return static_cast<const VS_FIXEDFILEINFO*>(value);
  }
  DWORD Translation() const {
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data_.data(), L"\\VarFileInfo\\Translation", &value, &length) || length < 4) {
      return 0;
    }
    return *static_cast<const DWORD*>(value);
  }

 private:
  static std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());  // build paths are ASCII
  }
  std::vector<BYTE> data_;
};

std::wstring VersionText(DWORD high, DWORD low) {
  return std::to_wstring(HIWORD(high)) + L"." + std::to_wstring(LOWORD(high)) + L"." +
         std::to_wstring(HIWORD(low)) + L"." + std::to_wstring(LOWORD(low));
}

struct Stub {
  const char* file;
  const char* config;
};

class VersionResourceTest : public ::testing::TestWithParam<Stub> {};

TEST_P(VersionResourceTest, MatchesTheConfigurationItCarries) {
  const Stub stub = GetParam();
  const std::string config = tn_test::ReadFileBytes(tn_test::BuildPath(stub.config));
  ASSERT_FALSE(config.empty()) << stub.config;
  const std::wstring publisher = ConfigValue(config, "Publisher");
  const std::wstring name = ConfigValue(config, "DisplayName");
  const std::wstring version = ConfigValue(config, "DisplayVersion");
  ASSERT_FALSE(publisher.empty() || name.empty() || version.empty()) << stub.config;

  const StubVersion info(tn_test::BuildPath(stub.file));
  ASSERT_TRUE(info.loaded()) << stub.file << " has no version information";
  EXPECT_EQ(publisher, info.Text(L"CompanyName")) << stub.file;
  EXPECT_EQ(name, info.Text(L"ProductName")) << stub.file;
  EXPECT_EQ(0u, info.Text(L"FileDescription").find(name)) << stub.file;
  EXPECT_EQ(version, info.Text(L"ProductVersion")) << stub.file;
  EXPECT_EQ(version, info.Text(L"FileVersion")) << stub.file;
  EXPECT_NE(std::wstring::npos, info.Text(L"LegalCopyright").find(publisher)) << stub.file;
  EXPECT_EQ(L"TarnisSetup.exe", info.Text(L"OriginalFilename")) << stub.file;
  // Chinese (PRC), Unicode: the string table the lookups above use.
  EXPECT_EQ(MAKELONG(0x0804, 1200), info.Translation()) << stub.file;

  const VS_FIXEDFILEINFO* fixed = info.Fixed();
  ASSERT_NE(nullptr, fixed) << stub.file;
  EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
  EXPECT_EQ(version, VersionText(fixed->dwFileVersionMS, fixed->dwFileVersionLS)) << stub.file;
  EXPECT_EQ(version, VersionText(fixed->dwProductVersionMS, fixed->dwProductVersionLS)) << stub.file;
  EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);
}

INSTANTIATE_TEST_SUITE_P(Stubs, VersionResourceTest,
                         ::testing::Values(Stub{"tnsetup.exe", "config/info.ini"},
                                           Stub{"tnsetup_other_version.exe",
                                                "config/variants/other_version.ini"}));

TEST(VersionResourceVariantTest, AnotherDisplayVersionGivesAnotherVersion) {
  const StubVersion shipped(tn_test::BuildPath("tnsetup.exe"));
  const StubVersion variant(tn_test::BuildPath("tnsetup_other_version.exe"));
  ASSERT_TRUE(shipped.loaded() && variant.loaded());
  EXPECT_NE(shipped.Text(L"ProductVersion"), variant.Text(L"ProductVersion"));
  EXPECT_EQ(L"1.4.12.305", variant.Text(L"ProductVersion"));
  EXPECT_EQ(MAKELONG(4, 1), variant.Fixed()->dwFileVersionMS);
  EXPECT_EQ(MAKELONG(305, 12), variant.Fixed()->dwFileVersionLS);
  EXPECT_EQ(shipped.Text(L"CompanyName"), variant.Text(L"CompanyName"));
}

}  // namespace
