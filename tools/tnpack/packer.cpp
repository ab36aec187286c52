#include "tools/tnpack/packer.h"

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "payload/archive_password.h"
#include "payload/trailer.h"
#include "tools/tnpack/ini_text.h"
#include "tools/tnpack/pe_resources.h"
#include "tools/tnpack/sevenzip_header.h"

namespace fs = std::filesystem;

namespace tnpack {
namespace {

constexpr uint32_t kConfigResourceId = 131;

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  bytes->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return !file.bad();
}

bool HasRegularFile(const fs::path& directory) {
  std::error_code error;
  for (fs::recursive_directory_iterator it(directory, error), end; !error && it != end;
       it.increment(error)) {
    if (it->is_regular_file(error)) return true;
  }
  return false;
}

// Runs |arguments| (no shell) and returns its exit status, or -1.
int RunProgram(const std::vector<std::string>& arguments, const std::string& directory) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  std::fflush(stdout);
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    if (!directory.empty() && chdir(directory.c_str()) != 0) _exit(127);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A directory that is removed with its content when the scope ends.
class TempDirectory {
 public:
  explicit TempDirectory(const fs::path& parent) {
    std::string pattern = (parent / ".tnpack-XXXXXX").string();
    if (mkdtemp(&pattern[0])) path_ = pattern;
  }
  ~TempDirectory() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

bool CreateArchive(const PackOptions& options, const fs::path& archive, std::string* error) {
  const fs::path product = fs::absolute(options.product_dir);
  std::error_code status;
  if (!fs::is_directory(product, status)) {
    *error = "product folder " + options.product_dir + " does not exist";
    return false;
  }
  if (!HasRegularFile(product)) {
    *error = "product folder " + options.product_dir + " holds no files";
    return false;
  }
  // The library decodes LZMA2 blocks of four times the dictionary on several
  // threads, each holding a block's input and output: 8 MiB blocks keep two
  // threads within about 35 MB. The header is compressed but stays readable
  // without the password.
  const std::vector<std::string> arguments = {
      options.sevenzip_program, "a", "-t7z", "-m0=lzma2:d=2m:c=8m", "-mmt=2", "-ms=on",
      "-mhe=off", std::string("-p") + tn::kArchivePassword, "-y", "-bso0",
      options.show_progress ? "-bsp1" : "-bsp0", "--", archive.string(), "*"};
  const int exit_code = RunProgram(arguments, product.string());
  if (exit_code != 0) {
    *error = exit_code == 127 || exit_code < 0
                 ? "cannot run " + options.sevenzip_program + " (Debian package 7zip)"
                 : options.sevenzip_program + " failed with exit code " + std::to_string(exit_code);
    return false;
  }
  return true;
}

bool CopyInto(std::ofstream* out, const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::vector<char> buffer(1 << 20);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    if (in.gcount() > 0) out->write(buffer.data(), in.gcount());
  }
  return !in.bad() && static_cast<bool>(*out);
}

void WriteZeros(std::ofstream* out, int64_t count) {
  static const std::vector<char> zeros(1 << 16, '\0');
  while (count > 0) {
    const int64_t chunk = std::min<int64_t>(count, static_cast<int64_t>(zeros.size()));
    out->write(zeros.data(), chunk);
    count -= chunk;
  }
}

}  // namespace

std::string ReadStubMarker(const std::string& stub_image, std::string* error) {
  std::string config;
  if (!FindNamedTypeResource(stub_image, "INI", kConfigResourceId, &config, error)) return std::string();
  std::string marker;
  if (!FindIniValue(config, "OFFSET_FLAG", "flag", &marker) || marker.empty()) {
    *error = "the stub's configuration has no OFFSET_FLAG flag";
    return std::string();
  }
  return marker;
}

bool VerifyInstaller(const std::string& path, const std::string& marker, int64_t search_start,
                     int64_t archive_offset, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *error = "cannot read back " + path;
    return false;
  }
  file.seekg(0, std::ios::end);
  const int64_t size = static_cast<int64_t>(file.tellg());
  auto read_at = [&file](int64_t offset, void* buffer, size_t count) -> size_t {
    file.clear();
    file.seekg(offset);
    file.read(static_cast<char*>(buffer), static_cast<std::streamsize>(count));
    return static_cast<size_t>(file.gcount());
  };
  const int64_t found = tn::LocatePayload(marker, size, read_at);
  if (found != search_start) {
    *error = "the trailer search finds " + std::to_string(found) + " instead of " +
             std::to_string(search_start);
    return false;
  }
  if (search_start <= 0 || search_start > archive_offset ||
      archive_offset - search_start > static_cast<int64_t>(tn::kMaxStartSearch)) {
    *error = "the search start is not within 8 MiB before the archive";
    return false;
  }
  std::string region(static_cast<size_t>(archive_offset - search_start) + 32, '\0');
  region.resize(read_at(search_start, &region[0], region.size()));
  for (size_t at = 0; at + 32 <= region.size(); ++at) {
    if (region[at] != '7' || !IsValidStartHeader(region.substr(at, 32))) continue;
    if (static_cast<int64_t>(at) == archive_offset - search_start) return true;
    *error = "another 7z start header lies at " + std::to_string(search_start + at) +
             ", before the archive";
    return false;
  }
  *error = "no 7z start header at the archive offset";
  return false;
}

bool PlanLayout(int64_t stub_size, int64_t archive_size, SearchStartMode mode,
                int64_t explicit_search_start, PackResult* result) {
  const int64_t k = tn::TrailerBoundaryFor(stub_size);
  result->trailer_offset = k * tn::kTrailerAlignment;
  result->archive_offset = result->trailer_offset + static_cast<int64_t>(tn::kTrailerSize);
  switch (mode) {
    case SearchStartMode::kImageEnd:
      result->search_start = stub_size + static_cast<int64_t>(tn::kTrailerSize);
      break;
    case SearchStartMode::kArchive:
      result->search_start = result->archive_offset;
      break;
    case SearchStartMode::kExplicit:
      result->search_start = explicit_search_start;
      if (explicit_search_start <= 0 || explicit_search_start > result->archive_offset ||
          result->archive_offset - explicit_search_start > static_cast<int64_t>(tn::kMaxStartSearch)) {
        result->error = "--search-start " + std::to_string(explicit_search_start) +
                        " must lie in (0, " + std::to_string(result->archive_offset) +
                        "] and at most 8 MiB before the archive";
        return false;
      }
      break;
  }
  // Padding after a small archive keeps the trailer's boundary from being
  // the file's last whole-MiB boundary, which the search never examines.
  result->output_size = std::max(result->archive_offset + archive_size, tn::MinimumFileSizeFor(k));
  if (result->output_size > tn::kMaxInstallerSize) {
    result->error = "the installer would be " + std::to_string(result->output_size) +
                    " bytes; it must stay below 2 GiB";
    return false;
  }
  return true;
}

bool Pack(const PackOptions& options, PackResult* result) {
  std::string& error = result->error;
  std::error_code size_error;
  const uintmax_t stub_file_size = fs::file_size(options.stub_path, size_error);
  if (!size_error && stub_file_size > static_cast<uintmax_t>(tn::kMaxInstallerSize)) {
    error = "stub " + options.stub_path + " is 2 GiB or larger; the installer must stay below 2 GiB";
    return false;
  }
  std::string stub;
  if (!ReadWholeFile(options.stub_path, &stub)) {
    error = "cannot read stub " + options.stub_path;
    return false;
  }
  if (!IsPortableExecutable(stub)) {
    error = "stub " + options.stub_path + " is not a Windows executable";
    return false;
  }

  std::string stub_error;
  const std::string stub_marker = ReadStubMarker(stub, &stub_error);
  if (!options.marker.empty() && !stub_marker.empty() && options.marker != stub_marker) {
    error = "--marker " + options.marker + " differs from the stub's configured marker " + stub_marker;
    return false;
  }
  result->marker = options.marker.empty() ? stub_marker : options.marker;
  if (result->marker.empty()) {
    error = stub_error + "; pass --marker";
    return false;
  }
  if (tn::BuildTrailer(result->marker, 0).empty()) {
    error = "the marker must be 1 to 49 bytes without NUL";
    return false;
  }

  const fs::path output = fs::absolute(options.output_path);
  TempDirectory work(output.parent_path());
  if (work.path().empty()) {
    error = "cannot create a work folder next to " + options.output_path;
    return false;
  }
  std::string archive_path = options.archive_path;
  if (!options.product_dir.empty()) {
    archive_path = (work.path() / "payload.7z").string();
    if (!CreateArchive(options, archive_path, &error)) return false;
  }
  SevenZipInfo info;
  if (!InspectSevenZip(archive_path, 0, &info, &error)) {
    error = "archive " + archive_path + ": " + error;
    return false;
  }
  if (info.header_encrypted) {
    error = "archive " + archive_path +
            " has an encrypted header; the installer opens it without a password (use -mhe=off)";
    return false;
  }
  result->archive_size = static_cast<int64_t>(fs::file_size(archive_path, size_error));

  const int64_t stub_size = static_cast<int64_t>(stub.size());
  if (!PlanLayout(stub_size, result->archive_size, options.search_start_mode,
                  options.explicit_search_start, result)) {
    return false;
  }
  const int64_t content_end = result->archive_offset + result->archive_size;

  const fs::path temporary = work.path() / "installer.tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(stub.data(), static_cast<std::streamsize>(stub.size()));
    WriteZeros(&out, result->trailer_offset - stub_size);
    const std::string trailer = tn::BuildTrailer(result->marker, result->search_start);
    out.write(trailer.data(), static_cast<std::streamsize>(trailer.size()));
    if (!CopyInto(&out, archive_path)) {
      error = "cannot copy the archive into " + temporary.string();
      return false;
    }
    WriteZeros(&out, result->output_size - content_end);
    out.close();
    if (!out) {
      error = "cannot write " + temporary.string();
      return false;
    }
  }
  if (!VerifyInstaller(temporary.string(), result->marker, result->search_start,
                       result->archive_offset, &error)) {
    error = "self-check failed: " + error;
    return false;
  }
  fs::permissions(temporary, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                  fs::perm_options::add, size_error);
  fs::rename(temporary, output, size_error);
  if (size_error) {
    error = "cannot move the installer to " + options.output_path + ": " + size_error.message();
    return false;
  }
  return true;
}

}  // namespace tnpack
