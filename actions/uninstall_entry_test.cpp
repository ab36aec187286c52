#include "actions/uninstall_entry.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "actions/previous_install.h"
#include "config/ini_info_manager.h"
#include "util/scoped_handle.h"

namespace {

// Each test program runs in a prefix of its own, so the real uninstall
// branch is the scratch area; every test uses a key name of its own.
class UninstallEntryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table_->ClearAll();
    state_.m_strInstallDir = "C:\\Program Files (x86)\\ZEVodirodaz";
    state_.m_strRegKeyName =
        std::string("TnTest_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    subkey_ = std::string(kUninstallKeyBranch) + state_.m_strRegKeyName;
  }
  void TearDown() override {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, subkey_.c_str());
    table_->ClearAll();
  }
  void AddShippedEntries() {
    const char* entries[][2] = {
        {"RegeditKeyName", "ZEVodirodaz"},
        {"DisplayIcon", "ZEVodirodaz.exe"},
        {"DisplayName", "Tarnis模拟器"},
        {"DisplayVersion", "0.2.0.1726"},
        {"MyVersion", "1726"},
        {"NoModify", "1"},
        {"NoRemove", "0"},
        {"NoRepair", "1"},
        {"Publisher", "塔尼斯科技有限公司"},
        {"UninstallString", "uninstall.exe"},
        {"URLInfoAbout", "https://tarnis.cn/"},
    };
    for (const auto& entry : entries) table_->AddIniData("TARNIS_INFO", entry[0], entry[1]);
    table_->AddIniData("AUTO_RUN", "AutoRunName1", "TNZiduvaZevi.exe");
  }
  // Type and data of one value, "" type 0 when missing.
  std::string Value(const char* name, DWORD* type) {
    char data[2048] = {};
    DWORD size = sizeof(data);
    *type = 0;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, subkey_.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, type,
                     data, &size) != ERROR_SUCCESS) {
      return std::string();
    }
    return std::string(data, size);
  }
  DWORD Dword(const char* name) {
    DWORD type = 0;
    const std::string data = Value(name, &type);
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type) << name;
    return data.size() == 4 ? *reinterpret_cast<const DWORD*>(data.data()) : 0xFFFFFFFF;
  }
  std::string String(const char* name) {
    DWORD type = 0;
    const std::string data = Value(name, &type);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type) << name;
    EXPECT_TRUE(!data.empty() && data.back() == '\0') << name << " stored without its NUL";
    return data.empty() ? data : data.substr(0, data.size() - 1);
  }
  void WriteDisplayIcon(DWORD type, const std::string& bytes) {
    tn::ScopedRegKey key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, subkey_.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.Get(), "DisplayIcon", 0, type,
                                            reinterpret_cast<const BYTE*>(bytes.data()),
                                            static_cast<DWORD>(bytes.size())));
  }

  // True when the ANSI query reports a terminating NUL that was not stored.
  bool QueryAddsNul() {
    char data[2048] = {};
    DWORD size = sizeof(data);
    DWORD type = 0;
    tn::ScopedRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey_.c_str(), 0, KEY_READ, key.Receive()) != 0 ||
        RegQueryValueExA(key.Get(), "DisplayIcon", nullptr, &type, reinterpret_cast<BYTE*>(data),
                         &size) != 0) {
      return false;
    }
    return size > 0 && data[size - 1] == '\0';
  }

  CIniInfoManager* table_ = CIniInfoManager::GetInstance();
  InstallState state_;
  std::string subkey_;
};

TEST_F(UninstallEntryTest, WritesEveryConfiguredValueButTheKeyName) {
  AddShippedEntries();
  std::string display_name = "unchanged";
  ASSERT_TRUE(RegisterUninstallEntry(state_, &display_name));
  EXPECT_EQ("Tarnis模拟器", display_name);
  EXPECT_EQ("C:\\Program Files (x86)\\ZEVodirodaz\\ZEVodirodaz.exe", String("DisplayIcon"));
  EXPECT_EQ("Tarnis模拟器", String("DisplayName"));
  EXPECT_EQ("0.2.0.1726", String("DisplayVersion"));
  EXPECT_EQ(1726u, Dword("MyVersion"));
  EXPECT_EQ(1u, Dword("NoModify"));
  EXPECT_EQ(0u, Dword("NoRemove"));
  EXPECT_EQ(1u, Dword("NoRepair"));
  EXPECT_EQ("塔尼斯科技有限公司", String("Publisher"));
  // Not quoted, although the directory has spaces.
  EXPECT_EQ("C:\\Program Files (x86)\\ZEVodirodaz\\uninstall.exe", String("UninstallString"));
  EXPECT_EQ("https://tarnis.cn/", String("URLInfoAbout"));
  DWORD type = 0;
  Value("RegeditKeyName", &type);
  EXPECT_EQ(0u, type) << "the key name is never a value";
  // Only the TARNIS_INFO section becomes values.
  Value("AutoRunName1", &type);
  EXPECT_EQ(0u, type);
}

TEST_F(UninstallEntryTest, NumericRuleDecidesTheType) {
  table_->AddIniData("TARNIS_INFO", "Mixed", "12abc");
  table_->AddIniData("TARNIS_INFO", "Padded", "007");
  table_->AddIniData("TARNIS_INFO", "Fraction", "2.5");
  table_->AddIniData("TARNIS_INFO", "Negative", "-3");
  ASSERT_TRUE(RegisterUninstallEntry(state_, nullptr));
  EXPECT_EQ("12abc", String("Mixed"));
  EXPECT_EQ(7u, Dword("Padded"));
  EXPECT_EQ(2u, Dword("Fraction"));
  EXPECT_EQ(static_cast<DWORD>(-3), Dword("Negative"));
}

TEST_F(UninstallEntryTest, ExistingKeyKeepsValuesTheConfigurationDoesNotName) {
  tn::ScopedRegKey key;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, subkey_.c_str(), 0, nullptr, 0,
                                           KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr));
  RegSetValueExA(key.Get(), "InstallSource", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
  RegSetValueExA(key.Get(), "DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE*>("old"), 4);
  key.Reset();
  table_->AddIniData("TARNIS_INFO", "DisplayName", "Tarnis模拟器");
  ASSERT_TRUE(RegisterUninstallEntry(state_, nullptr));
  EXPECT_EQ("x", String("InstallSource"));
  EXPECT_EQ("Tarnis模拟器", String("DisplayName"));
}

TEST_F(UninstallEntryTest, WithoutDisplayNameTheNameStaysAsItWas) {
  table_->AddIniData("TARNIS_INFO", "DisplayVersion", "1");
  std::string display_name;
  ASSERT_TRUE(RegisterUninstallEntry(state_, &display_name));
  EXPECT_EQ("", display_name);
}

TEST_F(UninstallEntryTest, PreviousDirectoryIsTheIconsFolder) {
  EXPECT_EQ("", FindPreviousInstallDirectory(state_.m_strRegKeyName)) << "no key";
  const std::string icon = "D:\\Apps\\ZEVodirodaz\\ZEVodirodaz.exe";
  WriteDisplayIcon(REG_SZ, icon + '\0');
  EXPECT_EQ("D:\\Apps\\ZEVodirodaz", FindPreviousInstallDirectory(state_.m_strRegKeyName));
  WriteDisplayIcon(REG_EXPAND_SZ, icon + '\0');
  EXPECT_EQ("D:\\Apps\\ZEVodirodaz", FindPreviousInstallDirectory(state_.m_strRegKeyName));
  // What the registration wrote is read back from the same (32-bit) view.
  table_->AddIniData("TARNIS_INFO", "DisplayIcon", "ZEVodirodaz.exe");
  ASSERT_TRUE(RegisterUninstallEntry(state_, nullptr));
  EXPECT_EQ(state_.m_strInstallDir, FindPreviousInstallDirectory(state_.m_strRegKeyName));
}

TEST_F(UninstallEntryTest, UnusableIconValuesMeanNoPreviousInstallation) {
  const struct {
    DWORD type;
    std::string bytes;
    const char* why;
  } cases[] = {
      {REG_SZ, std::string("D:\\Apps\\ZEVodirodaz\\ZEVodirodaz.exe"), "no terminating NUL"},
      {REG_SZ, "D:\\Apps\\" + std::string(1500, 'x') + '\0', "longer than 1024 bytes"},
      {REG_DWORD, std::string("\x01\x00\x00\x00", 4), "not a string"},
      {REG_SZ, std::string("", 0), "empty"},
      // Removal guards: a root, a bare name, the system's own folders.
      {REG_SZ, std::string("C:\\ZEVodirodaz.exe") + '\0', "directory is a drive root"},
      {REG_SZ, std::string("ZEVodirodaz.exe") + '\0', "bare file name"},
      {REG_SZ, std::string("C:\\windows\\ZEVodirodaz.exe") + '\0', "the Windows folder"},
      {REG_SZ, std::string("C:\\windows\\system32\\x.exe") + '\0', "the system folder"},
      {REG_SZ, std::string("C:\\a\\..\\x.exe") + '\0', "resolves to the root"},
      {REG_SZ, std::string("\\\\server\\share\\dir\\x.exe") + '\0', "a network path"},
      {REG_SZ, std::string("C:Apps\\x.exe") + '\0', "relative to a drive"},
  };
  for (const auto& c : cases) {
    WriteDisplayIcon(c.type, c.bytes);
    if (c.type == REG_SZ && !c.bytes.empty() && c.bytes.back() != '\0' && QueryAddsNul()) {
      // Wine's ANSI query hands a string back terminated however it was
      // stored, so the unterminated case cannot be made here.
      continue;
    }
    EXPECT_EQ("", FindPreviousInstallDirectory(state_.m_strRegKeyName)) << c.why;
  }
}

TEST(ParseLeadingIntegerTest, ReadsTheLeadingDecimalNumber) {
  const struct {
    const char* text;
    long value;
  } cases[] = {{"1726", 1726},
               {" \t42", 42},
               {"+5", 5},
               {"-12", -12},
               {"2.5", 2},
               {"1e3", 1},
               {"abc", 0},
               {"", 0},
               {"007", 7},
               {"-", 0},
               {"99999999999", 2147483647L}};
  for (const auto& c : cases) EXPECT_EQ(c.value, ParseLeadingInteger(c.text)) << c.text;
}

}  // namespace
