#include "config/ini_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "config/ini_info_manager.h"
#include "tests/support/test_support.h"

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override { table_->ClearAll(); }
  void TearDown() override { table_->ClearAll(); }

  // Each test writes a file of its own name: Wine caches profiles by name.
  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = dir_.Join(name);
    EXPECT_TRUE(tn_test::WriteFileBytes(path, text));
    return path;
  }

  Entries Section(const char* section) {
    CIniInfoList records;
    table_->GetSectionData(section, &records);
    Entries entries;
    for (const CIniInfoData* record : records) {
      EXPECT_EQ(section, record->m_strSection);
      entries.emplace_back(record->m_strKey, record->m_strValue);
    }
    return entries;
  }

  CIniInfoManager* table_ = CIniInfoManager::GetInstance();
  tn_test::ScopedTempDir dir_;
};

// The installer carries this file byte for byte (see config_resource_test).
TEST_F(IniFileTest, ShippedConfigurationLoadsWhole) {
  LoadIniFile(tn_test::BuildPath("config/info.ini"));
  EXPECT_EQ(15u, table_->GetCount());

  const Entries info = Section("TARNIS_INFO");
  const char* keys[] = {"RegeditKeyName", "DisplayIcon",     "DisplayName", "DisplayVersion",
                        "MyVersion",      "NoModify",        "NoRemove",    "NoRepair",
                        "Publisher",      "UninstallString", "URLInfoAbout"};
  ASSERT_EQ(11u, info.size());
  for (size_t i = 0; i < info.size(); ++i) EXPECT_EQ(keys[i], info[i].first);
  EXPECT_EQ("Tarnis模拟器", info[2].second);
  EXPECT_EQ("1", info[5].second);  // the line with tabs, a blank and a trailing tab
  EXPECT_TRUE(IsDBCSLeadByteEx(936, static_cast<BYTE>(info[8].second[0]))) << "Chinese publisher";
  EXPECT_EQ(0u, info[10].second.rfind("https://", 0)) << info[10].second;
  CIniInfoList records;
  table_->GetSectionData("TARNIS_INFO", &records);
  std::vector<bool> numeric;
  for (const CIniInfoData* record : records) numeric.push_back(record->m_bNumeric);
  EXPECT_EQ(
      (std::vector<bool>{false, false, false, false, true, true, true, true, false, false, false}),
      numeric);

  // A longer publisher or address would drop the last entries silently.
  size_t budget = 1;
  for (const auto& entry : info) budget += entry.first.size() + 1 + entry.second.size() + 1;
  EXPECT_EQ(246u, budget);
  EXPECT_LE(budget, kIniSectionLimit);

  EXPECT_EQ((Entries{{"AutoRunName1", "TNZiduvaZevi.exe"}}), Section("AUTO_RUN"));
  EXPECT_EQ((Entries{{"flag", "TN7zOffset"}}), Section("OFFSET_FLAG"));
  EXPECT_EQ((Entries{{"size_GB", "7"}}), Section("MIN_INSTALL_SPACE"));
  const Entries kill = Section("KILL_PROGRESS");
  ASSERT_EQ(1u, kill.size());
  EXPECT_EQ("Progress", kill[0].first);
  EXPECT_EQ(110u, kill[0].second.size());
  EXPECT_EQ(6, std::count(kill[0].second.begin(), kill[0].second.end(), ';'));
  EXPECT_NE(std::string::npos, kill[0].second.find("ZEVodirodaz.exe;"));
  EXPECT_NE(std::string::npos, kill[0].second.find("TNZiduvaZevi.exe;"));
}

TEST_F(IniFileTest, ParsesKeysValuesAndLayout) {
  LoadIniFile(Write("layout.ini",
                    "ignored=before any section\r\n"
                    "\r\n"
                    "[OFFSET_FLAG]\r\n"
                    "flag\t\t= \ta=b = c \t\r\n"
                    "NoModify\t\t= \t1\t\r\n"
                    "\r\n"
                    "no equals sign here\r\n"
                    "  spaced key  =  spaced value  \r\n"
                    "empty=\r\n"
                    "[Second]\n"
                    "DisplayName=GBK 模拟器 text\n"));
  EXPECT_EQ(
      (Entries{
          {"flag", "a=b = c"}, {"NoModify", "1"}, {"spaced key", "spaced value"}, {"empty", ""}}),
      Section("OFFSET_FLAG"));
  EXPECT_EQ((Entries{{"DisplayName", "GBK 模拟器 text"}}), Section("Second"));
  EXPECT_EQ(5u, table_->GetCount());
}

TEST_F(IniFileTest, DuplicateKeysAreAllKeptAndSectionCaseMatters) {
  LoadIniFile(Write("duplicates.ini",
                    "[tarnis_info]\r\nDisplayName=first\r\n"
                    "[OTHER]\r\nDisplayName=second\r\nDisplayName=third\r\n"));
  EXPECT_TRUE(Section("TARNIS_INFO").empty());
  EXPECT_EQ((Entries{{"DisplayName", "first"}}), Section("tarnis_info"));
  EXPECT_EQ((Entries{{"DisplayName", "second"}, {"DisplayName", "third"}}), Section("OTHER"));
  CIniInfoData record;
  table_->GetDataByKey("DisplayName", &record);
  EXPECT_EQ("first", record.m_strValue);
}

// Each entry counts as "key=value" and a NUL, the section one more NUL.
TEST_F(IniFileTest, SectionBeyond260BytesKeepsTheEntriesThatFitWhole) {
  std::string text = "[BIG]\r\n";
  Entries fitting;
  for (int i = 0; i < 10; ++i) {
    // "Kxx=" + 20 characters + NUL = 25 bytes.
    const std::string key = "K" + std::to_string(10 + i);
    const std::string value(20, static_cast<char>('a' + i));
    text += key + "=" + value + "\r\n";
    fitting.emplace_back(key, value);
  }
  // 250 + 1 used; "Edge=abc" and its NUL make exactly 260.
  text += "Edge=abc\r\n";
  fitting.emplace_back("Edge", "abc");
  text += "Late=x\r\nLater=y\r\n";
  text += "[AFTER]\r\nk=v\r\n";
  LoadIniFile(Write("big.ini", text));
  EXPECT_EQ(fitting, Section("BIG"));
  EXPECT_EQ((Entries{{"k", "v"}}), Section("AFTER"));

  // One byte more and the straddling entry is left out whole, not cut.
  table_->ClearAll();
  std::string over = text;
  over.replace(over.find("Edge=abc"), 8, "Edge=abcd");
  LoadIniFile(Write("big_over.ini", over));
  fitting.pop_back();
  EXPECT_EQ(fitting, Section("BIG"));
  EXPECT_EQ((Entries{{"k", "v"}}), Section("AFTER"));
}

TEST_F(IniFileTest, SectionNamesBeyond2048BytesAreLeftOut) {
  // Names of 15 characters take 16 bytes: 127 of them fit (2033 bytes with
  // the final NUL), the 128th would make 2049.
  std::string text;
  for (int i = 0; i < 130; ++i) {
    text += "[Section_" + std::to_string(1000000 + i) + "]\r\nk=" + std::to_string(i) + "\r\n";
  }
  LoadIniFile(Write("many.ini", text));
  EXPECT_EQ(127u, table_->GetCount());
  EXPECT_EQ((Entries{{"k", "126"}}), Section("Section_1000126"));
  EXPECT_TRUE(Section("Section_1000127").empty());
}

TEST_F(IniFileTest, MissingOrUnreadableFilesLeaveTheTableEmpty) {
  LoadIniFile(dir_.Join("absent.ini"));
  LoadIniFile(dir_.path());
  LoadIniFile("");
  // A bare name would otherwise be looked up in the Windows directory.
  LoadIniFile("win.ini");
  LoadIniFile(Write("empty.ini", ""));
  LoadIniFile(Write("binary.ini", std::string("\0\xff\xfe\x01[", 5)));
  EXPECT_EQ(0u, table_->GetCount());
}

}  // namespace
