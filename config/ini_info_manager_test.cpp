#include "config/ini_info_manager.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

class IniInfoManagerTest : public ::testing::Test {
 protected:
  void SetUp() override { table_->ClearAll(); }
  void TearDown() override { table_->ClearAll(); }

  std::vector<std::string> Values(const char* section) {
    CIniInfoList records;
    table_->GetSectionData(section, &records);
    std::vector<std::string> values;
    for (const CIniInfoData* record : records) values.push_back(record->m_strValue);
    return values;
  }

  CIniInfoManager* table_ = CIniInfoManager::GetInstance();
};

TEST(IsNumericTest, FollowsStreamRules) {
  const char* numeric[] = {"7",   "1726", "1\t", "-2.5", "1e3", " 7 ", "+3",     ".5",
                           "007", "2.5",  "0",   "1E-2", "5.",  "+.5", "1e-400", "\r\n12\n"};
  for (const char* value : numeric) EXPECT_TRUE(IsNumeric(value)) << "[" << value << "]";
  const char* not_numeric[] = {
      "0.2.0.1726", "ZEVodirodaz.exe", "7GB", "",    " \t",   "12abc", "1 2", "0x10", "-",  "e3",
      "1e",         "模拟器",          ".",   "1e+", "1e999", "inf",   "nan", "1..2", "--1"};
  for (const char* value : not_numeric) EXPECT_FALSE(IsNumeric(value)) << "[" << value << "]";
}

TEST_F(IniInfoManagerTest, SectionsKeepInsertionOrderAndMatchExactly) {
  EXPECT_TRUE(table_->AddIniData("A", "k1", "1"));
  table_->AddIniData("B", "k1", "x");
  table_->AddIniData("A", "k2", "2");
  table_->AddIniData("a", "k3", "lower");
  table_->AddIniData("A", "k1", "3");
  EXPECT_EQ(5u, table_->GetCount());
  EXPECT_EQ((std::vector<std::string>{"1", "2", "3"}), Values("A"));
  EXPECT_EQ(std::vector<std::string>{"lower"}, Values("a"));
  EXPECT_EQ(std::vector<std::string>{"x"}, Values("B"));

  // The output list is emptied first, also for a section that does not exist.
  CIniInfoList records;
  table_->GetSectionData("A", &records);
  table_->GetSectionData("A ", &records);
  EXPECT_TRUE(records.empty());
  table_->GetSectionData("", &records);
  EXPECT_TRUE(records.empty());
}

TEST_F(IniInfoManagerTest, GetDataByKeyTakesFirstMatchInAnySection) {
  table_->AddIniData("TARNIS_INFO", "DisplayName", "Tarnis模拟器");
  table_->AddIniData("OTHER", "DisplayName", "later");
  table_->AddIniData("OTHER", "Count", "12");

  CIniInfoData record;
  table_->GetDataByKey("DisplayName", &record);
  EXPECT_EQ("TARNIS_INFO", record.m_strSection);
  EXPECT_EQ("DisplayName", record.m_strKey);
  EXPECT_EQ("Tarnis模拟器", record.m_strValue);
  EXPECT_FALSE(record.m_bNumeric);

  table_->GetDataByKey("Count", &record);
  EXPECT_EQ("OTHER", record.m_strSection);
  EXPECT_EQ("12", record.m_strValue);
  EXPECT_TRUE(record.m_bNumeric);

  // No match, including a key that differs in letter case: the record is
  // left exactly as it was.
  table_->GetDataByKey("displayname", &record);
  table_->GetDataByKey("Missing", &record);
  EXPECT_EQ("OTHER", record.m_strSection);
  EXPECT_EQ("Count", record.m_strKey);
  EXPECT_EQ("12", record.m_strValue);
  EXPECT_TRUE(record.m_bNumeric);
}

TEST_F(IniInfoManagerTest, ConcurrentWritersAndReadersKeepEveryRecordInOrder) {
  constexpr int kWriters = 4;
  constexpr int kPerWriter = 400;
  std::vector<std::thread> threads;
  for (int w = 0; w < kWriters; ++w) {
    threads.emplace_back([this, w] {
      const std::string section = "S" + std::to_string(w);
      for (int i = 0; i < kPerWriter; ++i) {
        table_->AddIniData(section.c_str(), "key", std::to_string(i).c_str());
      }
    });
  }
  threads.emplace_back([this] {
    for (int i = 0; i < 200; ++i) {
      CIniInfoList records;
      table_->GetSectionData("S0", &records);
      CIniInfoData record;
      table_->GetDataByKey("key", &record);
    }
  });
  for (std::thread& thread : threads) thread.join();

  EXPECT_EQ(static_cast<DWORD>(kWriters * kPerWriter), table_->GetCount());
  for (int w = 0; w < kWriters; ++w) {
    const std::vector<std::string> values = Values(("S" + std::to_string(w)).c_str());
    ASSERT_EQ(static_cast<size_t>(kPerWriter), values.size());
    for (int i = 0; i < kPerWriter; ++i) ASSERT_EQ(std::to_string(i), values[i]) << "writer " << w;
  }
}

}  // namespace
