#include "util/text_encoding.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <clocale>
#include <string>
#include <thread>

namespace {

// "Tarnis模拟器" as GBK bytes (the source is UTF-8, so spell them out).
const char kGbkName[] = "Tarnis\xC4\xA3\xC4\xE2\xC6\xF7";
const wchar_t kWideName[] = L"Tarnis\u6A21\u62DF\u5668";

TEST(TextEncodingTest, GbkConvertsWhateverTheRuntimeLocale) {
  const char* locales[] = {"C", "English_United States.1252", "Japanese_Japan.932"};
  for (const char* locale : locales) {
    if (!setlocale(LC_ALL, locale)) continue;  // not every runtime knows every locale
    const std::string before = setlocale(LC_ALL, nullptr);
    EXPECT_EQ(AnsiPathToWide(kGbkName), std::wstring(kWideName)) << "locale " << locale;
    EXPECT_EQ(before, setlocale(LC_ALL, nullptr)) << "locale changed under " << locale;
  }
  setlocale(LC_ALL, "C");
}

TEST(TextEncodingTest, AsciiEmptyAndRoundTrip) {
  EXPECT_EQ(AnsiPathToWide("C:\\Program Files\\ZEVodirodaz"), L"C:\\Program Files\\ZEVodirodaz");
  EXPECT_EQ(AnsiPathToWide(""), L"");
  EXPECT_EQ(WideToMultiByte(kInstallerCodePage, kWideName), kGbkName);
  // The test prefixes run with the Chinese ANSI code page, as the installer's users do.
  if (GetACP() == kInstallerCodePage) {
    EXPECT_EQ(SystemAnsiToWide(kGbkName), kWideName);
    EXPECT_EQ(WideToSystemAnsi(kWideName), kGbkName);
  }
  // A lone lead byte is no character; it must not swallow what follows.
  const std::wstring broken = AnsiPathToWide("a\xC4");
  ASSERT_FALSE(broken.empty());
  EXPECT_EQ(broken[0], L'a');
}

// The extraction worker converts paths while the user-interface thread
// formats text with the same runtime; the worker must leave its locale alone.
TEST(TextEncodingTest, WorkerConversionsLeaveTheRuntimeLocaleAlone) {
  ASSERT_NE(setlocale(LC_ALL, "C"), nullptr);
  std::atomic<bool> stop(false);
  std::atomic<int> wrong(0);
  std::thread worker([&] {
    while (!stop) {
      if (AnsiPathToWide(kGbkName) != kWideName) ++wrong;
    }
  });
  int changed = 0;
  for (int i = 0; i < 20000; ++i) {
    const char* now = setlocale(LC_ALL, nullptr);
    if (!now || std::string(now) != "C") ++changed;
  }
  stop = true;
  worker.join();
  EXPECT_EQ(changed, 0) << "the runtime locale changed while another thread converted";
  EXPECT_EQ(wrong, 0);
}

}  // namespace
