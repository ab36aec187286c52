// The fixture and helpers the tnpack tests share: a scratch folder per
// test, files, a product, archives and stubs in it, and runs of the tnpack
// program as a user would run it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace tnpack_test {

namespace fs = std::filesystem;

// A configuration with a marker and an installer section, as the tests'
// stubs carry it.
extern const char kConfig[];

std::string ReadFile(const fs::path& path);
void WriteFile(const fs::path& path, const std::string& bytes);

// Runs a shell command line; its exit status (or 128 + the signal that
// ended it) and, when |output| is given, its standard output and error.
int RunCommand(const std::string& command, std::string* output = nullptr);

std::string Quote(const fs::path& path);

// True when |text| contains |part|, for EXPECT_PRED2.
bool Contains(const std::string& text, const std::string& part);

// Names of the work folders tnpack left in |folder|.
std::string LeftoverWorkFolders(const fs::path& folder);

class TnpackTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A small product tree with a nested folder, a space, an empty folder and
  // the programs a TARNIS_INFO configuration needs.
  fs::path MakeProduct(const std::string& name = "product");
  // An archive of MakeProduct() made with 7zz and |extra_switches|.
  fs::path MakeArchive(const std::string& extra_switches);
  fs::path WriteStub(const std::string& config, size_t size = 4096);
  // A stub as the linker makes it: its file ends with its last section.
  fs::path WriteLinkedStub(const std::string& config);
  // What sha256sum prints for |path|.
  std::string Sha256Sum(const fs::path& path);

  // Runs tnpack with |arguments| (shell syntax); sets |*status|.
  std::string Tnpack(const std::string& arguments, int* status);

  fs::path dir_;
  std::string tnpack_;
  int archives_ = 0;
  int stubs_ = 0;
};

// A test that packs MakeProduct() behind a stub with kConfig into
// "setup.exe" in the scratch folder.
class ProductPackTest : public TnpackTest {
 protected:
  void SetUp() override;

  // "--stub STUB --product PRODUCT --out OUT" for a tnpack command line.
  std::string PackArguments() const;

  fs::path stub_;
  fs::path product_;
  fs::path out_;
};

}  // namespace tnpack_test
