// Checks on the item paths stored in the product archive (no Windows
// headers, shared with host tests).
#pragma once

#include <string>

namespace tn {

// True when |path| stays inside the directory it is joined to: relative, no
// drive letter or stream name (":"), no leading separator, and no component
// made only of dots and blanks ("..", "...", ".. "), which Windows would
// shorten to a parent reference. Separators are "\" and "/".
bool IsSafeItemPath(const std::wstring& path);

}  // namespace tn
