// What tnpack shows while it works: one line per step, and for the long
// steps the percent done, megabytes per second and the time left. On a
// terminal the line of a running step is redrawn in place; otherwise each
// step and every tenth of a long one gives a plain line.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace tnpack {

class Progress {
 public:
  // |out| receives the progress; nothing is written when |quiet|.
  Progress(std::FILE* out, bool terminal, bool quiet);
  Progress() : Progress(nullptr, false, true) {}

  // Starts a step ("compressing the product"). |total_bytes| > 0 makes it a
  // long step whose Update calls show a rate and the time left.
  void Begin(const std::string& step, int64_t total_bytes = 0);
  // |fraction| of the step's bytes are done (0..1).
  void Update(double fraction);
  // Ends the step with a short result ("ok", "2.1 s").
  void End(const std::string& result = "ok");

  bool quiet() const { return quiet_; }

  // "12.3 MB/s, 14 s left" for |done| of |total| bytes after |seconds|.
  static std::string RateAndTimeLeft(int64_t done, int64_t total, double seconds);
  // "25 s", "2 min 05 s", "1 h 02 min".
  static std::string Duration(double seconds);

 private:
  using Clock = std::chrono::steady_clock;
  void Write(const std::string& text, bool final_line);

  std::FILE* out_;
  bool terminal_;
  bool quiet_;
  bool active_ = false;
  std::string step_;
  int64_t total_bytes_ = 0;
  Clock::time_point started_;
  Clock::time_point last_draw_;
  int last_tenth_ = 0;
  double fraction_ = 0;
};

// Byte counts for people: "83,658,449 bytes (79.8 MiB)".
std::string Bytes(int64_t count);
std::string Grouped(int64_t count);

}  // namespace tnpack
