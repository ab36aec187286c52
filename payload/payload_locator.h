// Finds the payload trailer in the installer's own file.
#pragma once

#include <cstdint>
#include <string>

namespace tn {

// The trailer marker from the configuration table: the value of the first
// "flag" record of section "OFFSET_FLAG", or empty.
std::string ReadPayloadMarker();

// Searches |path| (GBK) for the trailer with |marker| and gives its search
// start; 0 when there is none, the marker is empty, or the file cannot be
// opened or is 4 GiB or larger.
int64_t FindPayloadOffsetInFile(const std::string& path, const std::string& marker);

}  // namespace tn

// The search start of the running installer's payload (0: none found), with
// the marker from the configuration table.
void FindPayloadOffset(int64_t* offset);
