// Text helpers that need no Windows headers (shared with the host build).
#pragma once

#include <string>
#include <vector>

// Splits |text| at every |delimiter|. Empty pieces are kept, and a text that
// ends with the delimiter gives a last empty piece; the empty text gives one
// empty piece. An empty delimiter gives the text as the only piece.
std::vector<std::string> SplitString(const std::string& text, const std::string& delimiter);
