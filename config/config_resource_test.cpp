// The configuration as the built installers carry it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/ini_file.h"
#include "config/ini_info_manager.h"
#include "config/work_dir.h"
#include "tests/support/test_support.h"

namespace {

// The configuration resource of a built installer, read as a data file.
std::string InstallerConfig(const std::string& name, bool* chinese_language = nullptr) {
  tn::ScopedLibrary installer(
      LoadLibraryExA(tn_test::BuildPath(name).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  const void* data = nullptr;
  DWORD size = 0;
  if (!LoadResourceBytes(installer.Get(), kConfigResourceId, kConfigResourceType, &data, &size)) {
    return std::string();
  }
  if (chinese_language) {
    *chinese_language =
        FindResourceExA(installer.Get(), kConfigResourceType, MAKEINTRESOURCEA(kConfigResourceId),
                        MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
  }
  return std::string(static_cast<const char*>(data), size);
}

TEST(ConfigResourceTest, InstallerCarriesTheShippedFileInGbkWithCrLf) {
  bool chinese_language = false;
  const std::string config = InstallerConfig("tnsetup.exe", &chinese_language);
  ASSERT_FALSE(config.empty());
  EXPECT_TRUE(chinese_language);
  EXPECT_EQ(tn_test::ReadFileBytes(tn_test::BuildPath("config/info.ini")), config);

  EXPECT_EQ(0u, config.find("[TARNIS_INFO]\r\nRegeditKeyName\t= \tZEVodirodaz\r\n"))
      << "no byte-order mark, first section and key";
  for (size_t i = 0; i < config.size(); ++i) {
    if (config[i] == '\n') {
      ASSERT_TRUE(i > 0 && config[i - 1] == '\r') << "bare LF at " << i;
    }
    if (config[i] == '\r') {
      ASSERT_TRUE(i + 1 < config.size() && config[i + 1] == '\n') << "bare CR at " << i;
    }
  }
  // The test's own literals are GBK; the UTF-8 form of the name must not occur.
  EXPECT_NE(std::string::npos, config.find("\r\nDisplayName\t\t= \tTarnis模拟器\r\n"));
  EXPECT_EQ(std::string::npos, config.find("Tarnis\xE6\xA8\xA1"));
  EXPECT_NE(std::string::npos, config.find("\r\nNoModify\t\t= \t1\t\r\n"));

  size_t position = 0;
  for (const char* section :
       {"[TARNIS_INFO]", "[AUTO_RUN]", "[KILL_PROGRESS]", "[OFFSET_FLAG]", "[MIN_INSTALL_SPACE]"}) {
    const size_t found = config.find(section, position);
    ASSERT_NE(std::string::npos, found) << section << " missing or out of order";
    position = found;
  }
}

class ConfigVariantTest : public ::testing::Test {
 protected:
  void SetUp() override { table_->ClearAll(); }
  void TearDown() override { table_->ClearAll(); }

  // Loads the configuration of a built installer through the real reader.
  void Load(const std::string& installer_name, const std::string& file_name) {
    const std::string config = InstallerConfig(installer_name);
    ASSERT_EQ(0u, config.find("[TARNIS_INFO]\r\n")) << installer_name;
    ASSERT_TRUE(tn_test::WriteFileBytes(dir_.Join(file_name), config));
    table_->ClearAll();
    LoadIniFile(dir_.Join(file_name));
  }
  std::vector<std::string> Keys(const char* section) {
    CIniInfoList records;
    table_->GetSectionData(section, &records);
    std::vector<std::string> keys;
    for (const CIniInfoData* record : records) keys.push_back(record->m_strKey);
    return keys;
  }

  CIniInfoManager* table_ = CIniInfoManager::GetInstance();
  tn_test::ScopedTempDir dir_;
};

TEST_F(ConfigVariantTest, VariantsDifferFromTheShippedFileAsNamed) {
  Load("tnsetup_huge_space.exe", "huge.ini");
  EXPECT_EQ(15u, table_->GetCount());
  CIniInfoData space;
  table_->GetDataByKey("size_GB", &space);
  EXPECT_EQ("999999", space.m_strValue);
  EXPECT_TRUE(space.m_bNumeric);

  Load("tnsetup_no_offset_flag.exe", "no_flag.ini");
  EXPECT_EQ(14u, table_->GetCount());
  EXPECT_TRUE(Keys("OFFSET_FLAG").empty());

  // The extra entry fills the section to exactly its limit and still loads.
  Load("tnsetup_extra_entry.exe", "extra.ini");
  const std::vector<std::string> keys = Keys("TARNIS_INFO");
  ASSERT_EQ(12u, keys.size());
  EXPECT_EQ("URLInfoAbout", keys[10]);
  EXPECT_EQ("Comments", keys[11]);
  CIniInfoData comments;
  table_->GetDataByKey("Comments", &comments);
  EXPECT_EQ("测试", comments.m_strValue);
}

}  // namespace
