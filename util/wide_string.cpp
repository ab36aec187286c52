#include "util/wide_string.h"

#include <windows.h>

#include <clocale>
#include <cstdlib>
#include <vector>

std::wstring AnsiPathToWide(const std::string& text) {
  const char* current = setlocale(LC_ALL, nullptr);
  const std::string saved = current ? current : "C";

  // "chs" is the runtime's short name of Chinese (Simplified); some runtimes
  // only know the long form.
  bool switched = setlocale(LC_ALL, "chs") != nullptr ||
                  setlocale(LC_ALL, "Chinese_China.936") != nullptr;

  std::wstring result;
  if (switched) {
    std::vector<wchar_t> buffer(text.size() + 1, L'\0');
    size_t converted = 0;
    // The buffer holds one wide character per byte, which always suffices.
    if (mbstowcs_s(&converted, buffer.data(), buffer.size(), text.c_str(), _TRUNCATE) == 0) {
      result.assign(buffer.data());
    }
  }
  setlocale(LC_ALL, saved.c_str());

  if (!switched) {
    // No such runtime locale: the platform's converter gives the same result.
    int length = MultiByteToWideChar(936, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length > 0) {
      result.resize(static_cast<size_t>(length));
      MultiByteToWideChar(936, 0, text.data(), static_cast<int>(text.size()), &result[0], length);
    }
  }
  return result;
}
