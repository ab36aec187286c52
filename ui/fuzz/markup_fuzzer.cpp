// libFuzzer target: the layout markup reader must survive any bytes.
#include <cstddef>
#include <cstdint>

#include "ui/markup.h"

namespace {

size_t CountNodes(const DuiLib::MarkupNode& node) {
  size_t count = 1;
  for (const auto& child : node.children) count += CountNodes(*child);
  for (const auto& attribute : node.attributes)
    count += attribute.first.size() + attribute.second.size() > 0;
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DuiLib::CMarkup markup;
  if (markup.Load(reinterpret_cast<const char*>(data), size)) {
    // Walk the whole tree so every stored string is touched.
    volatile size_t nodes = CountNodes(*markup.Root());
    (void)nodes;
  }
  return 0;
}
