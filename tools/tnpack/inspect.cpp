#include "tools/tnpack/inspect.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "payload/archive_password.h"
#include "payload/trailer.h"
#include "tools/tnpack/ini_text.h"
#include "tools/tnpack/packer.h"
#include "tools/tnpack/pe_resources.h"
#include "tools/tnpack/process.h"
#include "tools/tnpack/product_check.h"
#include "tools/tnpack/progress.h"
#include "tools/tnpack/sevenzip_header.h"
#include "tools/tnpack/stub_digest.h"
#include "tools/tnpack/work_folder.h"

namespace fs = std::filesystem;

namespace tnpack {
namespace {

class Report {
 public:
  explicit Report(std::FILE* out) : out_(out) {}
  void Fact(const std::string& name, const std::string& value) {
    std::fprintf(out_, "  %-17s %s\n", (name + ":").c_str(), value.c_str());
  }
  // A further line of the fact before it.
  void More(const std::string& value) { std::fprintf(out_, "  %-17s %s\n", "", value.c_str()); }
  // Records a problem that makes the file unusable as an installer.
  int Damaged(const std::string& problem) {
    problems_.push_back(problem);
    return Verdict();
  }
  void Problem(const std::string& problem) { problems_.push_back(problem); }
  void Warning(const std::string& warning) { std::fprintf(out_, "warning: %s\n", warning.c_str()); }
  int Verdict() {
    if (problems_.empty()) {
      std::fprintf(out_, "verdict: an intact installer\n");
      return 0;
    }
    for (const std::string& problem : problems_)
      std::fprintf(out_, "verdict: DAMAGED: %s\n", problem.c_str());
    return 1;
  }

 private:
  std::FILE* out_;
  std::vector<std::string> problems_;
};

class File {
 public:
  explicit File(const std::string& path) : in_(path, std::ios::binary) {
    in_.seekg(0, std::ios::end);
    size_ = in_ ? static_cast<int64_t>(in_.tellg()) : -1;
  }
  int64_t size() const { return size_; }
  size_t ReadAt(int64_t offset, void* buffer, size_t count) {
    in_.clear();
    in_.seekg(offset);
    in_.read(static_cast<char*>(buffer), static_cast<std::streamsize>(count));
    return static_cast<size_t>(in_.gcount());
  }
  std::string Read(int64_t offset, size_t count) {
    std::string bytes(count, '\0');
    bytes.resize(ReadAt(offset, &bytes[0], count));
    return bytes;
  }
  bool CopyTo(int64_t offset, int64_t count, const fs::path& target) {
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    std::vector<char> buffer(1 << 20);
    while (count > 0 && !Interrupted()) {
      const size_t got = ReadAt(offset, buffer.data(),
                                static_cast<size_t>(std::min<int64_t>(count, buffer.size())));
      if (got == 0) return false;
      out.write(buffer.data(), static_cast<std::streamsize>(got));
      offset += static_cast<int64_t>(got);
      count -= static_cast<int64_t>(got);
    }
    return static_cast<bool>(out) && count == 0;
  }

 private:
  std::ifstream in_;
  int64_t size_;
};

// Is the executable in |image| signed? "signed", "not signed" or empty
// when it is no executable.
std::string LibrarySignature(const std::string& image) {
  std::string library, error;
  if (!FindNamedTypeResource(image, "EXEDLL", 130, &library, &error)) return std::string();
  PeHeaders headers;
  if (!ReadPeHeaders(library, &headers, &error)) return std::string();
  return headers.certificate_size != 0 ? "signed" : "not signed";
}

}  // namespace

int Inspect(const InspectOptions& options, std::FILE* out) {
  Report report(out);
  struct stat info;
  if (stat(options.path.c_str(), &info) != 0) {
    std::fprintf(out, "tnpack: %s: %s\n", options.path.c_str(), std::strerror(errno));
    return report.Damaged("cannot read " + options.path);
  }
  if (!S_ISREG(info.st_mode)) {
    std::fprintf(out, "tnpack: %s\n", options.path.c_str());
    return report.Damaged(options.path + " is not a regular file");
  }
  File file(options.path);
  const int64_t size = file.size();
  std::fprintf(out, "tnpack: %s, %s\n", options.path.c_str(), Bytes(size).c_str());
  if (size > tn::kMaxInstallerSize) {
    return report.Damaged("no installer Windows can run: it is 4 GiB or larger");
  }
  const std::string large = LargeInstallerWarning(size);
  if (!large.empty()) report.Warning(large);

  std::string error;
  PeHeaders headers;
  if (!ReadPeHeaders(file.Read(0, 64 * 1024), &headers, &error)) {
    return report.Damaged("no installer: not a Windows executable (" + error + ")");
  }
  if (static_cast<int64_t>(headers.image_end) > size) {
    return report.Damaged("cut short: the executable image reaches to byte " +
                          std::to_string(headers.image_end) + " but the file has " +
                          std::to_string(size) + " bytes");
  }
  const std::string image = file.Read(0, static_cast<size_t>(headers.image_end));
  VersionInfo version;
  if (ReadVersionInfo(image, &version, &error)) {
    report.Fact("stub", DescribeImage(image));
    report.Fact("file version", VersionText(version.file_version));
  } else {
    report.Fact("stub", "no version information");
  }
  report.Fact("stub image", Bytes(static_cast<int64_t>(headers.image_end)) +
                                " from offset 0: headers and sections");
  std::string unsigned_image;
  if (UnsignedStubImage(image, headers, &unsigned_image, &error)) {
    report.Fact("stub SHA-256", Sha256Hex(unsigned_image));
    if (headers.certificate_size == 0) {
      report.More("of the image as the file holds it, as tnpack copied it from the stub");
    } else {
      report.More("of the image, with the checksum and certificate table entry that");
      report.More("signing rewrote put back as the unsigned stub has them");
    }
    report.More("(compare with sha256sum of the unsigned stub)");
  } else {
    report.Fact("stub SHA-256", "cannot be computed: " + error);
  }
  const std::string library = LibrarySignature(image);
  if (!library.empty()) report.Fact("archive library", library);

  std::string marker = options.marker;
  if (marker.empty()) {
    marker = ReadStubMarker(image, &error);
    if (marker.empty()) return report.Damaged("no installer: " + error + " (pass --marker)");
  }
  report.Fact("marker", "\"" + marker + "\"");
  auto read_at = [&file](int64_t offset, void* buffer, size_t count) {
    return file.ReadAt(offset, buffer, count);
  };
  const int64_t search_start = tn::LocatePayload(marker, size, read_at);
  if (search_start == 0) {
    return report.Damaged("no payload trailer with marker \"" + marker +
                          "\" at a whole-MiB boundary");
  }
  // The boundary the search stopped at, to show where the trailer lies.
  int64_t trailer = 0;
  for (int64_t k = 1; k < size / tn::kTrailerAlignment && trailer == 0; ++k) {
    const std::string field = file.Read(k * tn::kTrailerAlignment, tn::kTrailerFieldSize);
    if (field.compare(0, field.find('\0'), marker) == 0 && field.find('\0') == marker.size()) {
      trailer = k * tn::kTrailerAlignment;
    }
  }
  report.Fact("trailer", "at " + std::to_string(trailer));
  // tnpack fills the room between the stub and the trailer with zeros;
  // anything else there came with the stub, and the SHA-256 leaves it out.
  const int64_t gap = trailer - static_cast<int64_t>(headers.image_end);
  if (gap > 0 && gap <= 64 * tn::kTrailerAlignment) {
    const std::string filler = file.Read(static_cast<int64_t>(headers.image_end),
                                         static_cast<size_t>(gap));
    const size_t data = filler.find_last_not_of('\0');
    if (data != std::string::npos) {
      report.Warning("the stub carried " + Bytes(static_cast<int64_t>(data) + 1) +
                     " behind its sections, which the stub SHA-256 leaves out");
    }
  }
  report.Fact("search start", std::to_string(search_start));
  if (search_start < 0 || search_start >= size) {
    return report.Damaged("the search start " + std::to_string(search_start) +
                          " lies outside the file");
  }

  // The archive library searches forward from the search start.
  const std::string region = file.Read(search_start, static_cast<size_t>(tn::kMaxStartSearch) + 32);
  int64_t archive = -1;
  for (size_t at = 0; at + 32 <= region.size(); ++at) {
    if (region[at] == '7' && IsValidStartHeader(region.substr(at, 32))) {
      archive = search_start + static_cast<int64_t>(at);
      break;
    }
  }
  if (archive < 0) return report.Damaged("no 7z archive within 8 MiB of the search start");
  SevenZipInfo archive_info;
  if (!InspectSevenZip(options.path, static_cast<uint64_t>(archive), &archive_info, &error)) {
    report.Fact("archive", "at " + std::to_string(archive));
    return report.Damaged("the archive is damaged or cut short: " + error);
  }
  const int64_t archive_size = static_cast<int64_t>(archive_info.archive_size);
  report.Fact("archive", "at " + std::to_string(archive) + ", " + Bytes(archive_size) +
                             ", ends at " + std::to_string(archive + archive_size));
  if (trailer != 0 && archive != trailer + static_cast<int64_t>(tn::kTrailerSize)) {
    report.Problem("the archive the installer opens does not follow the trailer");
  }
  if (archive_info.header_encrypted) report.Problem("the archive's header is encrypted");

  // Items and a test with the installer's password, on a copy of the archive.
  std::error_code status;
  WorkFolder work(fs::temp_directory_path(status));
  const fs::path copy = work.path() / "payload.7z";
  if (work.path().empty() || !file.CopyTo(archive, archive_size, copy)) {
    if (Interrupted()) return 1;
    return report.Damaged("cannot copy the archive out for testing");
  }
  const ProgramRun listing =
      RunProgram({options.sevenzip_program, "l", "-slt", "-ba", "--", copy.string()});
  std::vector<ProductItem> items;
  std::string unencrypted;
  if (!listing.started) {
    report.Problem("cannot run " + options.sevenzip_program + " (Debian package 7zip)");
  } else if (listing.exit_code == 0 && ParseSevenZipListing(listing.output, &items, &unencrypted)) {
    const ItemCounts counts = CountItems(items);
    const ProgramRun test =
        RunProgram({options.sevenzip_program, "t", std::string("-p") + tn::kArchivePassword,
                    "-bso0", "-bsp0", "--", copy.string()});
    if (Interrupted()) return 1;
    const bool clean = test.exit_code == 0;
    report.Fact("items", Counted(counts.files, "file", "files") + " and " +
                             Counted(counts.folders, "folder", "folders") + ", " +
                             Bytes(counts.bytes) + "; " +
                             (clean ? "tests clean with the installer's password"
                                    : "FAILS the test with the installer's password"));
    if (!clean) report.Problem("the archive does not test clean: " + OutputTail(test.output, 2));
    if (!unencrypted.empty())
      report.Problem("\"" + unencrypted + "\" in the archive is not encrypted");
    std::string config;
    if (FindNamedTypeResource(image, "INI", 131, &config, &error)) {
      const std::vector<std::string> missing = MissingPrograms(items, ConfiguredPrograms(config));
      for (const std::string& name : missing) {
        report.Warning("the product lacks " + name + ", which the installer's configuration names");
      }
    }
  } else {
    report.Problem("7-Zip cannot list the archive: " + OutputTail(listing.output, 2));
  }

  if (headers.certificate_size == 0) {
    report.Fact("signature", "none (not signed)");
    return report.Verdict();
  }
  report.Fact("certificate table", "at " + std::to_string(headers.certificate_offset) + ", " +
                                       std::to_string(headers.certificate_size) + " bytes");
  if (static_cast<int64_t>(headers.certificate_offset) < archive + archive_size) {
    report.Problem("the certificate table overlaps the archive");
  }
  SignatureCheck signature;
  if (!CheckSignature(options.signing, options.path, work.path().string(), &signature, &error)) {
    report.Fact("signature", "present, cannot be checked: " + error);
    report.Problem(error);
    return report.Verdict();
  }
  if (signature.valid) {
    report.Fact("signature", "present and valid, signed by " + signature.signer + ", issued by " +
                                 signature.issuer);
    report.Fact("verified against", signature.anchors);
  } else {
    report.Fact("signature", "present but INVALID: " + signature.problem);
    report.Problem("the signature is not valid: " + signature.problem);
  }
  report.Fact("time stamp", signature.timestamped ? "present" : "none");
  return report.Verdict();
}

}  // namespace tnpack
