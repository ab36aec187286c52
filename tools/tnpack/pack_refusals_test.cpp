// What tnpack refuses because the installer could not install it correctly:
// each refusal names the path, exits 1 and writes nothing at --out.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "payload/archive_password.h"
#include "tools/tnpack/packer.h"
#include "tools/tnpack/product_check.h"
#include "tools/tnpack/test_stub.h"
#include "tools/tnpack/tnpack_test_support.h"

namespace {

using namespace tnpack_test;

const std::string kPassword = std::string("-p") + tn::kArchivePassword;

// A configuration that names its programs the way the shipped one does.
const char kProgramsConfig[] =
    "[TARNIS_INFO]\r\nDisplayIcon\t= \tZEVodirodaz.exe\r\nUninstallString\t= \tuninstall.exe\r\n"
    "[AUTO_RUN]\r\nAutoRunName1\t= \tTNZiduvaZevi.exe\r\n"
    "[OFFSET_FLAG]\r\nflag\t= \tTN7zOffset\r\n";

class RefusalTest : public TnpackTest {
 protected:
  void SetUp() override {
    TnpackTest::SetUp();
    stub_ = WriteStub(kConfig);
    out_ = dir_ / "out.exe";
  }

  // Runs tnpack with |arguments| + --out |out|, expects the refusal with
  // |message| and |path| in it, and that nothing was written at --out.
  void ExpectRefused(const std::string& arguments, const std::string& message,
                     const std::string& path, const fs::path& out) {
    const bool existed = fs::exists(fs::symlink_status(out));
    const std::string before = existed && fs::is_regular_file(out) ? ReadFile(out) : "";
    int status = 0;
    const std::string output = Tnpack(arguments + " --out " + Quote(out), &status);
    EXPECT_EQ(1, status) << arguments << "\n" << output;
    EXPECT_PRED2(Contains, output, message) << arguments;
    EXPECT_PRED2(Contains, output, path) << arguments;
    if (!existed) {
      EXPECT_FALSE(fs::exists(fs::symlink_status(out))) << arguments;
    } else if (fs::is_regular_file(fs::symlink_status(out))) {
      EXPECT_EQ(before, ReadFile(out)) << arguments;
    }
    EXPECT_EQ("", LeftoverWorkFolders(out.parent_path())) << arguments;
  }
  void ExpectRefused(const std::string& arguments, const std::string& message,
                     const std::string& path) {
    ExpectRefused(arguments, message, path, out_);
  }

  std::string Pack(const fs::path& product, const std::string& extra = "") {
    return "--stub " + Quote(stub_) + " --product " + Quote(product) + " " + extra;
  }

  fs::path stub_;
  fs::path out_;
};

TEST(WindowsNameTest, NamesWindowsCannotCreate) {
  const char* const refused[] = {
      "AUX",      "aux",    "con.txt", "CON.tar.gz",  "nul .txt", "PRN",         "COM1",
      "com9.log", "LPT1",   "lpt0",    "COM\xC2\xB9", "CONIN$",   "a<b",         "a>b",
      "a:b",      "a\"b",   "a|b",     "a?b",         "a*b",      "a\\b",        "tab\there",
      "bell\x07", "trail.", "trail ",  "...",         " ",        "bad\xFFutf8", "\xC3\x28"};
  for (const char* name : refused) {
    EXPECT_NE("", tnpack::WindowsNameProblem(name)) << name;
  }
  EXPECT_NE("", tnpack::WindowsNameProblem(std::string(256, 'n')));
  const char* const accepted[] = {"a.b.c",
                                  ".hidden",
                                  "CONSOLE.txt",
                                  "COM10",
                                  "LPT",
                                  "auxiliary",
                                  "nul_file",
                                  "x.con",
                                  "with space.dll",
                                  "\xE6\xA8\xA1\xE6\x8B\x9F\xE5\x99\xA8.exe",
                                  " leading space",
                                  "a..b"};
  for (const char* name : accepted) {
    EXPECT_EQ("", tnpack::WindowsNameProblem(name)) << name;
  }
  EXPECT_EQ("", tnpack::WindowsNameProblem(std::string(255, 'n')));
}

TEST(WindowsNameTest, NamesEqualButForLetterCase) {
  std::string error;
  using Items = std::vector<tnpack::ProductItem>;
  EXPECT_TRUE(tnpack::CheckWindowsNames(
      Items{{"a", true, 0}, {"a/b.txt", false, 1}, {"c", false, 1}}, "here", &error));
  EXPECT_FALSE(tnpack::CheckWindowsNames(Items{{"ReadMe.txt", false, 1}, {"README.TXT", false, 1}},
                                         "here", &error));
  EXPECT_PRED2(Contains, error, "letter case");
  EXPECT_FALSE(tnpack::CheckWindowsNames(
      Items{{"Data", true, 0}, {"Data/x", false, 1}, {"data", true, 0}}, "here", &error));
  // Letters beyond ASCII fold too: "É" and "é".
  EXPECT_FALSE(tnpack::CheckWindowsNames(
      Items{{"\xC3\x89t\xC3\xA9", false, 1}, {"\xC3\xA9t\xC3\xA9", false, 1}}, "here", &error));
  // The same name in two folders is fine.
  EXPECT_TRUE(
      tnpack::CheckWindowsNames(Items{{"a/x", false, 1}, {"b/X", false, 1}}, "here", &error));
}

TEST_F(RefusalTest, NamesWindowsCannotCreateOrWouldMerge) {
  struct Case {
    std::vector<std::string> files;
    std::string message;
    std::string shown;
  } cases[] = {
      {{"AUX"}, "reserved", "AUX"},
      {{"docs/con.txt"}, "reserved", "docs/con.txt"},
      {{"a:b"}, "':'", "a:b"},
      {{"what?.txt"}, "'?'", "what?.txt"},
      {{"x<y>"}, "'<'", "x<y>"},
      {{"pipe|d"}, "'|'", "pipe|d"},
      {{"star*"}, "'*'", "star*"},
      {{"quote\"d"}, "'\"'", "quote\"d"},
      {{"back\\slash"}, "'\\'", "back\\slash"},
      {{"ctl\x01name"}, "control characters", "ctl\x01name"},
      {{"trail."}, "trailing dot", "trail."},
      {{"trail "}, "trailing space", "trail "},
      {{"data/Guide.txt", "data/guide.TXT"}, "letter case", "guide.TXT"},
      {{"Bin/a.dll", "bin/b.dll"}, "letter case", "\"bin\""},
  };
  int round = 0;
  for (const Case& c : cases) {
    const fs::path product = MakeProduct("product" + std::to_string(++round));
    for (const std::string& file : c.files) WriteFile(product / file, "x");
    ExpectRefused(Pack(product), c.message, c.shown);
  }
}

TEST_F(RefusalTest, SymbolicLinks) {
  const fs::path product = MakeProduct();
  WriteFile(dir_ / "outside" / "secret.txt", "not part of the product");
  fs::create_symlink(dir_ / "outside" / "secret.txt", product / "leak.txt");
  ExpectRefused(Pack(product), "symbolic link", "leak.txt");
  // Even when links are followed, one that leads out of the product is refused.
  ExpectRefused(Pack(product, "--follow-links"), "outside the product", "leak.txt");
  fs::remove(product / "leak.txt");

  // A dangling link, and one into a folder that contains it.
  fs::create_symlink("nowhere.txt", product / "dangling.txt");
  ExpectRefused(Pack(product, "--follow-links"), "does not exist", "dangling.txt");
  fs::remove(product / "dangling.txt");
  fs::create_directory_symlink("..", product / "bin" / "up");
  ExpectRefused(Pack(product, "--follow-links"), "never end", "bin/up");
  fs::remove(product / "bin" / "up");

  // Links that stay inside are packed as what they point to with --follow-links.
  fs::create_symlink("ZEVodirodaz.exe", product / "alias.exe");
  fs::create_directory_symlink("bin", product / "bin2");
  ExpectRefused(Pack(product), "symbolic link", "alias.exe");
  int status = 0;
  const std::string output =
      Tnpack(Pack(product, "--follow-links") + " --out " + Quote(out_), &status);
  ASSERT_EQ(0, status) << output;
  // The archive lies behind the trailer at the first MiB boundary.
  WriteFile(dir_ / "payload.7z", ReadFile(out_).substr(1048576 + 100));
  ASSERT_EQ(0, RunCommand("7zz x -bso0 -bsp0 " + kPassword + " -o" + Quote(dir_ / "x") + " " +
                          Quote(dir_ / "payload.7z")));
  EXPECT_EQ(std::string(5000, 'p'), ReadFile(dir_ / "x" / "alias.exe"));
  EXPECT_EQ("library bytes", ReadFile(dir_ / "x" / "bin2" / "with space.dll"));
  EXPECT_FALSE(fs::is_symlink(dir_ / "x" / "alias.exe"));
}

TEST_F(RefusalTest, SpecialFilesInTheProduct) {
  const fs::path product = MakeProduct();
  ASSERT_EQ(0, mkfifo((product / "pipe").c_str(), 0600));
  ExpectRefused(Pack(product), "FIFO", "pipe");
}

TEST_F(RefusalTest, ProgramsTheConfigurationNames) {
  const fs::path stub = WriteStub(kProgramsConfig);
  const fs::path product = MakeProduct();
  ExpectRefused("--stub " + Quote(stub) + " --product " + Quote(product), "lacks",
                "uninstall.exe, TNZiduvaZevi.exe");
  // Windows finds a program whatever the letter case of its name.
  WriteFile(product / "UNINSTALL.EXE", "u");
  WriteFile(product / "tnziduvazevi.exe", "a");
  int status = 0;
  std::string output = Tnpack(
      "--stub " + Quote(stub) + " --product " + Quote(product) + " --out " + Quote(out_), &status);
  EXPECT_EQ(0, status) << output;
  // Without the reporting program the installer starts afterwards.
  fs::remove(product / "ZiduVaziruzOzuded.exe");
  fs::remove(out_);
  ExpectRefused("--stub " + Quote(stub) + " --product " + Quote(product), "lacks",
                "ZiduVaziruzOzuded.exe");

  // A ready archive without them only gives a warning (its maker may pack
  // test data on purpose).
  const fs::path archive = dir_ / "bare.7z";
  ASSERT_EQ(0, RunCommand("cd " + Quote(product / "bin") + " && 7zz a -bso0 -bsp0 " + kPassword +
                          " " + Quote(archive) + " '*'"));
  output = Tnpack(
      "--stub " + Quote(stub) + " --archive " + Quote(archive) + " --out " + Quote(out_), &status);
  EXPECT_EQ(0, status) << output;
  EXPECT_PRED2(Contains, output, "warning: archive");
  EXPECT_PRED2(Contains, output, "ZEVodirodaz.exe");
}

TEST_F(RefusalTest, OutputThatIsNoNewRegularFile) {
  const fs::path product = MakeProduct();
  const fs::path archive = MakeArchive(kPassword);
  const std::string stub_bytes = ReadFile(stub_);
  ExpectRefused(Pack(product), "is the stub itself", stub_.string(), stub_);
  EXPECT_EQ(stub_bytes, ReadFile(stub_));
  ExpectRefused("--stub " + Quote(stub_) + " --archive " + Quote(archive), "is the --archive file",
                archive.string(), archive);
  WriteFile(dir_ / "pass.txt", "password\n");
  WriteFile(dir_ / "cert.p12", "certificate");
  const std::string signing = " --sign-pkcs12 " + Quote(dir_ / "cert.p12") + " --sign-pass-file " +
                              Quote(dir_ / "pass.txt");
  ExpectRefused(Pack(product, signing), "is the --sign-pass-file password file", "pass.txt",
                dir_ / "pass.txt");
  ExpectRefused(Pack(product, signing), "is the --sign-pkcs12 certificate", "cert.p12",
                dir_ / "cert.p12");
  ExpectRefused(Pack(product), "inside the product folder", "Setup.exe", product / "Setup.exe");
  ExpectRefused(Pack(product), "inside the product folder", "Setup.exe",
                product / "bin" / "Setup.exe");

  fs::create_directory(dir_ / "folder");
  ExpectRefused(Pack(product), "is a folder", "folder", dir_ / "folder");
  EXPECT_TRUE(fs::is_directory(dir_ / "folder"));
  ExpectRefused(Pack(product), "names a folder", "new/", fs::path((dir_ / "new").string() + "/"));
  ASSERT_EQ(0, mkfifo((dir_ / "fifo").c_str(), 0600));
  ExpectRefused(Pack(product), "not a regular file", "fifo", dir_ / "fifo");
  EXPECT_EQ(fs::file_type::fifo, fs::status(dir_ / "fifo").type());
  ExpectRefused(Pack(product), "not a regular file", "/dev/null", "/dev/null");
  fs::create_symlink(stub_, dir_ / "link.exe");
  ExpectRefused(Pack(product), "symbolic link", "link.exe", dir_ / "link.exe");
  ExpectRefused(Pack(product), "does not exist", "missing", dir_ / "missing" / "setup.exe");
}

// A caller of the library may leave the output empty; the command line
// catches that itself.
TEST_F(RefusalTest, EmptyOutputThroughTheLibrary) {
  tnpack::PackOptions options;
  options.stub_path = stub_.string();
  options.product_dir = MakeProduct().string();
  tnpack::PackResult result;
  EXPECT_FALSE(tnpack::Pack(options, &result));
  EXPECT_PRED2(Contains, result.error, "--out is empty");
  EXPECT_EQ("", LeftoverWorkFolders(dir_));
}

TEST_F(RefusalTest, StubsThatAreNoImage) {
  const fs::path archive = MakeArchive(kPassword);
  const std::string with_archive = " --archive " + Quote(archive);
  fs::create_directory(dir_ / "stubdir");
  ExpectRefused("--stub " + Quote(dir_ / "stubdir") + with_archive, "is a folder", "stubdir");
  ExpectRefused("--stub /dev/zero" + with_archive, "not a regular file", "/dev/zero");
  ASSERT_EQ(0, mkfifo((dir_ / "stubfifo").c_str(), 0600));
  ExpectRefused("--stub " + Quote(dir_ / "stubfifo") + with_archive, "not a regular file",
                "stubfifo");

  // An image cut inside its last section: its loader would read past the
  // end of the image into the filler.
  const std::string image = MakeStubImage(kConfig, 600);
  const size_t cut = image.find("[OFFSET_FLAG]") + 20;
  WriteFile(dir_ / "cut.exe", image.substr(0, cut));
  ExpectRefused("--stub " + Quote(dir_ / "cut.exe") + with_archive + " --marker TN7zOffset",
                "cut short", "cut.exe");
}

TEST_F(RefusalTest, ArchivesTheInstallerCannotOpen) {
  const fs::path plain = MakeArchive("");
  ExpectRefused("--stub " + Quote(stub_) + " --archive " + Quote(plain), "is not encrypted",
                plain.string());
  const fs::path other = MakeArchive("-pnot-the-installers -mhe=off");
  ExpectRefused("--stub " + Quote(stub_) + " --archive " + Quote(other),
                "does not test clean with the installer's password", other.string());

  // Damaged data with intact headers: it lists fine but does not test clean.
  const fs::path good = MakeArchive(kPassword);
  std::string bytes = ReadFile(good);
  bytes[40] ^= 0x5A;
  const fs::path damaged = dir_ / "damaged.7z";
  WriteFile(damaged, bytes);
  ExpectRefused("--stub " + Quote(stub_) + " --archive " + Quote(damaged),
                "does not test clean with the installer's password", damaged.string());
  // Names are checked in a ready archive too.
  const fs::path product = MakeProduct("named");
  WriteFile(product / "docs" / "aux.txt", "x");
  ASSERT_EQ(0, RunCommand("cd " + Quote(product) + " && 7zz a -bso0 -bsp0 " + kPassword + " " +
                          Quote(dir_ / "named.7z") + " '*'"));
  ExpectRefused("--stub " + Quote(stub_) + " --archive " + Quote(dir_ / "named.7z"), "reserved",
                "docs/aux.txt");
  ExpectRefused("--stub " + Quote(stub_) + " --archive " + Quote(dir_), "not a regular file",
                dir_.string());
}

TEST_F(RefusalTest, InterruptedRunsLeaveNothingBehind) {
  // A 7zz that never finishes stands in for a long compression.
  const fs::path bin = dir_ / "fakebin";
  WriteFile(bin / "7zz", "#!/bin/sh\necho started > \"$TN_STARTED\"\nexec sleep 60\n");
  fs::permissions(bin / "7zz", fs::perms::owner_all);
  const fs::path product = MakeProduct();
  for (int signal_number : {SIGTERM, SIGINT}) {
    const fs::path started = dir_ / ("started_" + std::to_string(signal_number));
    const std::string path = bin.string() + ":" + std::getenv("PATH");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      setenv("PATH", path.c_str(), 1);
      setenv("TN_STARTED", started.c_str(), 1);
      const int null_output = open("/dev/null", O_WRONLY);
      dup2(null_output, STDOUT_FILENO);
      dup2(null_output, STDERR_FILENO);
      execl(tnpack_.c_str(), tnpack_.c_str(), "--stub", stub_.c_str(), "--product", product.c_str(),
            "--out", out_.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 200 && !fs::exists(started); ++i) usleep(50 * 1000);
    EXPECT_TRUE(fs::exists(started)) << signal_number;
    kill(child, signal_number);
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number)
        << signal_number << " " << status;
    EXPECT_EQ("", LeftoverWorkFolders(dir_)) << signal_number;
    EXPECT_FALSE(fs::exists(out_)) << signal_number;
  }
}

}  // namespace
