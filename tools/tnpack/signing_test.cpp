// Signing with a throw-away certificate authority made with openssl here:
// the signed installer verifies against it, keeps its payload reachable,
// and any byte changed afterwards is caught; bad signing inputs are refused
// before anything is written, and the password shows up nowhere.
#include <gtest/gtest.h>

#include <string>

#include "payload/archive_password.h"
#include "payload/trailer.h"
#include "tools/tnpack/packer.h"
#include "tools/tnpack/pe_resources.h"
#include "tools/tnpack/sevenzip_header.h"
#include "tools/tnpack/tnpack_test_support.h"

namespace {

using namespace tnpack_test;

constexpr int64_t kMiB = tn::kTrailerAlignment;
const char kPassword[] = "Tn-s3cret-P4ss word";

const char kExtensions[] =
    "[authority]\n"
    "basicConstraints = critical, CA:TRUE\n"
    "keyUsage = critical, keyCertSign, cRLSign\n"
    "subjectKeyIdentifier = hash\n"
    "[code_signing]\n"
    "basicConstraints = critical, CA:FALSE\n"
    "keyUsage = critical, digitalSignature\n"
    "extendedKeyUsage = codeSigning\n"
    "subjectKeyIdentifier = hash\n"
    "authorityKeyIdentifier = keyid\n"
    "[web_server]\n"
    "basicConstraints = critical, CA:FALSE\n"
    "keyUsage = critical, digitalSignature\n"
    "extendedKeyUsage = serverAuth\n";

class SigningTest : public ProductPackTest {
 protected:
  // One authority and its certificates for all tests of the suite.
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/tnpack-certs-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    certs_ = new fs::path(pattern);
    const fs::path& c = *certs_;
    WriteFile(c / "extensions.cnf", kExtensions);
    WriteFile(c / "pass.txt", std::string(kPassword) + "\n");
    WriteFile(c / "wrong.txt", "not the password\n");
    std::string output;
    ASSERT_EQ(
        0, RunCommand("cd " + Quote(c) +
                          " && openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem"
                          " -days 3 -subj '/CN=tnpack test authority' -config extensions.cnf"
                          " -extensions authority",
                      &output))
        << output;
    for (const char* name : {"code_signing", "web_server"}) {
      const std::string n = name;
      ASSERT_EQ(
          0, RunCommand("cd " + Quote(c) + " && openssl req -newkey rsa:2048 -nodes -keyout " + n +
                            ".key -out " + n + ".csr -subj '/CN=tnpack test " + n +
                            "' -config extensions.cnf && openssl x509 -req -in " + n +
                            ".csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -out " + n +
                            ".pem -extfile extensions.cnf -extensions " + n +
                            " && openssl pkcs12 -export -inkey " + n + ".key -in " + n +
                            ".pem -certfile ca.pem -out " + n + ".p12 -passout file:pass.txt",
                        &output))
          << output;
    }
    // The signing certificate alone, without its authority.
    ASSERT_EQ(0, RunCommand("cd " + Quote(c) +
                                " && openssl pkcs12 -export -inkey code_signing.key"
                                " -in code_signing.pem -out alone.p12 -passout file:pass.txt",
                            &output))
        << output;
  }
  static void TearDownTestSuite() {
    std::error_code ignored;
    fs::remove_all(*certs_, ignored);
    delete certs_;
  }

  std::string Sign(const std::string& p12, const std::string& password_file, int* status,
                   const std::string& extra = "") {
    return Tnpack(PackArguments() + " --sign-pkcs12 " + Quote(*certs_ / p12) +
                      " --sign-pass-file " + Quote(*certs_ / password_file) + " " + extra,
                  status);
  }

  void ExpectNothingWritten(const std::string& context) {
    EXPECT_FALSE(fs::exists(out_)) << context;
    EXPECT_EQ("", LeftoverWorkFolders(dir_)) << context;
  }

  static fs::path* certs_;
};

fs::path* SigningTest::certs_ = nullptr;

TEST_F(SigningTest, SignedInstallerVerifiesAndKeepsItsPayload) {
  int status = 0;
  std::string output =
      Sign("code_signing.p12", "pass.txt", &status, "--sign-ca " + Quote(*certs_ / "ca.pem"));
  ASSERT_EQ(0, status) << output;
  EXPECT_PRED2(Contains, output, "signed:     yes, by /CN=tnpack test code_signing");
  ASSERT_EQ(0, RunCommand("osslsigncode verify -in " + Quote(out_) + " -CAfile " +
                              Quote(*certs_ / "ca.pem"),
                          &output))
      << output;

  // The installer's own search still finds the trailer, and the archive
  // behind it is whole, with the certificate table behind the archive.
  std::string error;
  ASSERT_TRUE(tnpack::VerifyInstaller(out_.string(), "TN7zOffset", 5100, kMiB + 100, &error))
      << error;
  const std::string installer = ReadFile(out_);
  tnpack::PeHeaders headers;
  ASSERT_TRUE(tnpack::ReadPeHeaders(installer, &headers, &error)) << error;
  tnpack::SevenZipInfo archive;
  ASSERT_TRUE(tnpack::InspectSevenZip(out_.string(), kMiB + 100, &archive, &error)) << error;
  EXPECT_GE(headers.certificate_offset, kMiB + 100 + archive.archive_size);
  EXPECT_EQ(installer.size(), uint64_t{headers.certificate_offset} + headers.certificate_size);
  WriteFile(dir_ / "payload.7z", installer.substr(kMiB + 100, archive.archive_size));
  EXPECT_EQ(0, RunCommand(std::string("7zz t -p") + tn::kArchivePassword + " " +
                          Quote(dir_ / "payload.7z")));

  output = Tnpack("--inspect " + Quote(out_) + " --sign-ca " + Quote(*certs_ / "ca.pem"), &status);
  EXPECT_EQ(0, status) << output;
  EXPECT_PRED2(Contains, output, "signature:        present and valid");
  EXPECT_PRED2(Contains, output, "verdict: an intact installer");

  // Without --sign-ca the chain the signature carries (the authority is in
  // the PKCS#12 file) is enough to check it.
  fs::remove(out_);
  output = Sign("code_signing.p12", "pass.txt", &status);
  ASSERT_EQ(0, status) << output;
  EXPECT_PRED2(Contains, output, "verified against the certificates in the signature");
}

TEST_F(SigningTest, AByteChangedAfterSigningIsCaught) {
  int status = 0;
  std::string output = Sign("code_signing.p12", "pass.txt", &status);
  ASSERT_EQ(0, status) << output;
  std::string installer = ReadFile(out_);
  installer[kMiB + 100 + 60] ^= 0x01;  // inside the archive's packed data
  WriteFile(out_, installer);
  EXPECT_NE(0, RunCommand("osslsigncode verify -in " + Quote(out_) + " -CAfile " +
                              Quote(*certs_ / "ca.pem"),
                          &output))
      << output;
  output = Tnpack("--inspect " + Quote(out_) + " --sign-ca " + Quote(*certs_ / "ca.pem"), &status);
  EXPECT_EQ(1, status) << output;
  EXPECT_PRED2(Contains, output, "present but INVALID");
  EXPECT_PRED2(Contains, output, "changed after it was signed");
  EXPECT_PRED2(Contains, output, "verdict: DAMAGED");
}

TEST_F(SigningTest, BadSigningInputsAreRefusedBeforeAnythingIsWritten) {
  struct Case {
    std::string p12, password;
    std::string message;
  } cases[] = {
      {"code_signing.p12", "wrong.txt", "does not open"},
      {"missing.p12", "pass.txt", "certificate file"},
      {"code_signing.p12", "missing.txt", "password file"},
      {"web_server.p12", "pass.txt", "not meant for code signing"},
      {"code_signing.pem", "pass.txt", "PKCS#12"},
  };
  for (const Case& c : cases) {
    int status = 0;
    const std::string output = Sign(c.p12, c.password, &status);
    EXPECT_EQ(1, status) << c.p12 << " " << c.password << "\n" << output;
    EXPECT_PRED2(Contains, output, c.message) << output;
    EXPECT_FALSE(Contains(output, kPassword)) << output;
    ExpectNothingWritten(c.p12 + " " + c.password);
  }
  // A certificate whose authority nobody gave cannot be verified.
  int status = 0;
  std::string output = Sign("alone.p12", "pass.txt", &status);
  EXPECT_EQ(1, status) << output;
  EXPECT_PRED2(Contains, output, "--sign-ca");
  ExpectNothingWritten("alone.p12");
  output = Sign("alone.p12", "pass.txt", &status, "--sign-ca " + Quote(*certs_ / "ca.pem"));
  EXPECT_EQ(0, status) << output;
  fs::remove(out_);
  // A time-stamp authority that does not answer.
  output = Sign("code_signing.p12", "pass.txt", &status, "--sign-timestamp http://127.0.0.1:9/");
  EXPECT_EQ(1, status) << output;
  EXPECT_PRED2(Contains, output, "time-stamp authority");
  ExpectNothingWritten("timestamp");
}

TEST_F(SigningTest, ThePasswordIsNeverOnACommandLineNorShown) {
  // Wrappers record every command line of the two programs tnpack runs.
  const fs::path bin = dir_ / "spybin";
  const fs::path log = dir_ / "commands.log";
  for (const char* program : {"osslsigncode", "openssl"}) {
    std::string real;
    ASSERT_EQ(0, RunCommand(std::string("command -v ") + program, &real));
    real.erase(real.find_last_not_of("\n") + 1);
    WriteFile(bin / program,
              "#!/bin/sh\necho \"$0 $*\" >> " + Quote(log) + "\nexec " + real + " \"$@\"\n");
    fs::permissions(bin / program, fs::perms::owner_all);
  }
  const std::string tool = tnpack_;
  tnpack_ = "PATH=" + Quote(bin) + ":\"$PATH\" " + tool;
  int status = 0;
  std::string output = Sign("code_signing.p12", "pass.txt", &status);
  EXPECT_EQ(0, status) << output;
  output += Tnpack("--inspect " + Quote(out_), &status);
  fs::remove(out_);
  output +=
      Sign("code_signing.p12", "wrong.txt", &status) + Sign("web_server.p12", "pass.txt", &status);
  tnpack_ = tool;
  const std::string commands = ReadFile(log);
  EXPECT_PRED2(Contains, commands, "osslsigncode sign");
  EXPECT_PRED2(Contains, commands, "-readpass");
  EXPECT_FALSE(Contains(commands, "s3cret")) << commands;
  EXPECT_FALSE(Contains(output, "s3cret")) << output;
}

}  // namespace
