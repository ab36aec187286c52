#include "tools/tnpack/inspect.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "payload/archive_password.h"
#include "payload/trailer.h"
#include "tools/tnpack/file_reader.h"
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
  // The line that names the file.
  void Title(const std::string& text) { std::fprintf(out_, "tnpack: %s\n", text.c_str()); }
  void Fact(const std::string& name, const std::string& value) {
    std::fprintf(out_, "  %-17s %s\n", (name + ":").c_str(), value.c_str());
  }
  // A further line of the fact before it.
  void More(const std::string& value) { std::fprintf(out_, "  %-17s %s\n", "", value.c_str()); }
  // Records a problem that makes the file unusable as an installer and gives
  // the verdict: false, for the inspection to end with status 1.
  bool Damaged(const std::string& problem) {
    problems_.push_back(problem);
    Verdict();
    return false;
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

// What the phases of the inspection find, for the phases after them.
struct Findings {
  PeHeaders headers;
  std::string image;  // the stub's image: headers and sections
  std::string marker;
  int64_t search_start = 0;
  int64_t trailer = 0;  // the trailer's boundary
  int64_t archive = 0;  // where the archive library finds the archive
  int64_t archive_size = 0;
};

// Copies |count| bytes from |offset| of |file| to a new file |target|.
bool CopyOut(FileReader* file, int64_t offset, int64_t count, const fs::path& target) {
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  std::vector<char> buffer(1 << 20);
  while (count > 0 && !Interrupted()) {
    const size_t got = file->ReadAt(offset, buffer.data(),
                                    static_cast<size_t>(std::min<int64_t>(count, buffer.size())));
    if (got == 0) return false;
    out.write(buffer.data(), static_cast<std::streamsize>(got));
    offset += static_cast<int64_t>(got);
    count -= static_cast<int64_t>(got);
  }
  return static_cast<bool>(out) && count == 0;
}

// Is the executable in |image| signed? "signed", "not signed" or empty
// when it is no executable.
std::string LibrarySignature(const std::string& image) {
  std::string library, error;
  if (!FindNamedTypeResource(image, "EXEDLL", 130, &library, &error)) return std::string();
  PeHeaders headers;
  if (!ReadPeHeaders(library, &headers, &error)) return std::string();
  return headers.certificate_size != 0 ? "signed" : "not signed";
}

// |path| names a regular file.
bool CheckRegularFile(const std::string& path, Report* report) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    const std::string reason = std::strerror(errno);
    report->Title(path + ": " + reason);
    return report->Damaged("cannot read " + path);
  }
  if (!S_ISREG(info.st_mode)) {
    report->Title(path);
    return report->Damaged(path + " is not a regular file");
  }
  return true;
}

// Below 4 GiB, with a warning from 2 GiB on.
bool CheckSize(const std::string& path, const FileReader& file, Report* report) {
  report->Title(path + ", " + Bytes(file.size()));
  if (file.size() > tn::kMaxInstallerSize) {
    return report->Damaged("no installer Windows can run: it is 4 GiB or larger");
  }
  const std::string large = LargeInstallerWarning(file.size());
  if (!large.empty()) report->Warning(large);
  return true;
}

// The SHA-256 by which the stub is known, the same for the unsigned stub and
// the installer signed behind it.
void ReportStubDigest(const std::string& image, const PeHeaders& headers, Report* report) {
  std::string unsigned_image, error;
  if (!UnsignedStubImage(image, headers, &unsigned_image, &error)) {
    report->Fact("stub SHA-256", "cannot be computed: " + error);
    return;
  }
  report->Fact("stub SHA-256", Sha256Hex(unsigned_image));
  if (headers.certificate_size == 0) {
    report->More("of the image as the file holds it, as tnpack copied it from the stub");
  } else {
    report->More("of the image, with the checksum and certificate table entry that");
    report->More("signing rewrote put back as the unsigned stub has them");
  }
  report->More("(compare with sha256sum of the unsigned stub)");
}

// The executable image in front of the payload, and what identifies it.
bool ReadStubImage(FileReader* file, Findings* found, Report* report) {
  std::string error;
  if (!ReadPeHeaders(file->Read(0, 64 * 1024), &found->headers, &error)) {
    return report->Damaged("no installer: not a Windows executable (" + error + ")");
  }
  const PeHeaders& headers = found->headers;
  if (static_cast<int64_t>(headers.image_end) > file->size()) {
    return report->Damaged("cut short: the executable image reaches to byte " +
                           std::to_string(headers.image_end) + " but the file has " +
                           std::to_string(file->size()) + " bytes");
  }
  found->image = file->Read(0, static_cast<size_t>(headers.image_end));
  VersionInfo version;
  if (ReadVersionInfo(found->image, &version, &error)) {
    report->Fact("stub", DescribeImage(found->image));
    report->Fact("file version", VersionText(version.file_version));
  } else {
    report->Fact("stub", "no version information");
  }
  report->Fact("stub image", Bytes(static_cast<int64_t>(headers.image_end)) +
                                 " from offset 0: headers and sections");
  ReportStubDigest(found->image, headers, report);
  const std::string library = LibrarySignature(found->image);
  if (!library.empty()) report->Fact("archive library", library);
  return true;
}

// The first whole-MiB boundary that holds |marker|'s trailer, where the
// installer's search stops, or 0.
int64_t TrailerBoundary(FileReader* file, const std::string& marker) {
  for (int64_t k = 1; k < file->size() / tn::kTrailerAlignment; ++k) {
    const std::string field = file->Read(k * tn::kTrailerAlignment, tn::kTrailerFieldSize);
    if (field.compare(0, field.find('\0'), marker) == 0 && field.find('\0') == marker.size()) {
      return k * tn::kTrailerAlignment;
    }
  }
  return 0;
}

// tnpack fills the room between the stub and the trailer with zeros;
// anything else there came with the stub, and the SHA-256 leaves it out.
void WarnOfDataBehindTheImage(FileReader* file, const Findings& found, Report* report) {
  const int64_t image_end = static_cast<int64_t>(found.headers.image_end);
  const int64_t gap = found.trailer - image_end;
  if (gap <= 0 || gap > 64 * tn::kTrailerAlignment) return;
  const std::string filler = file->Read(image_end, static_cast<size_t>(gap));
  const size_t data = filler.find_last_not_of('\0');
  if (data != std::string::npos) {
    report->Warning("the stub carried " + Bytes(static_cast<int64_t>(data) + 1) +
                    " behind its sections, which the stub SHA-256 leaves out");
  }
}

// The marker, the trailer with it and the search start it gives, found the
// way the installer finds them.
bool FindTrailer(const std::string& marker, FileReader* file, Findings* found, Report* report) {
  found->marker = marker;
  if (found->marker.empty()) {
    std::string error;
    found->marker = ReadStubMarker(found->image, &error);
    if (found->marker.empty()) {
      return report->Damaged("no installer: " + error + " (pass --marker)");
    }
  }
  report->Fact("marker", "\"" + found->marker + "\"");
  auto read_at = [file](int64_t offset, void* buffer, size_t count) {
    return file->ReadAt(offset, buffer, count);
  };
  found->search_start = tn::LocatePayload(found->marker, file->size(), read_at);
  if (found->search_start == 0) {
    return report->Damaged("no payload trailer with marker \"" + found->marker +
                           "\" at a whole-MiB boundary");
  }
  found->trailer = TrailerBoundary(file, found->marker);
  report->Fact("trailer", "at " + std::to_string(found->trailer));
  WarnOfDataBehindTheImage(file, *found, report);
  report->Fact("search start", std::to_string(found->search_start));
  if (found->search_start < 0 || found->search_start >= file->size()) {
    return report->Damaged("the search start " + std::to_string(found->search_start) +
                           " lies outside the file");
  }
  return true;
}

// The archive the installer's archive library opens: it searches forward
// from the search start.
bool FindArchive(const std::string& path, FileReader* file, Findings* found, Report* report) {
  const std::string region =
      file->Read(found->search_start, static_cast<size_t>(tn::kMaxStartSearch) + 32);
  const size_t at = FindStartHeader(region);
  if (at == std::string::npos) {
    return report->Damaged("no 7z archive within 8 MiB of the search start");
  }
  const int64_t archive = found->search_start + static_cast<int64_t>(at);
  found->archive = archive;
  SevenZipInfo info;
  std::string error;
  if (!InspectSevenZip(path, static_cast<uint64_t>(archive), &info, &error)) {
    report->Fact("archive", "at " + std::to_string(archive));
    return report->Damaged("the archive is damaged or cut short: " + error);
  }
  found->archive_size = static_cast<int64_t>(info.archive_size);
  report->Fact("archive", "at " + std::to_string(archive) + ", " + Bytes(found->archive_size) +
                              ", ends at " + std::to_string(archive + found->archive_size));
  if (found->trailer != 0 && archive != found->trailer + static_cast<int64_t>(tn::kTrailerSize)) {
    report->Problem("the archive the installer opens does not follow the trailer");
  }
  if (info.header_encrypted) report->Problem("the archive's header is encrypted");
  return true;
}

// The listed items of the archive copy |copy|, its test with the installer's
// password, and the configured programs it lacks. False when interrupted.
bool ReportItems(const InspectOptions& options, const fs::path& copy,
                 const std::vector<ProductItem>& items, const std::string& unencrypted,
                 const std::string& image, Report* report) {
  const ItemCounts counts = CountItems(items);
  const ProgramRun test =
      RunProgram({options.sevenzip_program, "t", std::string("-p") + tn::kArchivePassword, "-bso0",
                  "-bsp0", "--", copy.string()});
  if (Interrupted()) return false;
  const bool clean = test.exit_code == 0;
  report->Fact("items", Counted(counts.files, "file", "files") + " and " +
                            Counted(counts.folders, "folder", "folders") + ", " +
                            Bytes(counts.bytes) + "; " +
                            (clean ? "tests clean with the installer's password"
                                   : "FAILS the test with the installer's password"));
  if (!clean) report->Problem("the archive does not test clean: " + OutputTail(test.output, 2));
  if (!unencrypted.empty())
    report->Problem("\"" + unencrypted + "\" in the archive is not encrypted");
  std::string config, error;
  if (ReadStubConfiguration(image, &config, &error)) {
    for (const std::string& name : MissingPrograms(items, ConfiguredPrograms(config))) {
      report->Warning("the product lacks " + name + ", which the installer's configuration names");
    }
  }
  return true;
}

// Items and a test with the installer's password, on a copy of the archive
// in |work|. False when the inspection ends here.
bool TestArchive(const InspectOptions& options, FileReader* file, const Findings& found,
                 const fs::path& work, Report* report) {
  const fs::path copy = work / "payload.7z";
  if (work.empty() || !CopyOut(file, found.archive, found.archive_size, copy)) {
    if (Interrupted()) return false;
    return report->Damaged("cannot copy the archive out for testing");
  }
  const ProgramRun listing =
      RunProgram({options.sevenzip_program, "l", "-slt", "-ba", "--", copy.string()});
  std::vector<ProductItem> items;
  std::string unencrypted;
  if (!listing.started) {
    report->Problem("cannot run " + options.sevenzip_program + " (Debian package 7zip)");
  } else if (listing.exit_code == 0 && ParseSevenZipListing(listing.output, &items, &unencrypted)) {
    return ReportItems(options, copy, items, unencrypted, found.image, report);
  } else {
    report->Problem("7-Zip cannot list the archive: " + OutputTail(listing.output, 2));
  }
  return true;
}

// The certificate table and what osslsigncode verify makes of the signature.
void ReportSignature(const InspectOptions& options, const Findings& found, const fs::path& work,
                     Report* report) {
  const PeHeaders& headers = found.headers;
  if (headers.certificate_size == 0) {
    report->Fact("signature", "none (not signed)");
    return;
  }
  report->Fact("certificate table", "at " + std::to_string(headers.certificate_offset) + ", " +
                                        std::to_string(headers.certificate_size) + " bytes");
  if (static_cast<int64_t>(headers.certificate_offset) < found.archive + found.archive_size) {
    report->Problem("the certificate table overlaps the archive");
  }
  SignatureCheck signature;
  std::string error;
  if (!CheckSignature(options.signing, options.path, work.string(), &signature, &error)) {
    report->Fact("signature", "present, cannot be checked: " + error);
    report->Problem(error);
    return;
  }
  if (signature.valid) {
    report->Fact("signature", "present and valid, signed by " + signature.signer + ", issued by " +
                                  signature.issuer);
    report->Fact("verified against", signature.anchors);
  } else {
    report->Fact("signature", "present but INVALID: " + signature.problem);
    report->Problem("the signature is not valid: " + signature.problem);
  }
  report->Fact("time stamp", signature.timestamped ? "present" : "none");
}

}  // namespace

int Inspect(const InspectOptions& options, std::FILE* out) {
  Report report(out);
  if (!CheckRegularFile(options.path, &report)) return 1;
  FileReader file(options.path);
  Findings found;
  if (!CheckSize(options.path, file, &report) || !ReadStubImage(&file, &found, &report) ||
      !FindTrailer(options.marker, &file, &found, &report) ||
      !FindArchive(options.path, &file, &found, &report)) {
    return 1;
  }
  std::error_code status;
  WorkFolder work(fs::temp_directory_path(status));
  if (!TestArchive(options, &file, found, work.path(), &report)) return 1;
  ReportSignature(options, found, work.path(), &report);
  return report.Verdict();
}

}  // namespace tnpack
