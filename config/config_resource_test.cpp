// The configuration as the built installers carry it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "config/ini_file.h"
#include "config/ini_info_manager.h"
#include "config/work_dir.h"
#include "tests/support/test_support.h"

namespace {

class InstallerImage {
 public:
  explicit InstallerImage(const std::string& name)
      : module_(LoadLibraryExA(tn_test::BuildPath(name).c_str(), nullptr,
                               LOAD_LIBRARY_AS_DATAFILE)) {}
  bool IsValid() const { return module_.IsValid(); }
  HMODULE Get() const { return module_.Get(); }
  std::string Config() const {
    const void* data = nullptr;
    DWORD size = 0;
    if (!LoadResourceBytes(module_.Get(), kConfigResourceId, kConfigResourceType, &data, &size)) {
      return std::string();
    }
    return std::string(static_cast<const char*>(data), size);
  }

 private:
  tn::ScopedLibrary module_;
};

struct Line {
  std::string section;
  std::string key;
  std::string value;
};

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The entry lines of a CR LF text, by the rules of the reader.
std::vector<Line> EntryLines(const std::string& text) {
  std::vector<Line> lines;
  std::string section;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 2;
    if (line.size() > 1 && line.front() == '[' && line.back() == ']') {
      section = line.substr(1, line.size() - 2);
    } else if (line.find('=') != std::string::npos) {
      const size_t equals = line.find('=');
      lines.push_back({section, Trim(line.substr(0, equals)), Trim(line.substr(equals + 1))});
    }
  }
  return lines;
}

TEST(ConfigResourceTest, InstallerCarriesTheShippedFileInGbkWithCrLf) {
  InstallerImage installer("tnsetup.exe");
  ASSERT_TRUE(installer.IsValid()) << GetLastError();
  EXPECT_NE(nullptr, FindResourceExA(installer.Get(), kConfigResourceType,
                                     MAKEINTRESOURCEA(kConfigResourceId),
                                     MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED)));
  const std::string config = installer.Config();
  ASSERT_FALSE(config.empty());
  EXPECT_EQ(tn_test::ReadFileBytes(tn_test::BuildPath("config/info.ini")), config);

  EXPECT_NE(0u, config.rfind("\xEF\xBB\xBF", 0)) << "UTF-8 byte-order mark";
  EXPECT_NE(0u, config.rfind("\xFF\xFE", 0)) << "UTF-16 byte-order mark";
  for (size_t i = 0; i < config.size(); ++i) {
    if (config[i] == '\n') {
      ASSERT_TRUE(i > 0 && config[i - 1] == '\r') << "bare LF at " << i;
    }
    if (config[i] == '\r') {
      ASSERT_TRUE(i + 1 < config.size() && config[i + 1] == '\n') << "bare CR at " << i;
    }
  }
  // The test's own literals are GBK; the UTF-8 form of the name must not occur.
  EXPECT_NE(std::string::npos, config.find("DisplayName\t\t= \tTarnis模拟器\r\n"));
  EXPECT_EQ(std::string::npos, config.find("Tarnis\xE6\xA8\xA1"));
  EXPECT_NE(std::string::npos, config.find("\r\nNoModify\t\t= \t1\t\r\n"));

  const std::vector<std::pair<std::string, std::string>> order = {
      {"TARNIS_INFO", "RegeditKeyName"}, {"TARNIS_INFO", "DisplayIcon"},
      {"TARNIS_INFO", "DisplayName"},    {"TARNIS_INFO", "DisplayVersion"},
      {"TARNIS_INFO", "MyVersion"},      {"TARNIS_INFO", "NoModify"},
      {"TARNIS_INFO", "NoRemove"},       {"TARNIS_INFO", "NoRepair"},
      {"TARNIS_INFO", "Publisher"},      {"TARNIS_INFO", "UninstallString"},
      {"TARNIS_INFO", "URLInfoAbout"},   {"AUTO_RUN", "AutoRunName1"},
      {"KILL_PROGRESS", "Progress"},     {"OFFSET_FLAG", "flag"},
      {"MIN_INSTALL_SPACE", "size_GB"}};
  const std::vector<Line> lines = EntryLines(config);
  ASSERT_EQ(order.size(), lines.size());
  for (size_t i = 0; i < order.size(); ++i) {
    EXPECT_EQ(order[i].first, lines[i].section) << i;
    EXPECT_EQ(order[i].second, lines[i].key) << i;
  }
}

// The reader keeps 260 bytes of a section and 2048 of the section names; a
// longer publisher or address would silently drop the last entries.
TEST(ConfigResourceTest, ShippedFileStaysWithinTheReaderLimits) {
  const std::string config = tn_test::ReadFileBytes(tn_test::BuildPath("config/info.ini"));
  std::vector<std::pair<std::string, size_t>> sections;
  for (const Line& line : EntryLines(config)) {
    if (sections.empty() || sections.back().first != line.section) {
      sections.emplace_back(line.section, 1);
    }
    sections.back().second += line.key.size() + 1 + line.value.size() + 1;
  }
  size_t names = 1;
  for (const auto& section : sections) {
    EXPECT_LE(section.second, kIniSectionLimit) << section.first;
    names += section.first.size() + 1;
  }
  EXPECT_LE(names, kIniSectionNamesLimit);
  ASSERT_FALSE(sections.empty());
  EXPECT_EQ("TARNIS_INFO", sections.front().first);
  EXPECT_EQ(246u, sections.front().second);

  const std::vector<Line> lines = EntryLines(config);
  const Line& publisher = lines[8];
  EXPECT_EQ("Publisher", publisher.key);
  ASSERT_FALSE(publisher.value.empty());
  EXPECT_TRUE(static_cast<unsigned char>(publisher.value[0]) >= 0x81) << "a Chinese name";
  EXPECT_TRUE(IsDBCSLeadByteEx(936, static_cast<BYTE>(publisher.value[0])));
  const Line& progress = lines[12];
  size_t names_listed = 1;
  for (char c : progress.value) names_listed += c == ';';
  EXPECT_EQ(7u, names_listed);
  EXPECT_NE(std::string::npos, progress.value.find("ZEVodirodaz.exe"));
  EXPECT_NE(std::string::npos, progress.value.find("TNZiduvaZevi.exe"));
}

class ConfigVariantTest : public ::testing::Test {
 protected:
  void SetUp() override { table_->ClearAll(); }
  void TearDown() override { table_->ClearAll(); }

  // Loads the configuration of a built installer through the real reader.
  void Load(const std::string& installer_name, const std::string& file_name) {
    InstallerImage installer(installer_name);
    ASSERT_TRUE(installer.IsValid()) << installer_name;
    const std::string config = installer.Config();
    ASSERT_FALSE(config.empty());
    ASSERT_EQ(0u, config.find("[TARNIS_INFO]\r\n"));
    ASSERT_TRUE(tn_test::WriteFileBytes(dir_.Join(file_name), config));
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

  table_->ClearAll();
  Load("tnsetup_no_offset_flag.exe", "no_flag.ini");
  EXPECT_EQ(14u, table_->GetCount());
  EXPECT_TRUE(Keys("OFFSET_FLAG").empty());

  table_->ClearAll();
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
