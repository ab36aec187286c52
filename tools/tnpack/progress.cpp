#include "tools/tnpack/progress.h"

#include <algorithm>
#include <cmath>

namespace tnpack {

Progress::Progress(std::FILE* out, bool terminal, bool quiet)
    : out_(out), terminal_(terminal), quiet_(quiet || out == nullptr) {}

void Progress::Begin(const std::string& step, int64_t total_bytes) {
  if (active_) End();
  active_ = true;
  step_ = step;
  total_bytes_ = total_bytes;
  started_ = Clock::now();
  last_draw_ = started_;
  last_tenth_ = 0;
  fraction_ = 0;
  // Plain lines: a short step shows up once, when it ends.
  if (terminal_) {
    Write(step_ + " ...", false);
  } else if (total_bytes_ > 0) {
    Write(step_ + " ...", true);
  }
}

void Progress::Update(double fraction) {
  if (!active_) return;
  fraction = std::min(1.0, std::max(0.0, fraction));
  if (fraction < fraction_) return;
  fraction_ = fraction;
  const Clock::time_point now = Clock::now();
  const double seconds = std::chrono::duration<double>(now - started_).count();
  const int percent = static_cast<int>(fraction * 100);
  std::string text = step_ + " " + std::to_string(percent) + "%";
  if (total_bytes_ > 0) {
    text += " (" +
            RateAndTimeLeft(static_cast<int64_t>(fraction * total_bytes_), total_bytes_, seconds) +
            ")";
  }
  if (terminal_) {
    // A few redraws a second are enough and keep a slow terminal out of the way.
    if (now - last_draw_ < std::chrono::milliseconds(200) && fraction < 1.0) return;
    last_draw_ = now;
    Write(text, false);
  } else {
    const int tenth = static_cast<int>(fraction * 10);
    if (tenth <= last_tenth_ || tenth >= 10) return;
    last_tenth_ = tenth;
    Write(text, true);
  }
}

void Progress::End(const std::string& result) {
  if (!active_) return;
  active_ = false;
  const double seconds = std::chrono::duration<double>(Clock::now() - started_).count();
  std::string text = step_ + ": " + result;
  if (seconds >= 1.0) text += " (" + Duration(seconds) + ")";
  Write(text, true);
}

void Progress::Write(const std::string& text, bool final_line) {
  if (quiet_) return;
  if (terminal_) {
    std::fprintf(out_, "\r\033[K%s%s", text.c_str(), final_line ? "\n" : "");
  } else {
    std::fprintf(out_, "%s\n", text.c_str());
  }
  std::fflush(out_);
}

std::string Progress::RateAndTimeLeft(int64_t done, int64_t total, double seconds) {
  char text[96];
  if (seconds < 0.5 || done <= 0) return "measuring";
  const double rate = done / seconds / 1e6;
  std::snprintf(text, sizeof(text), "%.1f MB/s", rate);
  std::string result = text;
  if (total > done) {
    const double left = seconds * static_cast<double>(total - done) / static_cast<double>(done);
    result += ", " + Duration(left) + " left";
  }
  return result;
}

std::string Progress::Duration(double seconds) {
  char text[48];
  if (seconds < 10) {
    std::snprintf(text, sizeof(text), "%.1f s", seconds);
  } else if (seconds < 60) {
    std::snprintf(text, sizeof(text), "%d s", static_cast<int>(std::lround(seconds)));
  } else if (seconds < 3600) {
    const long total = std::lround(seconds);
    std::snprintf(text, sizeof(text), "%ld min %02ld s", total / 60, total % 60);
  } else {
    const long minutes = std::lround(seconds / 60);
    std::snprintf(text, sizeof(text), "%ld h %02ld min", minutes / 60, minutes % 60);
  }
  return text;
}

std::string Grouped(int64_t count) {
  std::string digits = std::to_string(count < 0 ? -count : count);
  std::string grouped;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return count < 0 ? "-" + grouped : grouped;
}

std::string Counted(int64_t count, const std::string& singular, const std::string& plural) {
  return Grouped(count) + " " + (count == 1 ? singular : plural);
}

std::string Bytes(int64_t count) {
  char text[48];
  const double mib = count / 1048576.0;
  if (count < 1024) return Grouped(count) + " bytes";
  if (mib < 1) {
    std::snprintf(text, sizeof(text), " (%.1f KiB)", count / 1024.0);
  } else if (mib >= 1024) {
    std::snprintf(text, sizeof(text), " (%.1f GiB)", mib / 1024);
  } else {
    std::snprintf(text, sizeof(text), " (%.1f MiB)", mib);
  }
  return Grouped(count) + " bytes" + text;
}

}  // namespace tnpack
