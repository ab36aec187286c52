#include "tools/tnpack/packer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "payload/archive_password.h"
#include "payload/trailer.h"
#include "tools/tnpack/file_reader.h"
#include "tools/tnpack/ini_text.h"
#include "tools/tnpack/path_containment.h"
#include "tools/tnpack/pe_resources.h"
#include "tools/tnpack/process.h"
#include "tools/tnpack/product_check.h"
#include "tools/tnpack/sevenzip_header.h"
#include "tools/tnpack/stub_digest.h"
#include "tools/tnpack/work_folder.h"

namespace fs = std::filesystem;

namespace tnpack {
namespace {

constexpr uint32_t kConfigResourceId = 131;
const char kInterrupted[] = "interrupted";
const char kSizeLimit[] = "it must stay below 4 GiB, the largest executable Windows runs";

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  bytes->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return !file.bad();
}

// Follows 7-Zip's progress output ("  5% 3 + name" redrawn with
// backspaces) and passes each percentage on.
class SevenZipProgress {
 public:
  explicit SevenZipProgress(Progress* progress) : progress_(progress) {}
  void operator()(const std::string& piece) {
    pending_ += piece;
    size_t percent = pending_.find('%');
    int latest = -1;
    while (percent != std::string::npos) {
      size_t digits = percent;
      while (digits > 0 && pending_[digits - 1] >= '0' && pending_[digits - 1] <= '9') --digits;
      if (digits < percent && percent - digits <= 3) {
        latest = std::atoi(pending_.substr(digits, percent - digits).c_str());
      }
      percent = pending_.find('%', percent + 1);
    }
    if (pending_.size() > 16) pending_.erase(0, pending_.size() - 16);
    if (latest >= 0) progress_->Update(latest / 100.0);
  }

 private:
  Progress* progress_;
  std::string pending_;
};

std::string SevenZipFailure(const PackOptions& options, const ProgramRun& run,
                            const std::string& what) {
  if (!run.started) return "cannot run " + options.sevenzip_program + " (Debian package 7zip)";
  std::string text = options.sevenzip_program + " failed " + what + " with exit code " +
                     std::to_string(run.exit_code);
  const std::string tail = OutputTail(run.output, 3);
  if (!tail.empty()) text += ": " + tail;
  return text;
}

bool CreateArchive(const PackOptions& options, const fs::path& product, const fs::path& archive,
                   int64_t bytes_in, Progress* progress, std::string* error) {
  // The library decodes LZMA2 blocks of four times the dictionary on several
  // threads, each holding a block's input and output: 8 MiB blocks keep two
  // threads within about 35 MB. The header is compressed but stays readable
  // without the password.
  const std::vector<std::string> arguments = {options.sevenzip_program,
                                              "a",
                                              "-t7z",
                                              "-m0=lzma2:d=2m:c=8m",
                                              "-mmt=2",
                                              "-ms=on",
                                              "-mhe=off",
                                              std::string("-p") + tn::kArchivePassword,
                                              "-y",
                                              "-bso0",
                                              "-bsp1",
                                              "--",
                                              archive.string(),
                                              "*"};
  progress->Begin("compressing the product", bytes_in);
  SevenZipProgress percent(progress);
  const ProgramRun run = RunProgram(arguments, product.string(), std::ref(percent));
  if (Interrupted()) {
    *error = kInterrupted;
    return false;
  }
  if (run.exit_code != 0) {
    *error = SevenZipFailure(options, run, "to compress the product");
    return false;
  }
  progress->Update(1.0);
  return true;
}

bool CopyInto(std::ofstream* out, const std::string& path, int64_t total, int64_t* done,
              Progress* progress) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::vector<char> buffer(1 << 20);
  while (in && !Interrupted()) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    if (in.gcount() > 0) out->write(buffer.data(), in.gcount());
    *done += in.gcount();
    progress->Update(total > 0 ? static_cast<double>(*done) / total : 1.0);
  }
  return !in.bad() && static_cast<bool>(*out) && !Interrupted();
}

void WriteZeros(std::ofstream* out, int64_t count) {
  static const std::vector<char> zeros(1 << 16, '\0');
  while (count > 0) {
    const int64_t chunk = std::min<int64_t>(count, static_cast<int64_t>(zeros.size()));
    out->write(zeros.data(), chunk);
    count -= chunk;
  }
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code status;
  return !a.empty() && !b.empty() && fs::equivalent(a, b, status) && !status;
}

// --out must name a regular file (or nothing yet) in an existing folder,
// and none of the inputs.
bool CheckOutputPath(const PackOptions& options, std::string* error) {
  const std::string& out = options.output_path;
  struct stat info;
  if (out.empty()) {
    *error = "--out is empty; name the installer file to write";
    return false;
  }
  if (out.back() == '/') {
    *error = "--out " + out + " names a folder; name the installer file to write";
    return false;
  }
  if (lstat(out.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) {
      *error = "--out " + out + " is a folder; name the installer file to write";
      return false;
    }
    if (S_ISLNK(info.st_mode)) {
      *error = "--out " + out + " is a symbolic link; name the file itself";
      return false;
    }
    if (!S_ISREG(info.st_mode)) {
      *error = "--out " + out +
               " is not a regular file (a FIFO, device node or socket); "
               "tnpack replaces only regular files";
      return false;
    }
  }
  std::error_code status;
  const fs::path parent = fs::absolute(out).parent_path();
  if (!fs::is_directory(parent, status)) {
    *error = "the folder of --out " + out + " does not exist";
    return false;
  }
  const std::pair<const std::string*, const char*> inputs[] = {
      {&options.stub_path, "the stub"},
      {&options.archive_path, "the --archive file"},
      {&options.signing.pkcs12, "the --sign-pkcs12 certificate"},
      {&options.signing.password_file, "the --sign-pass-file password file"},
      {&options.signing.ca_file, "the --sign-ca file"},
  };
  for (const auto& input : inputs) {
    if (SameFile(out, *input.first)) {
      *error = "--out " + out + " is " + input.second + " itself; name a new file";
      return false;
    }
  }
  if (!options.product_dir.empty()) {
    const fs::path product = fs::canonical(options.product_dir, status);
    if (!status && IsInside(fs::weakly_canonical(fs::absolute(out), status), product)) {
      *error = "--out " + out + " lies inside the product folder " + options.product_dir +
               "; the installer would pack itself";
      return false;
    }
  }
  return true;
}

bool ReadStub(const PackOptions& options, std::string* stub, std::string* error) {
  const std::string& path = options.stub_path;
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    *error = "cannot read stub " + path + ": " + std::strerror(errno);
    return false;
  }
  if (S_ISDIR(info.st_mode)) {
    *error = "stub " + path + " is a folder, not a Windows executable";
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    *error = "stub " + path + " is not a regular file (a device or FIFO has no end to pack)";
    return false;
  }
  if (info.st_size >= tn::kMaxInstallerSize) {
    *error = "stub " + path + " is 4 GiB or larger; the installer must stay below 4 GiB";
    return false;
  }
  if (!ReadWholeFile(path, stub)) {
    *error = "cannot read stub " + path;
    return false;
  }
  PeHeaders headers;
  std::string reason;
  if (!ReadPeHeaders(*stub, &headers, &reason)) {
    *error = "stub " + path + " is not a Windows executable (" + reason + ")";
    return false;
  }
  if (headers.image_end > stub->size()) {
    *error = "stub " + path + " is cut short: its sections reach to byte " +
             std::to_string(headers.image_end) + " but the file has " +
             std::to_string(stub->size()) + " bytes";
    return false;
  }
  if (headers.certificate_size != 0) {
    *error = "stub " + path +
             " is signed already; the payload behind it would break that "
             "signature. Pack the unsigned stub and sign the installer (--sign-pkcs12)";
    return false;
  }
  return true;
}

// The product's programs that the configuration names, checked against
// |items|: refused for a product folder, a warning for a ready archive.
bool CheckPrograms(const std::string& config, const std::vector<ProductItem>& items,
                   const std::string& where, bool refuse, PackResult* result) {
  const std::vector<std::string> missing = MissingPrograms(items, ConfiguredPrograms(config));
  if (missing.empty()) return true;
  std::string list;
  for (const std::string& name : missing) list += (list.empty() ? "" : ", ") + name;
  const std::string text = where + " lacks " + list +
                           ", which the installer's configuration names; the installation would "
                           "report success without " +
                           (missing.size() == 1 ? "it" : "them");
  if (refuse) {
    result->error = text;
    return false;
  }
  result->warnings.push_back(text);
  return true;
}

// A ready archive: plain header, every item encrypted, and it tests clean
// with the installer's password.
bool CheckReadyArchive(const PackOptions& options, const std::string& config, Progress* progress,
                       PackResult* result) {
  std::string& error = result->error;
  const std::string& path = options.archive_path;
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    error = "archive " + path +
            (stat(path.c_str(), &info) != 0 ? " does not exist" : " is not a regular file");
    return false;
  }
  SevenZipInfo header;
  if (!InspectSevenZip(path, 0, &header, &error)) {
    error = "archive " + path + ": " + error;
    return false;
  }
  if (header.header_encrypted) {
    error = "archive " + path +
            " has an encrypted header; the installer opens it without a password (use -mhe=off)";
    return false;
  }
  const ProgramRun listing = RunProgram({options.sevenzip_program, "l", "-slt", "-ba", "--", path});
  if (Interrupted()) {
    error = kInterrupted;
    return false;
  }
  std::vector<ProductItem> items;
  std::string unencrypted;
  if (listing.exit_code != 0 || !ParseSevenZipListing(listing.output, &items, &unencrypted)) {
    error = listing.exit_code != 0 ? SevenZipFailure(options, listing, "to list " + path)
                                   : "archive " + path + " holds no items";
    return false;
  }
  if (!unencrypted.empty()) {
    error = "archive " + path + ": \"" + unencrypted +
            "\" is not encrypted; the installer's archives are encrypted with its password "
            "(pack with --product, or 7zz -p with that password)";
    return false;
  }
  result->input = CountItems(items);
  if (!CheckWindowsNames(items, "archive " + path, &error)) return false;
  if (!CheckPrograms(config, items, "archive " + path, false, result)) return false;

  progress->Begin("testing the archive with the installer's password", result->input.bytes);
  SevenZipProgress percent(progress);
  const ProgramRun test =
      RunProgram({options.sevenzip_program, "t", std::string("-p") + tn::kArchivePassword, "-bso0",
                  "-bsp1", "--", path},
                 "", std::ref(percent));
  if (Interrupted()) {
    error = kInterrupted;
    return false;
  }
  if (test.exit_code != 0) {
    // 7-Zip cannot tell a wrong password from damaged encrypted data.
    error = "archive " + path +
            " does not test clean with the installer's password (another "
            "password or damaged data; " +
            options.sevenzip_program + " t: " + OutputTail(test.output, 2) +
            "); the installer would not install it";
    return false;
  }
  progress->End();
  return true;
}

std::string CommonName(const std::string& subject) {
  size_t at = subject.find("CN=");
  if (at == std::string::npos) return subject;
  at += 3;
  size_t end = at;
  while (end < subject.size() && subject[end] != ',' && subject[end] != '/') {
    end += subject[end] == '\\' ? 2 : 1;
  }
  return subject.substr(at, std::min(end, subject.size()) - at);
}

}  // namespace

bool ReadStubConfiguration(const std::string& image, std::string* config, std::string* error) {
  return FindNamedTypeResource(image, "INI", kConfigResourceId, config, error);
}

std::string ReadStubMarker(const std::string& stub_image, std::string* error) {
  std::string config;
  if (!ReadStubConfiguration(stub_image, &config, error)) return std::string();
  std::string marker;
  if (!FindIniValue(config, "OFFSET_FLAG", "flag", &marker) || marker.empty()) {
    *error = "the stub's configuration has no OFFSET_FLAG flag";
    return std::string();
  }
  return marker;
}

std::string DescribeImage(const std::string& image) {
  VersionInfo info;
  std::string error;
  if (!ReadVersionInfo(image, &info, &error)) return std::string();
  std::string text = info.strings["ProductName"];
  const std::string version = info.strings["ProductVersion"].empty()
                                  ? VersionText(info.product_version)
                                  : info.strings["ProductVersion"];
  text += (text.empty() ? "" : " ") + version;
  if (!info.strings["CompanyName"].empty()) text += " (" + info.strings["CompanyName"] + ")";
  return text;
}

bool VerifyInstaller(const std::string& path, const std::string& marker, int64_t search_start,
                     int64_t archive_offset, std::string* error) {
  FileReader file(path);
  if (file.size() < 0) {
    *error = "cannot read back " + path;
    return false;
  }
  auto read_at = [&file](int64_t offset, void* buffer, size_t count) {
    return file.ReadAt(offset, buffer, count);
  };
  const int64_t found = tn::LocatePayload(marker, file.size(), read_at);
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
  const std::string region =
      file.Read(search_start, static_cast<size_t>(archive_offset - search_start) + 32);
  const size_t at = FindStartHeader(region);
  if (at == std::string::npos) {
    *error = "no 7z start header at the archive offset";
    return false;
  }
  if (static_cast<int64_t>(at) == archive_offset - search_start) return true;
  *error = "another 7z start header lies at " + std::to_string(search_start + at) +
           ", before the archive";
  return false;
}

bool PlanLayout(int64_t stub_size, int64_t archive_size, SearchStartMode mode,
                int64_t explicit_search_start, bool signing, PackResult* result) {
  const int64_t k = tn::TrailerBoundaryFor(stub_size);
  result->trailer_offset = k * tn::kTrailerAlignment;
  result->archive_offset = result->trailer_offset + static_cast<int64_t>(tn::kTrailerSize);
  switch (mode) {
    case SearchStartMode::kImageEnd:
      result->search_start = stub_size + static_cast<int64_t>(tn::kTrailerSize);
      break;
    case SearchStartMode::kArchive: result->search_start = result->archive_offset; break;
    case SearchStartMode::kExplicit:
      result->search_start = explicit_search_start;
      if (explicit_search_start <= 0 || explicit_search_start > result->archive_offset ||
          result->archive_offset - explicit_search_start >
              static_cast<int64_t>(tn::kMaxStartSearch)) {
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
  const int64_t reserve = signing ? kSignatureReserve : 0;
  if (archive_size < 0 || result->output_size > tn::kMaxInstallerSize - reserve) {
    result->error = "the installer would be " + Bytes(result->output_size) +
                    (signing ? " and its signature comes on top; " : "; ") + kSizeLimit;
    return false;
  }
  return true;
}

std::string LargeInstallerWarning(int64_t size) {
  if (size < kLargeInstallerSize) return std::string();
  return "the installer is " + Bytes(size) +
         ", 2 GiB or more: Windows runs it, but programs that measure files with "
         "signed 32-bit sizes (some download tools, servers and virus scanners) may fail on it; "
         "keep it below 2 GiB where you can";
}

namespace {

// The stub as Pack uses it: the whole file and the configuration it carries.
struct Stub {
  std::string bytes;
  std::string config;  // empty when the stub has none
};

// The trailer's marker: --marker or the stub's configured one, which must
// agree when both are there.
bool SettleMarker(const PackOptions& options, const std::string& stub, PackResult* result) {
  std::string stub_error;
  const std::string stub_marker = ReadStubMarker(stub, &stub_error);
  if (!options.marker.empty() && !stub_marker.empty() && options.marker != stub_marker) {
    result->error =
        "--marker " + options.marker + " differs from the stub's configured marker " + stub_marker;
    return false;
  }
  result->marker = options.marker.empty() ? stub_marker : options.marker;
  if (result->marker.empty()) {
    result->error = stub_error + "; pass --marker";
    return false;
  }
  if (tn::BuildTrailer(result->marker, 0).empty()) {
    result->error = "the marker must be 1 to 49 bytes without NUL";
    return false;
  }
  return true;
}

// Reads the stub and settles the marker; names the stub and its image's
// SHA-256 in |result| where it has them.
bool TakeStub(const PackOptions& options, Stub* stub, PackResult* result) {
  if (!ReadStub(options, &stub->bytes, &result->error)) return false;
  if (!SettleMarker(options, stub->bytes, result)) return false;
  std::string ignored;
  ReadStubConfiguration(stub->bytes, &stub->config, &ignored);
  result->stub_identity = DescribeImage(stub->bytes);
  PeHeaders headers;
  std::string image;
  if (ReadPeHeaders(stub->bytes, &headers, &ignored) &&
      UnsignedStubImage(stub->bytes, headers, &image, &ignored)) {
    result->stub_sha256 = Sha256Hex(image);
  }
  return true;
}

// A ready archive's size is known now: a too large installer is refused
// before the archive is listed and tested.
bool CheckReadyArchiveSize(const PackOptions& options, int64_t stub_size, PackResult* result) {
  if (options.archive_path.empty()) return true;
  struct stat info;
  if (stat(options.archive_path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return true;
  return PlanLayout(stub_size, static_cast<int64_t>(info.st_size), options.search_start_mode,
                    options.explicit_search_start, options.sign, result);
}

// The certificate can sign; a warning when it names another publisher than
// the configuration does.
bool CheckSigner(const PackOptions& options, const std::string& config, const fs::path& work,
                 Progress* progress, PackResult* result) {
  progress->Begin("checking the signing certificate");
  if (!CheckSigningInputs(options.signing, work.string(), &result->signer, &result->error))
    return false;
  std::string publisher;
  if (FindIniValue(config, "TARNIS_INFO", "Publisher", &publisher) && !publisher.empty() &&
      GbkToUtf8(publisher) != CommonName(result->signer.subject)) {
    result->warnings.push_back("the certificate names " + result->signer.subject +
                               " but the configuration's Publisher is " + GbkToUtf8(publisher) +
                               ": the elevation prompt and the list of installed programs will "
                               "name different publishers");
  }
  progress->End(result->signer.subject);
  return true;
}

// Checks the product folder and compresses it into |archive|.
bool ArchiveProduct(const PackOptions& options, const std::string& config,
                    const std::string& archive, Progress* progress, PackResult* result) {
  std::string& error = result->error;
  progress->Begin("checking the product");
  std::vector<ProductItem> items;
  if (!ScanProduct(options.product_dir, options.follow_links, &items, &error)) return false;
  const std::string where = "product folder " + options.product_dir;
  if (!CheckWindowsNames(items, where, &error)) return false;
  if (!CheckPrograms(config, items, where, true, result)) return false;
  result->input = CountItems(items);
  progress->End(Counted(result->input.files, "file", "files") + ", " + Bytes(result->input.bytes));
  if (!CreateArchive(options, fs::canonical(options.product_dir), archive, result->input.bytes,
                     progress, &error)) {
    return false;
  }
  progress->End();
  return true;
}

// The archive to pack, in |*archive|: made from the product folder in
// |work|, or the ready one once it is checked.
bool MakeOrTakeArchive(const PackOptions& options, const std::string& config, const fs::path& work,
                       Progress* progress, PackResult* result, std::string* archive) {
  if (!options.product_dir.empty()) {
    *archive = (work / "payload.7z").string();
    if (!ArchiveProduct(options, config, *archive, progress, result)) return false;
  } else {
    *archive = options.archive_path;
    if (!CheckReadyArchive(options, config, progress, result)) return false;
  }
  if (Interrupted()) {
    result->error = kInterrupted;
    return false;
  }
  return true;
}

// Measures the archive and plans where everything goes.
bool PlanPayload(const PackOptions& options, int64_t stub_size, const std::string& archive,
                 PackResult* result) {
  SevenZipInfo info;
  if (!InspectSevenZip(archive, 0, &info, &result->error)) {
    result->error = "archive " + archive + ": " + result->error;
    return false;
  }
  std::error_code size_error;
  result->archive_size = static_cast<int64_t>(fs::file_size(archive, size_error));
  return PlanLayout(stub_size, result->archive_size, options.search_start_mode,
                    options.explicit_search_start, options.sign, result);
}

// Writes stub, filler, trailer, archive and padding to |target| as planned.
bool WriteImage(const std::string& stub, const std::string& archive, const fs::path& target,
                Progress* progress, PackResult* result) {
  progress->Begin("writing the installer", result->output_size);
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  out.write(stub.data(), static_cast<std::streamsize>(stub.size()));
  WriteZeros(&out, result->trailer_offset - static_cast<int64_t>(stub.size()));
  const std::string trailer = tn::BuildTrailer(result->marker, result->search_start);
  out.write(trailer.data(), static_cast<std::streamsize>(trailer.size()));
  int64_t done = result->archive_offset;
  if (!CopyInto(&out, archive, result->output_size, &done, progress)) {
    result->error =
        Interrupted() ? kInterrupted : "cannot copy the archive into " + target.string();
    return false;
  }
  WriteZeros(&out, result->output_size - (result->archive_offset + result->archive_size));
  out.close();
  if (!out) {
    result->error = "cannot write " + target.string();
    return false;
  }
  progress->End();
  return true;
}

// VerifyInstaller on |installer| with the planned layout; |failure| goes in
// front of the reason.
bool SelfCheck(const fs::path& installer, const char* failure, PackResult* result) {
  if (VerifyInstaller(installer.string(), result->marker, result->search_start,
                      result->archive_offset, &result->error)) {
    return true;
  }
  result->error = failure + result->error;
  return false;
}

// The signed installer's certificate table, which must lie behind the
// archive, into |result|.
bool LocateCertificateTable(const fs::path& installer, PackResult* result) {
  const std::string head = FileReader(installer.string()).Read(0, 64 * 1024);
  PeHeaders headers;
  if (!ReadPeHeaders(head, &headers, &result->error) || headers.certificate_size == 0 ||
      headers.certificate_offset < result->archive_offset + result->archive_size) {
    result->error = "the signed installer's certificate table does not lie behind the archive";
    return false;
  }
  result->certificate_offset = headers.certificate_offset;
  result->certificate_size = headers.certificate_size;
  return true;
}

// Signs |unsigned_file| into |signed_file| and checks what came out: the
// payload where it was, the certificate table behind it, a valid signature
// and a size below the limit.
bool SignInstaller(const PackOptions& options, const std::string& config, const fs::path& work,
                   const fs::path& unsigned_file, const fs::path& signed_file, Progress* progress,
                   PackResult* result) {
  std::string& error = result->error;
  progress->Begin("signing the installer");
  std::string url;
  FindIniValue(config, "TARNIS_INFO", "URLInfoAbout", &url);
  if (!SignFile(options.signing, url, unsigned_file.string(), signed_file.string(), &error))
    return false;
  progress->End();
  progress->Begin("verifying the signed installer");
  // The certificate table goes behind everything: the trailer must still
  // be found and the archive still start where it did.
  if (!SelfCheck(signed_file, "the signed installer fails the self-check: ", result) ||
      !LocateCertificateTable(signed_file, result)) {
    return false;
  }
  if (!CheckSignature(options.signing, signed_file.string(), work.string(), &result->signature,
                      &error)) {
    return false;
  }
  if (!result->signature.valid) {
    error = "osslsigncode verify rejects the signed installer: " + result->signature.problem;
    return false;
  }
  std::error_code size_error;
  result->output_size = static_cast<int64_t>(fs::file_size(signed_file, size_error));
  if (result->output_size > tn::kMaxInstallerSize) {
    error = "the signed installer is " + Bytes(result->output_size) + "; " + kSizeLimit;
    return false;
  }
  result->signed_installer = true;
  progress->End("valid, " + result->signature.signer);
  return true;
}

// Moves the finished installer to |output|, executable.
bool Deliver(const fs::path& finished, const fs::path& output, const PackOptions& options,
             PackResult* result) {
  if (Interrupted()) {
    result->error = kInterrupted;
    return false;
  }
  const std::string large = LargeInstallerWarning(result->output_size);
  if (!large.empty()) result->warnings.push_back(large);
  std::error_code status;
  fs::permissions(finished, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                  fs::perm_options::add, status);
  fs::rename(finished, output, status);
  if (status) {
    result->error = "cannot move the installer to " + options.output_path + ": " + status.message();
    return false;
  }
  return true;
}

}  // namespace

bool Pack(const PackOptions& options, Progress* progress, PackResult* result) {
  Stub stub;
  if (!CheckOutputPath(options, &result->error) || !TakeStub(options, &stub, result)) return false;
  const int64_t stub_size = static_cast<int64_t>(stub.bytes.size());
  if (!CheckReadyArchiveSize(options, stub_size, result)) return false;

  const fs::path output = fs::absolute(options.output_path);
  WorkFolder work(output.parent_path());
  if (work.path().empty()) {
    result->error = "cannot create a work folder next to " + options.output_path;
    return false;
  }
  if (options.sign && !CheckSigner(options, stub.config, work.path(), progress, result))
    return false;
  std::string archive;
  if (!MakeOrTakeArchive(options, stub.config, work.path(), progress, result, &archive) ||
      !PlanPayload(options, stub_size, archive, result)) {
    return false;
  }

  const fs::path temporary = work.path() / "installer.tmp";
  if (!WriteImage(stub.bytes, archive, temporary, progress, result)) return false;
  progress->Begin("verifying the installer");
  if (!SelfCheck(temporary, "self-check failed: ", result)) return false;
  progress->End();

  fs::path finished = temporary;
  if (options.sign) {
    finished = work.path() / "installer.signed";
    if (!SignInstaller(options, stub.config, work.path(), temporary, finished, progress, result))
      return false;
  }
  return Deliver(finished, output, options, result);
}

}  // namespace tnpack
