// Whole-number extraction progress, shared by the extraction callback and
// its host tests (no Windows headers).
#pragma once

#include <cstdint>

namespace tn {

// Turns the archive library's byte counts into whole percentages and decides
// which of them are reported: every change once, 100 every time it is
// computed. Not thread-safe; the caller serialises.
class ExtractProgress {
 public:
  // The byte total of the run; a total of 0 yields no percentages.
  void SetTotal(uint64_t total) { total_ = total; }
  uint64_t total() const { return total_; }

  // Computes the percent for |completed| (single precision, truncated,
  // at most 100). Returns true and sets |*percent| when it is to be reported.
  bool Update(uint64_t completed, uint32_t* percent);

  // True when the last reported percentage was 100.
  bool last_was_100() const { return last_was_100_; }

 private:
  uint64_t total_ = 0;
  // 0 at the start: an initial 0 percent is not reported.
  uint32_t last_reported_ = 0;
  bool last_was_100_ = false;
};

}  // namespace tn
