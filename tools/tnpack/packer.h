// Builds a finished installer: stub + zero filler to the next 1 MiB
// boundary + payload trailer + 7z archive (see payload/trailer.h).
#pragma once

#include <cstdint>
#include <string>

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
  bool show_progress = false;
};

struct PackResult {
  std::string error;  // empty on success
  std::string marker;
  int64_t trailer_offset = 0;
  int64_t archive_offset = 0;
  int64_t search_start = 0;
  int64_t archive_size = 0;
  int64_t output_size = 0;
};

// Where everything goes for a stub of |stub_size| bytes and an archive of
// |archive_size| bytes: fills trailer_offset, archive_offset, search_start
// and output_size of |result|. False with |result->error| set when the
// search start is unusable or the installer would reach 2 GiB.
bool PlanLayout(int64_t stub_size, int64_t archive_size, SearchStartMode mode,
                int64_t explicit_search_start, PackResult* result);

// Packs according to |options|. On failure |result->error| says why and no
// output file is left behind (an existing one is not touched).
bool Pack(const PackOptions& options, PackResult* result);

// The stub's configured trailer marker, or empty with |*error| set.
std::string ReadStubMarker(const std::string& stub_image, std::string* error);

// Checks a finished installer file: the trailer search with |marker| gives
// |search_start|, a valid 7z start header lies at |archive_offset|, and no
// other one lies between the two. False with |*error| set otherwise.
bool VerifyInstaller(const std::string& path, const std::string& marker, int64_t search_start,
                     int64_t archive_offset, std::string* error);

}  // namespace tnpack
