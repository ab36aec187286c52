#include "util/wide_string.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

// "Tarnis模拟器" as GBK bytes (the source is UTF-8, so spell them out).
const char kGbkName[] = "Tarnis\xC4\xA3\xC4\xE2\xC6\xF7";
const wchar_t kWideName[] = L"Tarnis\u6A21\u62DF\u5668";

TEST(AnsiPathToWideTest, ConvertsGbkWhateverTheLocale) {
  const char* locales[] = {"C", "English_United States.1252", "Japanese_Japan.932"};
  for (const char* locale : locales) {
    const char* set = setlocale(LC_ALL, locale);
    if (!set) continue;  // not every runtime knows every locale
    const std::string before = setlocale(LC_ALL, nullptr);
    EXPECT_EQ(AnsiPathToWide(kGbkName), std::wstring(kWideName)) << "locale " << locale;
    EXPECT_EQ(before, setlocale(LC_ALL, nullptr)) << "locale not restored after " << locale;
  }
  setlocale(LC_ALL, "C");
}

TEST(AnsiPathToWideTest, AsciiAndEmpty) {
  EXPECT_EQ(AnsiPathToWide("C:\\Program Files\\ZEVodirodaz"), L"C:\\Program Files\\ZEVodirodaz");
  EXPECT_EQ(AnsiPathToWide(""), L"");
}

}  // namespace
