#include "payload/trailer.h"

#include <cstring>
#include <limits>

namespace tn {

int64_t ParseSearchStart(const char* field, size_t size) {
  size_t i = 0;
  auto at_end = [&] { return i >= size || field[i] == '\0'; };
  while (!at_end() && (field[i] == ' ' || field[i] == '\t' || field[i] == '\n' ||
                       field[i] == '\r' || field[i] == '\v' || field[i] == '\f')) {
    ++i;
  }
  bool negative = false;
  if (!at_end() && (field[i] == '+' || field[i] == '-')) {
    negative = field[i] == '-';
    ++i;
  }
  // Accumulate as a negative number so that INT64_MIN is representable.
  const int64_t kMin = std::numeric_limits<int64_t>::min();
  int64_t value = 0;
  bool saturated = false;
  for (; !at_end() && field[i] >= '0' && field[i] <= '9'; ++i) {
    const int digit = field[i] - '0';
    if (saturated) continue;
    if (value < (kMin + digit) / 10) {
      saturated = true;
      continue;
    }
    value = value * 10 - digit;
  }
  if (saturated) {
    return negative ? kMin : std::numeric_limits<int64_t>::max();
  }
  if (negative) return value;
  return value == kMin ? std::numeric_limits<int64_t>::max() : -value;
}

int64_t LocatePayload(const std::string& marker, int64_t file_size, const ReadAtFunction& read_at) {
  if (marker.empty() || file_size < 0 || file_size > kMaxInstallerSize) return 0;
  const int64_t boundaries = file_size / kTrailerAlignment;
  for (int64_t k = 1; k < boundaries; ++k) {
    const int64_t offset = k * kTrailerAlignment;
    // One byte more than the field so the comparison always meets a NUL.
    char field[kTrailerFieldSize + 1] = {};
    read_at(offset, field, kTrailerFieldSize);
    if (std::strcmp(field, marker.c_str()) != 0) continue;
    char number[kTrailerFieldSize + 1] = {};
    read_at(offset + static_cast<int64_t>(kTrailerFieldSize), number, kTrailerFieldSize);
    return ParseSearchStart(number, kTrailerFieldSize);
  }
  return 0;
}

std::string BuildTrailer(const std::string& marker, int64_t search_start) {
  if (marker.empty() || marker.size() >= kTrailerFieldSize ||
      marker.find('\0') != std::string::npos) {
    return std::string();
  }
  std::string trailer(kTrailerSize, '\0');
  marker.copy(&trailer[0], marker.size());
  const std::string number = std::to_string(search_start);
  number.copy(&trailer[kTrailerFieldSize], number.size());
  return trailer;
}

int64_t TrailerBoundaryFor(int64_t image_size) {
  if (image_size <= 0) return 1;
  return (image_size + kTrailerAlignment - 1) / kTrailerAlignment;
}

int64_t MinimumFileSizeFor(int64_t k) { return (k + 1) * kTrailerAlignment; }

}  // namespace tn
