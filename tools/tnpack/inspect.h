// tnpack --inspect: what a finished installer holds, checked the way the
// installer itself finds it, without running it.
#pragma once

#include <cstdio>
#include <string>

#include "tools/tnpack/signing.h"

namespace tnpack {

struct InspectOptions {
  std::string path;
  std::string marker;  // empty: the stub's configured one
  SigningOptions signing;  // programs and --sign-ca
  std::string sevenzip_program = "7zz";
};

// Prints the stub's identity, the marker, the offsets, the archive's size
// and items (tested with the installer's password) and the signature to
// |out|, and a verdict. Returns 0 for an intact installer, 1 for a file that
// is no installer or is damaged (problems are named on |out| too).
int Inspect(const InspectOptions& options, std::FILE* out);

}  // namespace tnpack
