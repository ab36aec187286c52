// Builds a finished installer: stub + zero filler to the next 1 MiB
// boundary + payload trailer + 7z archive (see payload/trailer.h), then,
// when asked, an Authenticode signature behind all of it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/tnpack/product_check.h"
#include "tools/tnpack/progress.h"
#include "tools/tnpack/signing.h"

namespace tnpack {

enum class SearchStartMode {
  kImageEnd,  // end of the stub image + 100, inside the filler
  kArchive,   // the archive signature itself
  kExplicit,  // a given absolute offset
};

struct PackOptions {
  std::string stub_path;
  std::string product_dir;   // packed with 7-Zip when set
  std::string archive_path;  // a ready 7z archive otherwise
  std::string output_path;
  SearchStartMode search_start_mode = SearchStartMode::kImageEnd;
  int64_t explicit_search_start = 0;
  std::string marker;  // empty: OFFSET_FLAG/flag of the stub's "INI" 131
  std::string sevenzip_program = "7zz";
  bool follow_links = false;  // links inside the product are packed as what they point to
  bool sign = false;          // signing.pkcs12 and signing.password_file are then set
  SigningOptions signing;
};

struct PackResult {
  std::string error;  // empty on success
  std::vector<std::string> warnings;
  std::string marker;
  int64_t trailer_offset = 0;
  int64_t archive_offset = 0;
  int64_t search_start = 0;
  int64_t archive_size = 0;
  int64_t output_size = 0;
  // What went in: files and folders of the product (or the archive's
  // items) and the bytes of its files.
  ItemCounts input;
  std::string stub_identity;  // "Tarnis模拟器 0.2.0.1726 (塔尼斯科技有限公司)" or empty
  std::string stub_sha256;    // of the stub's image (see stub_digest.h)
  bool signed_installer = false;
  SignatureCheck signature;
  Certificate signer;
  int64_t certificate_offset = 0;
  int64_t certificate_size = 0;
};

// Room kept below the size limit for the certificate table of a signed
// installer, until its real size is known.
constexpr int64_t kSignatureReserve = 256 * 1024;
// From this size on an installer is packed with a warning.
constexpr int64_t kLargeInstallerSize = int64_t{1} << 31;

// Where everything goes for a stub of |stub_size| bytes and an archive of
// |archive_size| bytes: fills trailer_offset, archive_offset, search_start
// and output_size of |result|. False with |result->error| set when the
// search start is unusable or the installer, with kSignatureReserve on top
// when |signing|, would reach 4 GiB (tn::kMaxInstallerSize).
bool PlanLayout(int64_t stub_size, int64_t archive_size, SearchStartMode mode,
                int64_t explicit_search_start, bool signing, PackResult* result);

// The warning for an installer of |size| bytes: empty below
// kLargeInstallerSize.
std::string LargeInstallerWarning(int64_t size);

// Packs according to |options|, showing its steps on |progress|. On failure
// (and when interrupted) |result->error| says why, no output file is left
// behind (an existing one is not touched) and the work folder is gone.
bool Pack(const PackOptions& options, Progress* progress, PackResult* result);
inline bool Pack(const PackOptions& options, PackResult* result) {
  Progress quiet;
  return Pack(options, &quiet, result);
}

// The installer configuration that |image| carries (the "INI" 131 resource,
// GBK text) in |*config|. False with |*error| set when it has none.
bool ReadStubConfiguration(const std::string& image, std::string* config, std::string* error);

// The stub's configured trailer marker, or empty with |*error| set.
std::string ReadStubMarker(const std::string& stub_image, std::string* error);

// "ProductName ProductVersion (CompanyName)" from the image's version
// information, or empty when it has none.
std::string DescribeImage(const std::string& image);

// Checks a finished installer file: the trailer search with |marker| gives
// |search_start|, a valid 7z start header lies at |archive_offset|, and no
// other one lies between the two. False with |*error| set otherwise.
bool VerifyInstaller(const std::string& path, const std::string& marker, int64_t search_start,
                     int64_t archive_offset, std::string* error);

}  // namespace tnpack
