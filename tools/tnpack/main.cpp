// tnpack: turns a product folder or a ready 7z archive into a finished
// Tarnis installer behind a given installer stub, signs it when asked, and
// inspects finished installers.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "tools/tnpack/inspect.h"
#include "tools/tnpack/packer.h"
#include "tools/tnpack/process.h"
#include "tools/tnpack/progress.h"

namespace {

const char kUsage[] =
    "usage: tnpack --stub STUB.exe (--product DIR | --archive FILE.7z) --out SETUP.exe [options]\n"
    "       tnpack --inspect SETUP.exe [--marker TEXT] [--sign-ca CA.pem]\n"
    "       tnpack --help\n";

const char kHelp[] =
    "\n"
    "Packs a product into a finished Tarnis installer: the stub, zero filler to\n"
    "the next 1 MiB boundary, a 100-byte trailer and the product as a 7z archive\n"
    "(LZMA2, items AES-256 under the installer's password, header readable),\n"
    "checked and verified before anything is written at --out.\n"
    "\n"
    "What goes in:\n"
    "  --stub STUB.exe         the installer stub (build/win32/tnsetup.exe); it must\n"
    "                          not be signed itself\n"
    "  --product DIR           the product folder, archived with 7zz. Refused: symbolic\n"
    "                          links, FIFOs, sockets and devices, names Windows cannot\n"
    "                          create or would merge (AUX, con.txt, < > : \" | ? * \\,\n"
    "                          control characters, a trailing dot or space, names equal\n"
    "                          but for letter case), and a product without the programs\n"
    "                          the stub's configuration names\n"
    "  --archive FILE.7z       a ready archive instead of --product; it must be\n"
    "                          encrypted with the installer's password, test clean\n"
    "                          with it, and keep its header unencrypted (7zz -mhe=off)\n"
    "  --follow-links          take a symbolic link in the product as what it points to,\n"
    "                          when that lies inside the product (links leading out or\n"
    "                          into a loop stay refused)\n"
    "\n"
    "Where it goes:\n"
    "  --out SETUP.exe         the installer to write: a new or regular file, not the\n"
    "                          stub, not the archive, not inside the product; it must\n"
    "                          stay below 4 GiB (Windows runs no larger program), and\n"
    "                          from 2 GiB on tnpack warns\n"
    "  --search-start image-end|archive|N\n"
    "                          where the installer's archive library starts looking\n"
    "                          for the archive: behind the stub image (default), at\n"
    "                          the archive itself, or at file offset N\n"
    "  --marker TEXT           the trailer marker; by default the stub's own\n"
    "                          (OFFSET_FLAG/flag of its configuration); needed for a\n"
    "                          stub without configuration\n"
    "\n"
    "Signing (Authenticode, through osslsigncode):\n"
    "  --sign-pkcs12 FILE.p12  sign the finished installer with this certificate and\n"
    "                          key; it must be meant for code signing and current\n"
    "  --sign-pass-file FILE   the PKCS#12 password, first line of FILE; it is never\n"
    "                          put on a command line or shown\n"
    "  --sign-timestamp URL    have an RFC 3161 time-stamp authority date the signature,\n"
    "                          so that it outlives the certificate\n"
    "  --sign-ca CA.pem        verify the signature against these certificates; by\n"
    "                          default against the ones the signature carries and the\n"
    "                          system's trusted roots\n"
    "  The signature goes behind the archive; the installer still finds its trailer,\n"
    "  which tnpack checks again, and osslsigncode verify must pass.\n"
    "\n"
    "Showing its work:\n"
    "  -q, --quiet             print nothing but errors and warnings; otherwise each\n"
    "                          step is shown (percent, MB/s and time left while it\n"
    "                          compresses; a line in place on a terminal, plain lines\n"
    "                          otherwise) and a summary at the end\n"
    "  --inspect SETUP.exe     print what an installer holds: stub version, the SHA-256\n"
    "                          of the stub image (equal to sha256sum of the unsigned\n"
    "                          stub, also for a signed installer), marker, offsets,\n"
    "                          archive size, items (tested with the installer's\n"
    "                          password), signature; exit status 1 for a damaged file\n"
    "                          or one that is no installer\n"
    "  -h, --help              this text\n"
    "\n"
    "Exit status: 0 done, 1 refused or failed (nothing written at --out), 2 wrong\n"
    "usage; interrupted by SIGINT or SIGTERM it removes its work folder and ends\n"
    "with that signal.\n"
    "\n"
    "Examples:\n"
    "  tnpack --stub build/win32/tnsetup.exe --product build/win32/sample/product \\\n"
    "         --out TarnisSetup.exe\n"
    "  tnpack --stub build/win32/tnsetup.exe --product product --out TarnisSetup.exe \\\n"
    "         --sign-pkcs12 release.p12 --sign-pass-file ~/.release-pass \\\n"
    "         --sign-timestamp http://timestamp.example.com\n"
    "  tnpack --stub build/win32/tnsetup.exe --product product --follow-links \\\n"
    "         --out TarnisSetup.exe --search-start archive\n"
    "  tnpack --stub build/win32/tnsetup.exe --archive product.7z --out TarnisSetup.exe -q\n"
    "  tnpack --stub bare_stub.exe --archive product.7z --out Setup.exe --marker TN7zOffset\n"
    "  tnpack --inspect TarnisSetup.exe\n"
    "  tnpack --inspect TarnisSetup.exe --sign-ca company-root.pem\n";

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

void PrintSummary(const tnpack::PackOptions& options, const tnpack::PackResult& result,
                  double seconds) {
  using tnpack::Bytes;
  auto fact = [](const char* name, const std::string& value) {
    std::printf("  %-11s %s\n", name, value.c_str());
  };
  std::printf("tnpack: wrote %s (%lld bytes) in %s\n", options.output_path.c_str(),
              static_cast<long long>(result.output_size),
              tnpack::Progress::Duration(seconds).c_str());
  fact("stub:",
       options.stub_path + (result.stub_identity.empty() ? "" : ", " + result.stub_identity));
  if (!result.stub_sha256.empty()) fact("", "SHA-256 of its image " + result.stub_sha256);
  fact("files:", tnpack::Counted(result.input.files, "file", "files") + " in " +
                     tnpack::Counted(result.input.folders, "folder", "folders") + ", " +
                     Bytes(result.input.bytes) + " in");
  char ratio[64] = "";
  if (result.input.bytes > 0) {
    std::snprintf(
        ratio, sizeof(ratio), ", %.1f%% of the input",
        100.0 * static_cast<double>(result.archive_size) / static_cast<double>(result.input.bytes));
  }
  fact("archive:", Bytes(result.archive_size) + ratio);
  fact("payload:", "trailer \"" + result.marker + "\" at " + std::to_string(result.trailer_offset) +
                       ", archive at " + std::to_string(result.archive_offset) + ", search start " +
                       std::to_string(result.search_start));
  fact("installer:", Bytes(result.output_size));
  if (result.signed_installer) {
    fact("signed:", "yes, by " + result.signature.signer + ", issued by " +
                        result.signature.issuer +
                        (result.signature.timestamped ? ", time-stamped" : ", no time stamp"));
    fact("", "certificate table at " + std::to_string(result.certificate_offset) + " (" +
                 std::to_string(result.certificate_size) + " bytes), verified against " +
                 result.signature.anchors);
  } else {
    fact("signed:", "no");
  }
  fact("time:", tnpack::Progress::Duration(seconds));
}

// What the command line asks for.
struct CommandLine {
  tnpack::PackOptions options;  // signing.* as given; sign is set by CheckPackOptions
  std::string inspect_path;
  bool help = false;
  bool quiet = false;
};

// --search-start image-end|archive|N.
bool ReadSearchStart(const std::string& value, tnpack::PackOptions* options) {
  if (value == "image-end") {
    options->search_start_mode = tnpack::SearchStartMode::kImageEnd;
  } else if (value == "archive") {
    options->search_start_mode = tnpack::SearchStartMode::kArchive;
  } else if (ParseOffset(value, &options->explicit_search_start)) {
    options->search_start_mode = tnpack::SearchStartMode::kExplicit;
  } else {
    return false;
  }
  return true;
}

// Reads the options into |*line|, up to --help when it comes. False with
// |*problem| set for an unknown option or a missing or wrong value.
bool ParseArguments(int argc, char** argv, CommandLine* line, std::string* problem) {
  tnpack::PackOptions& options = line->options;
  const std::pair<const char*, std::string*> texts[] = {
      {"--stub", &options.stub_path},
      {"--product", &options.product_dir},
      {"--archive", &options.archive_path},
      {"--out", &options.output_path},
      {"--marker", &options.marker},
      {"--inspect", &line->inspect_path},
      {"--sign-pkcs12", &options.signing.pkcs12},
      {"--sign-pass-file", &options.signing.password_file},
      {"--sign-timestamp", &options.signing.timestamp_url},
      {"--sign-ca", &options.signing.ca_file},
  };
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--help" || name == "-h") {
      line->help = true;
      return true;
    }
    if (name == "--quiet" || name == "-q") {
      line->quiet = true;
      continue;
    }
    if (name == "--follow-links") {
      options.follow_links = true;
      continue;
    }
    if (i + 1 >= argc) {
      *problem = "missing value for " + name;
      return false;
    }
    const std::string value = argv[++i];
    if (name == "--search-start") {
      if (ReadSearchStart(value, &options)) continue;
      *problem = "--search-start takes image-end, archive or a file offset, not " + value;
      return false;
    }
    std::string* text = nullptr;
    for (const auto& option : texts) {
      if (name == option.first) text = option.second;
    }
    if (!text) {
      *problem = "unknown option " + name;
      return false;
    }
    *text = value;
  }
  return true;
}

// tnpack --inspect: only --marker and --sign-ca go with it.
int RunInspect(const CommandLine& line) {
  const tnpack::PackOptions& options = line.options;
  if (!options.stub_path.empty() || !options.product_dir.empty() || !options.archive_path.empty() ||
      !options.output_path.empty() || !options.signing.pkcs12.empty() ||
      !options.signing.password_file.empty()) {
    return UsageError("--inspect takes only --marker and --sign-ca besides the installer");
  }
  tnpack::InspectOptions inspect;
  inspect.path = line.inspect_path;
  inspect.marker = options.marker;
  inspect.signing.ca_file = options.signing.ca_file;
  const int status = tnpack::Inspect(inspect, stdout);
  if (tnpack::Interrupted()) tnpack::ExitWithInterruptSignal();
  return status;
}

// The options packing needs, and those that go together. False with
// |*problem| set otherwise.
bool CheckPackOptions(tnpack::PackOptions* options, std::string* problem) {
  const tnpack::SigningOptions& signing = options->signing;
  if (options->stub_path.empty() || options->output_path.empty()) {
    *problem = "--stub and --out are required";
  } else if (options->product_dir.empty() == options->archive_path.empty()) {
    *problem = "give exactly one of --product and --archive";
  } else if (options->follow_links && options->product_dir.empty()) {
    *problem = "--follow-links applies to --product only";
  } else if (signing.pkcs12.empty() != signing.password_file.empty()) {
    *problem = "--sign-pkcs12 and --sign-pass-file go together";
  } else if (signing.pkcs12.empty() &&
             (!signing.timestamp_url.empty() || !signing.ca_file.empty())) {
    *problem = "--sign-timestamp and --sign-ca need --sign-pkcs12";
  } else {
    options->sign = !signing.pkcs12.empty();
    return true;
  }
  return false;
}

// Packs, names the warnings, and shows the summary unless --quiet.
int RunPack(const CommandLine& line) {
  const tnpack::PackOptions& options = line.options;
  tnpack::Progress progress(stdout, isatty(STDOUT_FILENO) != 0, line.quiet);
  tnpack::PackResult result;
  const auto started = std::chrono::steady_clock::now();
  const bool packed = tnpack::Pack(options, &progress, &result);
  for (const std::string& warning : result.warnings) {
    std::fprintf(stderr, "tnpack: warning: %s\n", warning.c_str());
  }
  if (tnpack::Interrupted()) {
    std::fprintf(stderr, "\ntnpack: interrupted; nothing written at %s\n",
                 options.output_path.c_str());
    tnpack::ExitWithInterruptSignal();
  }
  if (!packed) {
    progress.End("failed");
    std::fprintf(stderr, "tnpack: error: %s\n", result.error.c_str());
    return 1;
  }
  if (!line.quiet) {
    PrintSummary(options, result,
                 std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CommandLine line;
  std::string problem;
  if (!ParseArguments(argc, argv, &line, &problem)) return UsageError(problem);
  if (line.help) {
    std::fputs(kUsage, stdout);
    std::fputs(kHelp, stdout);
    return 0;
  }
  tnpack::InstallInterruptHandlers();
  if (!line.inspect_path.empty()) return RunInspect(line);
  if (!CheckPackOptions(&line.options, &problem)) return UsageError(problem);
  return RunPack(line);
}
