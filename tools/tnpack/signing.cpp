#include "tools/tnpack/signing.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

#include "tools/tnpack/pe_resources.h"
#include "tools/tnpack/process.h"

namespace tnpack {
namespace {

constexpr char kSystemRoots[] = "/etc/ssl/certs/ca-certificates.crt";

bool CheckReadableFile(const std::string& path, const std::string& what, std::string* error) {
  struct stat info;
  if (path.empty()) {
    *error = what + " is not given";
    return false;
  }
  if (stat(path.c_str(), &info) != 0) {
    *error = what + " " + path + " does not exist";
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    *error = what + " " + path + " is not a regular file";
    return false;
  }
  if (access(path.c_str(), R_OK) != 0) {
    *error = "cannot read " + what + " " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool CanRun(const std::string& program, const std::string& argument, const std::string& package,
            std::string* error) {
  if (RunProgram({program, argument}).started) return true;
  *error = "cannot run " + program + " (Debian package " + package + ")";
  return false;
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The value after "name" up to the end of the line, trimmed; empty if absent.
std::string ValueAfter(const std::vector<std::string>& lines, const std::string& name) {
  for (const std::string& line : lines) {
    const size_t at = line.find(name);
    if (at != std::string::npos) return Trim(line.substr(at + name.size()));
  }
  return std::string();
}

// The indented line that follows the heading |extension|, or empty.
std::string ExtensionValue(const std::vector<std::string>& lines, const std::string& extension,
                           bool* present) {
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    if (lines[i].compare(0, extension.size(), extension) == 0) {
      *present = true;
      return Trim(lines[i + 1]);
    }
  }
  *present = false;
  return std::string();
}

// osslsigncode shows the bytes of a name beyond ASCII as \xHH; the names
// of certificates made today are UTF-8, so put those bytes back.
std::string UnescapeName(const std::string& name) {
  std::string bytes;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' &&
        std::isxdigit(static_cast<unsigned char>(name[i + 2])) &&
        std::isxdigit(static_cast<unsigned char>(name[i + 3]))) {
      bytes += static_cast<char>(std::stoi(name.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else {
      bytes += name[i];
    }
  }
  return bytes;
}

bool ContainsWord(const std::string& list, const std::string& word) {
  return list.find(word) != std::string::npos;
}

bool Concatenate(const std::vector<std::string>& inputs, const std::string& output) {
  std::ofstream out(output, std::ios::binary | std::ios::trunc);
  for (const std::string& input : inputs) {
    std::ifstream in(input, std::ios::binary);
    if (!in) continue;
    out << in.rdbuf() << "\n";
  }
  return static_cast<bool>(out);
}

}  // namespace

bool CheckSigningInputs(const SigningOptions& options, const std::string& work_dir,
                        Certificate* signer, std::string* error) {
  if (!CheckReadableFile(options.pkcs12, "certificate file", error) ||
      !CheckReadableFile(options.password_file, "password file", error)) {
    return false;
  }
  if (!options.ca_file.empty() && !CheckReadableFile(options.ca_file, "--sign-ca file", error)) {
    return false;
  }
  if (!CanRun(options.signcode_program, "--version", "osslsigncode", error) ||
      !CanRun(options.openssl_program, "version", "openssl", error)) {
    return false;
  }
  const std::string certificate = work_dir + "/signer.pem";
  std::vector<std::string> arguments = {
      options.openssl_program,         "pkcs12",  "-in",      options.pkcs12, "-passin",
      "file:" + options.password_file, "-nokeys", "-clcerts", "-out",         certificate};
  ProgramRun run = RunProgram(arguments);
  if (run.exit_code != 0 && !Interrupted()) {
    // PKCS#12 files made with older tools use ciphers OpenSSL 3 keeps apart.
    arguments.push_back("-legacy");
    ProgramRun legacy = RunProgram(arguments);
    if (legacy.exit_code == 0) run = legacy;
  }
  if (Interrupted()) {
    *error = "interrupted";
    return false;
  }
  if (run.exit_code != 0) {
    if (run.output.find("nvalid password") != std::string::npos ||
        run.output.find("ac verify") != std::string::npos) {
      *error = "the password in " + options.password_file + " does not open " + options.pkcs12 +
               " (wrong password file?)";
    } else {
      *error = "cannot read " + options.pkcs12 + " as a PKCS#12 file: " + OutputTail(run.output, 2);
    }
    return false;
  }
  const ProgramRun details = RunProgram(
      {options.openssl_program, "x509", "-in", certificate, "-noout", "-subject", "-issuer",
       "-enddate", "-ext", "extendedKeyUsage,keyUsage", "-nameopt", "RFC2253,-esc_msb"});
  if (details.exit_code != 0) {
    *error = options.pkcs12 + " holds no certificate for its private key";
    return false;
  }
  const std::vector<std::string> lines = OutputLines(details.output);
  signer->subject = ValueAfter(lines, "subject=");
  signer->issuer = ValueAfter(lines, "issuer=");
  signer->not_after = ValueAfter(lines, "notAfter=");
  bool present = false;
  const std::string purposes = ExtensionValue(lines, "X509v3 Extended Key Usage", &present);
  if (present && !ContainsWord(purposes, "Code Signing")) {
    *error = "the certificate " + signer->subject + " in " + options.pkcs12 +
             " is not meant for code signing (its purposes: " + purposes +
             "); Windows rejects signatures made with it";
    return false;
  }
  const std::string usage = ExtensionValue(lines, "X509v3 Key Usage", &present);
  if (present && !ContainsWord(usage, "Digital Signature")) {
    *error = "the certificate " + signer->subject + " in " + options.pkcs12 +
             " may not make digital signatures (its key usage: " + usage + ")";
    return false;
  }
  const ProgramRun current =
      RunProgram({options.openssl_program, "x509", "-in", certificate, "-noout", "-checkend", "0"});
  if (current.exit_code != 0) {
    *error = "the certificate " + signer->subject + " in " + options.pkcs12 + " expired on " +
             signer->not_after;
    return false;
  }
  return true;
}

bool SignFile(const SigningOptions& options, const std::string& url, const std::string& input,
              const std::string& output, std::string* error) {
  std::vector<std::string> arguments = {
      options.signcode_program, "sign", "-pkcs12", options.pkcs12, "-readpass",
      options.password_file,    "-h",   "sha256"};
  if (!url.empty()) {
    arguments.push_back("-i");
    arguments.push_back(url);
  }
  if (!options.timestamp_url.empty()) {
    arguments.push_back("-ts");
    arguments.push_back(options.timestamp_url);
  }
  arguments.insert(arguments.end(), {"-in", input, "-out", output});
  const ProgramRun run = RunProgram(arguments);
  if (Interrupted()) {
    *error = "interrupted";
    return false;
  }
  if (run.exit_code == 0) return true;
  if (!run.started) {
    *error = "cannot run " + options.signcode_program + " (Debian package osslsigncode)";
  } else if (!options.timestamp_url.empty() && (run.output.find("imestamp") != std::string::npos ||
                                                run.output.find("curl") != std::string::npos ||
                                                run.output.find("TSA") != std::string::npos)) {
    *error = "the time-stamp authority " + options.timestamp_url +
             " gave no time stamp: " + OutputTail(run.output, 2);
  } else if (run.output.find("Wrong password") != std::string::npos) {
    *error = "the password in " + options.password_file + " does not open " + options.pkcs12;
  } else {
    *error = "osslsigncode could not sign: " + OutputTail(run.output, 2);
  }
  return false;
}

bool CheckSignature(const SigningOptions& options, const std::string& file,
                    const std::string& work_dir, SignatureCheck* check, std::string* error) {
  *check = SignatureCheck();
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    *error = "cannot read " + file;
    return false;
  }
  std::string head(64 * 1024, '\0');
  in.read(&head[0], static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(in.gcount()));
  in.clear();
  in.seekg(0, std::ios::end);
  const uint64_t size = static_cast<uint64_t>(in.tellg());
  PeHeaders headers;
  if (!ReadPeHeaders(head, &headers, error)) return false;
  check->present = headers.certificate_size != 0;
  if (!check->present) return true;
  if (uint64_t{headers.certificate_offset} + headers.certificate_size > size) {
    check->problem = "the certificate table reaches past the end of the file (cut short?)";
    return true;
  }

  const std::string signature = work_dir + "/signature.pem";
  const std::string chain = work_dir + "/chain.pem";
  ProgramRun run = RunProgram(
      {options.signcode_program, "extract-signature", "-pem", "-in", file, "-out", signature});
  if (!run.started) {
    *error = "cannot run " + options.signcode_program + " (Debian package osslsigncode)";
    return false;
  }
  if (run.exit_code != 0) {
    check->problem = "the signature cannot be read: " + OutputTail(run.output, 2);
    return true;
  }
  run = RunProgram(
      {options.openssl_program, "pkcs7", "-print_certs", "-in", signature, "-out", chain});
  if (!run.started) {
    *error = "cannot run " + options.openssl_program + " (Debian package openssl)";
    return false;
  }
  std::string anchors = options.ca_file;
  if (anchors.empty()) {
    anchors = work_dir + "/anchors.pem";
    std::vector<std::string> sources = {chain};
    if (access(kSystemRoots, R_OK) == 0) sources.push_back(kSystemRoots);
    Concatenate(sources, anchors);
    check->anchors = "the certificates in the signature and the system's trusted roots";
  } else {
    check->anchors = options.ca_file;
  }

  run = RunProgram({options.signcode_program, "verify", "-in", file, "-CAfile", anchors});
  if (Interrupted()) {
    *error = "interrupted";
    return false;
  }
  const std::vector<std::string> lines = OutputLines(run.output);
  const std::string current = ValueAfter(lines, "Current message digest");
  const std::string calculated = ValueAfter(lines, "Calculated message digest");
  check->digest_matches = !current.empty() && current == calculated;
  check->timestamped = run.output.find("Timestamp is not available") == std::string::npos &&
                       run.output.find("imestamp") != std::string::npos;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].find("Signer's certificate") == std::string::npos) continue;
    for (size_t k = i + 1; k < lines.size() && k < i + 8; ++k) {
      const std::string line = Trim(lines[k]);
      if (check->signer.empty() && line.compare(0, 8, "Subject:") == 0) {
        check->signer = UnescapeName(Trim(line.substr(8)));
      }
      if (check->issuer.empty() && line.compare(0, 6, "Issuer") == 0) {
        check->issuer = UnescapeName(Trim(line.substr(line.find(':') + 1)));
      }
    }
    break;
  }
  check->valid =
      run.exit_code == 0 && run.output.find("Signature verification: ok") != std::string::npos;
  if (!check->valid) {
    if (!current.empty() && !check->digest_matches) {
      check->problem = "the file was changed after it was signed (message digest mismatch)";
    } else {
      // OpenSSL's reason is the most telling part; osslsigncode's own
      // "Error:" line comes next.
      for (const std::string& line : lines) {
        const size_t reason = line.find("Verify error:");
        if (reason != std::string::npos) {
          check->problem =
              "the certificate chain does not verify: " + Trim(line.substr(reason + 13));
          break;
        }
      }
      for (const std::string& line : lines) {
        if (!check->problem.empty()) break;
        if (Trim(line).compare(0, 6, "Error:") == 0) check->problem = Trim(Trim(line).substr(6));
      }
      if (check->problem.empty()) check->problem = OutputTail(run.output, 2);
      if (check->problem.find("local issuer") != std::string::npos && options.ca_file.empty()) {
        check->problem += " (give the issuing authority's certificates with --sign-ca FILE.pem)";
      }
    }
  }
  return true;
}

}  // namespace tnpack
