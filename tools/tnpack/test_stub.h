// Synthetic installer stubs for the tnpack tests: a minimal PE32 image with
// an optional "INI" 131 resource.
#pragma once

#include <string>

namespace tnpack_test {

// A PE32 image of at least |size| bytes whose resource section holds
// |config| as "INI" 131 (language 2052); without resources when |config| is
// empty.
std::string MakeStubImage(const std::string& config, size_t size = 4096);

}  // namespace tnpack_test
