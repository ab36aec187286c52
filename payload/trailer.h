// The payload trailer: how the product archive is found behind the
// installer's executable image. Shared by the installer and tnpack, so this
// header needs no Windows headers.
//
// Installer file layout:
//
//   0                 +--------------------------------------+
//                     | executable image (PE, resources)     |
//   image end         +--------------------------------------+
//                     | filler, no meaning (zeros by tnpack) |
//   k * 1 MiB         +--------------------------------------+  k >= 1, and k is
//                     | marker      50 bytes, NUL padded     |  never the file's
//   k * 1 MiB + 50    | search start 50 bytes, ASCII decimal |  last whole-MiB
//                     |             NUL padded               |  boundary
//   k * 1 MiB + 100   +--------------------------------------+
//                     | 7z archive: "7z" BC AF 27 1C ...     |
//                     | (item data AES-256, header plain)    |
//                     +--------------------------------------+
//                     | optional padding / signature table   |
//   file size < 4 GiB +--------------------------------------+
//
// The search start is an absolute file offset at or before the archive
// signature and at most kMaxStartSearch bytes before it; the archive library
// searches forward from there. The marker field must hold a NUL.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace tn {

constexpr int64_t kTrailerAlignment = 1 << 20;  // 1 MiB
constexpr size_t kTrailerFieldSize = 50;
constexpr size_t kTrailerSize = 2 * kTrailerFieldSize;
constexpr uint64_t kMaxStartSearch = 1 << 23;  // 8 MiB
// The largest installer: Windows runs no executable file of 4 GiB or more,
// and a signature's certificate table is placed by a 32-bit file offset.
// The installer measures its file with 64 bits.
constexpr int64_t kMaxInstallerSize = (int64_t{1} << 32) - 1;
constexpr unsigned char kSevenZipSignature[6] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};

// Reads up to |size| bytes at |offset| into |buffer|; returns the count read
// (0 at or past the end, or on error).
using ReadAtFunction = std::function<size_t(int64_t offset, void* buffer, size_t size)>;

// Converts a search-start field like strtoll: leading white space, optional
// sign, digits up to the first non-digit; no digits give 0; values beyond the
// 64-bit range saturate. Reads at most |size| bytes and stops at a NUL.
int64_t ParseSearchStart(const char* field, size_t size);

// Searches the boundaries k = 1 .. floor(file_size / 1 MiB) - 1 for a marker
// field equal to |marker| (as NUL-terminated texts, case-sensitive) and
// returns the search start of the first match. 0 when nothing matches, when
// the marker is empty (an empty marker would match any zeroed boundary), or
// when |file_size| is negative or above kMaxInstallerSize.
int64_t LocatePayload(const std::string& marker, int64_t file_size, const ReadAtFunction& read_at);

// The 100-byte trailer record. Returns an empty string when |marker| is
// empty, has a NUL, or is longer than 49 bytes.
std::string BuildTrailer(const std::string& marker, int64_t search_start);

// The boundary index the trailer goes to behind an image of |image_size|
// bytes: the first whole MiB at or after the end of the image, at least 1.
int64_t TrailerBoundaryFor(int64_t image_size);

// The smallest file size for which boundary |k| is examined by the search
// (k must not be the file's last whole-MiB boundary).
int64_t MinimumFileSizeFor(int64_t k);

}  // namespace tn
