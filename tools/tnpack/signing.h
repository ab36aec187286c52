// Authenticode signing of the finished installer through osslsigncode, and
// the check of a signature, with openssl for reading certificates.
//
// The password of the PKCS#12 file is only ever named by its file: both
// tools read it themselves (osslsigncode -readpass FILE, openssl -passin
// file:FILE), so it never appears on a command line, and no output of
// theirs that is passed on can contain it.
#pragma once

#include <string>

namespace tnpack {

struct SigningOptions {
  std::string pkcs12;         // certificate and private key
  std::string password_file;  // first line: the PKCS#12 password
  std::string timestamp_url;  // RFC 3161 time-stamp authority, optional
  // PEM certificates to verify the signature against; empty: the
  // certificates the signature carries plus the system's trusted roots.
  std::string ca_file;
  std::string signcode_program = "osslsigncode";
  std::string openssl_program = "openssl";
};

struct Certificate {
  std::string subject;  // "CN=...,O=..." (RFC 2253, UTF-8)
  std::string issuer;
  std::string not_after;
};

// Everything that can be checked before the long work starts: both
// programs run, the files are readable regular files, the password opens
// the PKCS#12 file, and its certificate is current and meant for code
// signing. |work_dir| receives scratch files. False with |*error| set.
bool CheckSigningInputs(const SigningOptions& options, const std::string& work_dir,
                        Certificate* signer, std::string* error);

// Signs |input| (SHA-256, time-stamped when a URL is given) into the new
// file |output|; |url| (may be empty) goes into the signature as the
// product's address. False with |*error| set; |output| may then exist.
bool SignFile(const SigningOptions& options, const std::string& url, const std::string& input,
              const std::string& output, std::string* error);

struct SignatureCheck {
  bool present = false;   // the file has a certificate table
  bool valid = false;     // osslsigncode verify passed against the anchors
  bool digest_matches = false;
  bool timestamped = false;
  std::string signer;     // subject of the signing certificate
  std::string issuer;
  std::string anchors;    // what the chain was verified against, for people
  std::string problem;    // why it is not valid
};

// Checks the Authenticode signature of |file| with osslsigncode verify.
// |work_dir| receives scratch files. Only fails (false) when the check
// itself cannot run; the verdict is in |*check|.
bool CheckSignature(const SigningOptions& options, const std::string& file,
                    const std::string& work_dir, SignatureCheck* check, std::string* error);

}  // namespace tnpack
