// Inspection of a 7z archive's start header and header kind, enough to tell
// whether the installer's archive library can open it without a password.
#pragma once

#include <cstdint>
#include <string>

namespace tnpack {

uint32_t Crc32(const void* data, size_t size);

// True when the 32 bytes at |start_header| are a 7z start header whose
// checksum holds.
bool IsValidStartHeader(const std::string& start_header);

// The offset in |bytes| of the first valid 7z start header that lies whole
// inside it, as the installer's archive library searches, or
// std::string::npos when there is none.
size_t FindStartHeader(const std::string& bytes);

struct SevenZipInfo {
  uint64_t archive_size = 0;      // start header + packed data + next header
  bool header_encrypted = false;  // the header is packed with the AES coder
};

// Reads the 7z archive that starts at |offset| of |path|. False, with
// |*error| set, when there is no valid start header there, the header lies
// outside the file or fails its checksum, or it cannot be parsed.
bool InspectSevenZip(const std::string& path, uint64_t offset, SevenZipInfo* info,
                     std::string* error);

}  // namespace tnpack
