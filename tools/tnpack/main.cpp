// tnpack: turns a product folder or a ready 7z archive into a finished
// Tarnis installer behind a given installer stub.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/tnpack/packer.h"

namespace {

const char kUsage[] =
    "usage: tnpack --stub STUB.exe (--product DIR | --archive FILE.7z) --out SETUP.exe\n"
    "              [--search-start image-end|archive|N] [--marker TEXT]\n";

int UsageError(const std::string& message) {
  std::fprintf(stderr, "tnpack: %s\n%s", message.c_str(), kUsage);
  return 2;
}

bool ParseOffset(const std::string& text, int64_t* value) {
  if (text.empty() || text.size() > 18) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  *value = std::strtoll(text.c_str(), nullptr, 10);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  tnpack::PackOptions options;
  options.show_progress = isatty(STDOUT_FILENO) != 0;
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--help" || name == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (i + 1 >= argc) return UsageError("missing value for " + name);
    const std::string value = argv[++i];
    if (name == "--stub") {
      options.stub_path = value;
    } else if (name == "--product") {
      options.product_dir = value;
    } else if (name == "--archive") {
      options.archive_path = value;
    } else if (name == "--out") {
      options.output_path = value;
    } else if (name == "--marker") {
      options.marker = value;
    } else if (name == "--search-start") {
      if (value == "image-end") {
        options.search_start_mode = tnpack::SearchStartMode::kImageEnd;
      } else if (value == "archive") {
        options.search_start_mode = tnpack::SearchStartMode::kArchive;
      } else if (ParseOffset(value, &options.explicit_search_start)) {
        options.search_start_mode = tnpack::SearchStartMode::kExplicit;
      } else {
        return UsageError("--search-start takes image-end, archive or a file offset, not " + value);
      }
    } else {
      return UsageError("unknown option " + name);
    }
  }
  if (options.stub_path.empty() || options.output_path.empty()) {
    return UsageError("--stub and --out are required");
  }
  if (options.product_dir.empty() == options.archive_path.empty()) {
    return UsageError("give exactly one of --product and --archive");
  }

  tnpack::PackResult result;
  if (!tnpack::Pack(options, &result)) {
    std::fprintf(stderr, "tnpack: error: %s\n", result.error.c_str());
    return 1;
  }
  std::printf(
      "tnpack: wrote %s (%lld bytes): trailer \"%s\" at %lld, search start %lld, "
      "archive of %lld bytes at %lld\n",
      options.output_path.c_str(), static_cast<long long>(result.output_size), result.marker.c_str(),
      static_cast<long long>(result.trailer_offset), static_cast<long long>(result.search_start),
      static_cast<long long>(result.archive_size), static_cast<long long>(result.archive_offset));
  return 0;
}
