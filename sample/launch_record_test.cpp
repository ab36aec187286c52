#include "sample/launch_record.h"

#include <gtest/gtest.h>

namespace sample {
namespace {

TEST(LaunchRecordTest, ValuesSurviveTheLineFormat) {
  // Command lines and paths may hold tabs, line breaks, percent signs and
  // GBK text; none of them may split or corrupt a record.
  const RecordFields fields = {
      {"command_line", "\"C:\\Program Files\\a b\\x.exe\" 1\t2\r\n3 100%25 %"},
      {"directory", "D:\\软件\\Tarnis模拟器"},
      {"empty", ""},
      {"tail", "%4"},
  };
  const std::string line = FormatRecordLine(fields);
  EXPECT_EQ(std::string::npos, line.find_first_of("\r\n"));
  EXPECT_EQ(fields, ParseRecordLine(line + "\r\n"));
}

}  // namespace
}  // namespace sample
