// The password of the product archive's item data. tnpack encrypts with it;
// the installer's extraction callback decrypts with it. The archive header
// is not encrypted, so the archive opens without it.
#pragma once

namespace tn {

constexpr char kArchivePassword[] = "q7mzr2kx9wtb4fjn6hcvp3ydls";

}  // namespace tn
