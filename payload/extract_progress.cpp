#include "payload/extract_progress.h"

namespace tn {

bool ExtractProgress::Update(uint64_t completed, uint32_t* percent) {
  if (total_ == 0) return false;
  const float ratio = static_cast<float>(completed) / static_cast<float>(total_);
  float value = ratio * 100.0f;
  // More completed than announced must not show as 101 percent.
  if (!(value < 100.0f)) value = 100.0f;
  if (value < 0.0f) value = 0.0f;
  const uint32_t current = static_cast<uint32_t>(value);
  if (current == last_reported_) return false;
  // After a 100 the next 100 is reported again and a following 0 is not.
  last_reported_ = current == 100 ? 0 : current;
  last_was_100_ = current == 100;
  *percent = current;
  return true;
}

}  // namespace tn
