#include "tools/tnpack/tnpack_test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "payload/archive_password.h"
#include "tools/tnpack/pe_resources.h"
#include "tools/tnpack/test_stub.h"

namespace tnpack_test {

const char kConfig[] =
    "[TARNIS_INFO]\r\nDisplayName\t\t\t=Tarnis\xC4\xA3\xC4\xE2\xC6\xF7\r\n"
    "[OFFSET_FLAG]\r\nflag = TN7zOffset \r\n[MIN_INSTALL_SPACE]\r\nsize_GB=7\r\n";

std::string ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

int RunCommand(const std::string& command, std::string* output) {
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  std::string text;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) text.append(buffer, n);
  const int status = pclose(pipe);
  if (output) *output = text;
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quote(const fs::path& path) { return "'" + path.string() + "'"; }

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string LeftoverWorkFolders(const fs::path& folder) {
  std::string names;
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(folder, ignored)) {
    const std::string name = entry.path().filename().string();
    if (name.find(".tnpack-") != std::string::npos) names += name + " ";
  }
  return names;
}

void TnpackTest::SetUp() {
  char pattern[] = "/tmp/tnpack-test-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(pattern));
  dir_ = pattern;
  const char* tool = std::getenv("TNPACK");
  tnpack_ = tool ? tool : "tnpack";
}

void TnpackTest::TearDown() {
  std::error_code ignored;
  // A test may leave files it made unwritable.
  RunCommand("chmod -R u+rwx " + Quote(dir_));
  fs::remove_all(dir_, ignored);
}

fs::path TnpackTest::MakeProduct(const std::string& name) {
  const fs::path product = dir_ / name;
  WriteFile(product / "ZEVodirodaz.exe", std::string(5000, 'p'));
  WriteFile(product / "ZiduVaziruzOzuded.exe", "report program");
  WriteFile(product / "bin" / "with space.dll", "library bytes");
  fs::create_directories(product / "empty");
  return product;
}

fs::path TnpackTest::MakeArchive(const std::string& extra_switches) {
  const fs::path product = MakeProduct("archive_product" + std::to_string(archives_));
  const fs::path archive = dir_ / ("a" + std::to_string(++archives_) + ".7z");
  EXPECT_EQ(0, RunCommand("cd " + Quote(product) + " && 7zz a -t7z -bso0 -bsp0 " + extra_switches +
                          " " + Quote(archive) + " '*'"));
  return archive;
}

fs::path TnpackTest::WriteStub(const std::string& config, size_t size) {
  const fs::path stub = dir_ / ("stub" + std::to_string(++stubs_) + ".exe");
  WriteFile(stub, MakeStubImage(config, size));
  return stub;
}

fs::path TnpackTest::WriteLinkedStub(const std::string& config) {
  std::string image = MakeStubImage(config);
  tnpack::PeHeaders headers;
  std::string error;
  EXPECT_TRUE(tnpack::ReadPeHeaders(image, &headers, &error)) << error;
  image.resize(static_cast<size_t>(headers.image_end));
  const fs::path stub = dir_ / ("linked_stub" + std::to_string(++stubs_) + ".exe");
  WriteFile(stub, image);
  return stub;
}

std::string TnpackTest::Sha256Sum(const fs::path& path) {
  std::string output;
  EXPECT_EQ(0, RunCommand("sha256sum " + Quote(path), &output)) << output;
  return output.substr(0, 64);
}

std::string TnpackTest::Tnpack(const std::string& arguments, int* status) {
  std::string output;
  *status = RunCommand(tnpack_ + " " + arguments, &output);
  return output;
}

void ProductPackTest::SetUp() {
  TnpackTest::SetUp();
  stub_ = WriteStub(kConfig, 5000);
  product_ = MakeProduct();
  out_ = dir_ / "setup.exe";
}

std::string ProductPackTest::PackArguments() const {
  return "--stub " + Quote(stub_) + " --product " + Quote(product_) + " --out " + Quote(out_);
}

}  // namespace tnpack_test
