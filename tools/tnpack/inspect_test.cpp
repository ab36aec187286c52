// What tnpack shows: its steps and summary while it packs, --quiet, --help,
// and --inspect on intact, damaged and foreign files.
#include <gtest/gtest.h>

#include <string>

#include "payload/trailer.h"
#include "tools/tnpack/progress.h"
#include "tools/tnpack/test_stub.h"
#include "tools/tnpack/tnpack_test_support.h"

namespace {

using namespace tnpack_test;

constexpr int64_t kMiB = tn::kTrailerAlignment;

class OutputTest : public ProductPackTest {
 protected:
  std::string Pack(const std::string& extra, int* status) {
    return Tnpack(PackArguments() + " " + extra, status);
  }
};

TEST(ProgressTest, RateAndTimeLeft) {
  EXPECT_EQ("measuring", tnpack::Progress::RateAndTimeLeft(1000, 2000, 0.1));
  EXPECT_EQ("10.0 MB/s, 3.0 s left", tnpack::Progress::RateAndTimeLeft(10000000, 40000000, 1.0));
  EXPECT_EQ("2.0 MB/s", tnpack::Progress::RateAndTimeLeft(4000000, 4000000, 2.0));
  EXPECT_EQ("25 s", tnpack::Progress::Duration(25.2));
  EXPECT_EQ("2 min 05 s", tnpack::Progress::Duration(125));
  EXPECT_EQ("1 h 02 min", tnpack::Progress::Duration(3720));
  EXPECT_EQ("83,658,449 bytes (79.8 MiB)", tnpack::Bytes(83658449));
  EXPECT_EQ("999 bytes", tnpack::Bytes(999));
  EXPECT_EQ("5,153,960,755 bytes (4.8 GiB)", tnpack::Bytes(5153960755));
}

TEST_F(OutputTest, StepsAndSummaryAsPlainLines) {
  int status = 0;
  const std::string output = Pack("", &status);
  ASSERT_EQ(0, status) << output;
  // Not a terminal: no carriage returns or escape sequences, one line a step.
  EXPECT_EQ(std::string::npos, output.find('\r')) << output;
  EXPECT_EQ(std::string::npos, output.find('\033')) << output;
  for (const char* line : {"checking the product: 3 files, ", "compressing the product ...",
                           "compressing the product: ok", "writing the installer: ok",
                           "verifying the installer: ok"}) {
    EXPECT_PRED2(Contains, output, line);
  }
  EXPECT_PRED2(Contains, output, "tnpack: wrote " + out_.string());
  EXPECT_PRED2(Contains, output, "  files:      3 files in 2 folders, 5,027 bytes (4.9 KiB) in");
  EXPECT_PRED2(Contains, output, "  archive:    ");
  EXPECT_PRED2(Contains, output, "% of the input");
  EXPECT_PRED2(Contains, output,
               "  payload:    trailer \"TN7zOffset\" at 1048576, archive at 1048676, "
               "search start 5100");
  EXPECT_PRED2(Contains, output, "  installer:  2,097,152 bytes (2.0 MiB)");
  EXPECT_PRED2(Contains, output, "  signed:     no");
  EXPECT_PRED2(Contains, output, "  time:       ");
}

TEST_F(OutputTest, QuietPrintsNothingButErrors) {
  int status = 0;
  EXPECT_EQ("", Pack("--quiet", &status));
  EXPECT_EQ(0, status);
  const std::string output = Pack("-q --marker Other", &status);
  EXPECT_EQ(1, status);
  EXPECT_EQ(0u, output.find("tnpack: error: --marker Other differs")) << output;
}

TEST_F(OutputTest, HelpExplainsEveryOption) {
  int status = 0;
  const std::string help = Tnpack("--help", &status);
  EXPECT_EQ(0, status);
  for (const char* option :
       {"--stub", "--product", "--archive", "--out", "--search-start", "--marker", "--follow-links",
        "--sign-pkcs12", "--sign-pass-file", "--sign-timestamp", "--sign-ca", "--quiet",
        "--inspect", "--help", "Examples:", "tnpack --inspect TarnisSetup.exe"}) {
    EXPECT_PRED2(Contains, help, option);
  }
  EXPECT_EQ(2, (Tnpack("--sign-pkcs12 a.p12 --stub s --product p --out o", &status), status));
  EXPECT_EQ(2, (Tnpack("--follow-links --stub s --archive a --out o", &status), status));
  EXPECT_EQ(2, (Tnpack("--inspect x --out o", &status), status));
}

TEST_F(OutputTest, InspectsAnIntactInstaller) {
  int status = 0;
  ASSERT_EQ(0, (Pack("-q", &status), status));
  const std::string output = Tnpack("--inspect " + Quote(out_), &status);
  EXPECT_EQ(0, status) << output;
  for (const char* line :
       {"  stub:             no version information", "  marker:           \"TN7zOffset\"",
        "  trailer:          at 1048576", "  search start:     5100",
        "  archive:          at 1048676, ",
        "  items:            3 files and 2 folders, 5,027 bytes (4.9 KiB); tests clean "
        "with the installer's password",
        "  signature:        none (not signed)", "verdict: an intact installer"}) {
    EXPECT_PRED2(Contains, output, line);
  }
}

TEST_F(OutputTest, NamesTheStubByTheHashOfItsImage) {
  // The hash is sha256sum's of the stub file, in the summary and on
  // inspection; bytes a stub carries behind its sections are left out, and
  // said so.
  const fs::path stub = WriteLinkedStub(kConfig);
  const std::string hash = Sha256Sum(stub);
  int status = 0;
  std::string output = Tnpack(
      "--stub " + Quote(stub) + " --product " + Quote(product_) + " --out " + Quote(out_), &status);
  ASSERT_EQ(0, status) << output;
  EXPECT_PRED2(Contains, output, "              SHA-256 of its image " + hash);
  output = Tnpack("--inspect " + Quote(out_), &status);
  EXPECT_EQ(0, status) << output;
  EXPECT_PRED2(Contains, output, "  stub SHA-256:     " + hash + "\n");
  EXPECT_PRED2(Contains, output, "of the image as the file holds it");
  EXPECT_FALSE(Contains(output, "behind its sections")) << output;

  const fs::path carrying = dir_ / "carrying_stub.exe";
  WriteFile(carrying, ReadFile(stub) + "data behind the sections");
  const fs::path other_out = dir_ / "carrying_setup.exe";
  ASSERT_EQ(0, (Tnpack("-q --stub " + Quote(carrying) + " --product " + Quote(product_) +
                           " --out " + Quote(other_out),
                       &status),
                status));
  output = Tnpack("--inspect " + Quote(other_out), &status);
  EXPECT_EQ(0, status) << output;
  EXPECT_PRED2(Contains, output, "  stub SHA-256:     " + hash + "\n");
  EXPECT_PRED2(Contains, output, "warning: the stub carried 24 bytes behind its sections");
}

TEST_F(OutputTest, InspectsDamagedAndForeignFiles) {
  int status = 0;
  ASSERT_EQ(0, (Pack("-q", &status), status));
  const std::string installer = ReadFile(out_);
  struct Case {
    std::string name;
    std::string bytes;
    std::string message;
  } cases[] = {
      // The archive's end replaced by zeros: its header is gone.
      {"archive_cut.exe", installer.substr(0, kMiB + 300) + std::string(kMiB, '\0'),
       "the archive is damaged or cut short"},
      // Cut short so that the trailer's boundary is the file's last one,
      // which the installer's search never examines.
      {"trailer_cut.exe", installer.substr(0, kMiB + 300), "no payload trailer"},
      {"image_cut.exe", installer.substr(0, 700), "cut short"},
      {"text.exe", "just some text, no installer at all", "not a Windows executable"},
      {"bare_stub.exe", ReadFile(stub_), "no payload trailer"},
  };
  for (const Case& c : cases) {
    WriteFile(dir_ / c.name, c.bytes);
    const std::string output = Tnpack("--inspect " + Quote(dir_ / c.name), &status);
    EXPECT_EQ(1, status) << c.name << "\n" << output;
    EXPECT_PRED2(Contains, output, "verdict: DAMAGED") << c.name;
    EXPECT_PRED2(Contains, output, c.message) << c.name;
  }
  // Damaged item data: the headers are fine, the test with the password is not.
  std::string damaged = installer;
  damaged[kMiB + 100 + 40] ^= 0x5A;
  WriteFile(dir_ / "data_damaged.exe", damaged);
  std::string output = Tnpack("--inspect " + Quote(dir_ / "data_damaged.exe"), &status);
  EXPECT_EQ(1, status) << output;
  EXPECT_PRED2(Contains, output, "FAILS the test with the installer's password");
  output = Tnpack("--inspect " + Quote(dir_ / "missing.exe"), &status);
  EXPECT_EQ(1, status) << output;
  output = Tnpack("--inspect " + Quote(dir_), &status);
  EXPECT_EQ(1, status) << output;
  EXPECT_PRED2(Contains, output, "not a regular file");
}

}  // namespace
