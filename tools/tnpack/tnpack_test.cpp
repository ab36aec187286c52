#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "payload/archive_password.h"
#include "payload/trailer.h"
#include "tools/tnpack/ini_text.h"
#include "tools/tnpack/packer.h"
#include "tools/tnpack/pe_resources.h"
#include "tools/tnpack/product_check.h"
#include "tools/tnpack/sevenzip_header.h"
#include "tools/tnpack/test_stub.h"
#include "tools/tnpack/tnpack_test_support.h"

namespace {

using namespace tnpack_test;

constexpr int64_t kMiB = tn::kTrailerAlignment;

TEST_F(TnpackTest, ReadsMarkerFromStubConfiguration) {
  std::string error;
  EXPECT_EQ("TN7zOffset", tnpack::ReadStubMarker(tnpack_test::MakeStubImage(kConfig), &error));
  EXPECT_EQ("", tnpack::ReadStubMarker(tnpack_test::MakeStubImage(""), &error));
  EXPECT_NE(std::string::npos, error.find("no resources"));
  EXPECT_EQ("", tnpack::ReadStubMarker(tnpack_test::MakeStubImage("[OTHER]\nflag=x\n"), &error));
  EXPECT_NE(std::string::npos, error.find("OFFSET_FLAG"));
  EXPECT_FALSE(tnpack::IsPortableExecutable("MZ not really"));
  EXPECT_FALSE(tnpack::IsPortableExecutable(""));
}

TEST_F(TnpackTest, IniLookupFollowsTheProfileReader) {
  struct Case {
    const char* text;
    bool found;
    const char* value;
  } cases[] = {
      {"[OFFSET_FLAG]\nflag=TN7zOffset\n", true, "TN7zOffset"},
      {"[OFFSET_FLAG]\r\n  flag  =  a=b  \r\n", true, "a=b"},
      {"[offset_flag]\nflag=x\n", false, ""},
      {"[OFFSET_FLAG]\nFlag=x\n", false, ""},
      {"[OFFSET_FLAG]\nflags=x\nflag=y\n", true, "y"},
      {"[A]\nflag=x\n[OFFSET_FLAG]\n;flag=z\nflag=y\n[B]\nflag=w\n", true, "y"},
      {"[OFFSET_FLAG]\nother=1\n[OFFSET_FLAG]\nflag=late\n", false, ""},
      {"\xEF\xBB\xBF[OFFSET_FLAG]\nflag=bom\n", true, "bom"},
  };
  for (const Case& c : cases) {
    std::string value;
    EXPECT_EQ(c.found, tnpack::FindIniValue(c.text, "OFFSET_FLAG", "flag", &value)) << c.text;
    if (c.found) {
      EXPECT_EQ(c.value, value) << c.text;
    }
  }
}

// "7zz l -slt -ba" as it lists an archive: blank lines between items, line
// ends as the platform writes them, none after the last line.
TEST(SevenZipListingTest, ReadsItemsAndTheFirstUnencryptedOne) {
  const std::string listing =
      "Path = data\r\nSize = 0\r\nPacked Size = 0\r\nAttributes = D drwxr-xr-x\r\n"
      "Encrypted = -\r\n\r\n"
      "Path = data/empty.txt\r\nSize = 0\r\nPacked Size = 0\r\nAttributes = A -rw-r--r--\r\n"
      "Encrypted = -\r\n\r\n"
      "Path = data/a b.dll\r\nSize = 13\r\nPacked Size = 32\r\nEncrypted = +\r\n\r\n"
      "Path = plain.txt\r\nSize = 5\r\nEncrypted = -";
  std::vector<tnpack::ProductItem> items;
  std::string unencrypted;
  ASSERT_TRUE(tnpack::ParseSevenZipListing(listing, &items, &unencrypted));
  ASSERT_EQ(4u, items.size());
  EXPECT_EQ("data", items[0].path);
  EXPECT_TRUE(items[0].folder);
  EXPECT_EQ("data/empty.txt", items[1].path);
  EXPECT_FALSE(items[1].folder);
  EXPECT_EQ("data/a b.dll", items[2].path);
  EXPECT_EQ(13, items[2].size);
  EXPECT_EQ("plain.txt", items[3].path);
  EXPECT_EQ(5, items[3].size);
  // An empty file has no data to encrypt; the first one with data is named.
  EXPECT_EQ("plain.txt", unencrypted);
  const tnpack::ItemCounts counts = tnpack::CountItems(items);
  EXPECT_EQ(3, counts.files);
  EXPECT_EQ(1, counts.folders);
  EXPECT_EQ(18, counts.bytes);

  ASSERT_TRUE(tnpack::ParseSevenZipListing("Path = a.txt\nSize = 2\nEncrypted = +\n", &items,
                                           &unencrypted));
  EXPECT_EQ(1u, items.size());
  EXPECT_EQ("", unencrypted);
  EXPECT_FALSE(tnpack::ParseSevenZipListing("", &items, &unencrypted));
}

TEST_F(TnpackTest, InspectsArchiveHeaders) {
  const std::string password = std::string("-p") + tn::kArchivePassword;
  tnpack::SevenZipInfo info;
  std::string error;
  const fs::path plain = MakeArchive(password + " -mhe=off");
  ASSERT_TRUE(tnpack::InspectSevenZip(plain.string(), 0, &info, &error)) << error;
  EXPECT_FALSE(info.header_encrypted);
  EXPECT_EQ(fs::file_size(plain), info.archive_size);

  const fs::path encrypted = MakeArchive(password + " -mhe=on");
  ASSERT_TRUE(tnpack::InspectSevenZip(encrypted.string(), 0, &info, &error)) << error;
  EXPECT_TRUE(info.header_encrypted);

  // A truncated archive has its header beyond the end of the file.
  const std::string bytes = ReadFile(plain);
  WriteFile(dir_ / "cut.7z", bytes.substr(0, bytes.size() - 10));
  EXPECT_FALSE(tnpack::InspectSevenZip((dir_ / "cut.7z").string(), 0, &info, &error));
  std::string damaged = bytes;
  damaged[40] ^= 0x55;
  damaged[damaged.size() - 3] ^= 0x55;
  WriteFile(dir_ / "damaged.7z", damaged);
  EXPECT_FALSE(tnpack::InspectSevenZip((dir_ / "damaged.7z").string(), 0, &info, &error));
}

TEST_F(TnpackTest, PlansTheLayout) {
  tnpack::PackResult r;
  ASSERT_TRUE(
      tnpack::PlanLayout(2681856, 83658449, tnpack::SearchStartMode::kImageEnd, 0, false, &r));
  EXPECT_EQ(3 * kMiB, r.trailer_offset);
  EXPECT_EQ(3 * kMiB + 100, r.archive_offset);
  EXPECT_EQ(2681956, r.search_start);
  EXPECT_EQ(3 * kMiB + 100 + 83658449, r.output_size);

  // A small archive is padded so that boundary k is not the last one.
  ASSERT_TRUE(tnpack::PlanLayout(kMiB, 1000, tnpack::SearchStartMode::kArchive, 0, false, &r));
  EXPECT_EQ(kMiB, r.trailer_offset);
  EXPECT_EQ(kMiB + 100, r.search_start);
  EXPECT_EQ(2 * kMiB, r.output_size);

  struct Explicit {
    int64_t start;
    bool ok;
  } explicit_cases[] = {
      {0, false}, {-5, false}, {1, true}, {kMiB + 100, true}, {kMiB + 101, false}};
  for (const Explicit& c : explicit_cases) {
    EXPECT_EQ(c.ok, tnpack::PlanLayout(4096, 1000, tnpack::SearchStartMode::kExplicit, c.start,
                                       false, &r))
        << c.start;
  }
  // 9 MiB stub: the search start 8 MiB + 1 before the archive is too far.
  EXPECT_FALSE(tnpack::PlanLayout(9 * kMiB, 1000, tnpack::SearchStartMode::kExplicit,
                                  9 * kMiB + 100 - (8 * kMiB + 1), false, &r));
  EXPECT_TRUE(tnpack::PlanLayout(9 * kMiB, 1000, tnpack::SearchStartMode::kExplicit,
                                 9 * kMiB + 100 - 8 * kMiB, false, &r));
}

TEST_F(TnpackTest, InstallerSizeLimits) {
  // Below 4 GiB, and below it by the signature reserve when signing; sizes
  // past 2^31 and 2^32 must not wrap.
  struct Case {
    int64_t archive;
    bool signing;
    bool ok;
  } cases[] = {
      {tn::kMaxInstallerSize - kMiB - 100, false, true},
      {tn::kMaxInstallerSize - kMiB - 99, false, false},
      {tn::kMaxInstallerSize - kMiB - 100 - tnpack::kSignatureReserve, true, true},
      {tn::kMaxInstallerSize - kMiB - 99 - tnpack::kSignatureReserve, true, false},
      {int64_t{5} << 30, false, false},           // a 5 GiB archive
      {(int64_t{1} << 32) + 1000, false, false},  // would wrap to 1000 in 32 bits
      {int64_t{3} << 30, true, true},
      {-1, false, false},
  };
  for (const Case& c : cases) {
    tnpack::PackResult r;
    EXPECT_EQ(c.ok, tnpack::PlanLayout(kMiB, c.archive, tnpack::SearchStartMode::kArchive, 0,
                                       c.signing, &r))
        << c.archive << (c.signing ? " signed" : "");
    if (!c.ok) {
      EXPECT_PRED2(Contains, r.error, "below 4 GiB") << c.archive;
    }
  }
  EXPECT_EQ("", tnpack::LargeInstallerWarning(tnpack::kLargeInstallerSize - 1));
  const std::string warning = tnpack::LargeInstallerWarning(tnpack::kLargeInstallerSize);
  EXPECT_PRED2(Contains, warning, "2,147,483,648 bytes (2.0 GiB)");
  EXPECT_PRED2(Contains, warning, "2 GiB or more");
}

TEST_F(TnpackTest, PacksAProductFolder) {
  const fs::path stub = WriteStub(kConfig, 1536 * 1024);
  const fs::path product = MakeProduct();
  const fs::path out = dir_ / "setup.exe";
  int status = 0;
  const std::string output = Tnpack(
      "--stub " + Quote(stub) + " --product " + Quote(product) + " --out " + Quote(out), &status);
  ASSERT_EQ(0, status) << output;

  const std::string installer = ReadFile(out);
  const std::string stub_bytes = ReadFile(stub);
  ASSERT_GE(installer.size(), static_cast<size_t>(3 * kMiB));  // trailer at 2 MiB, never last
  EXPECT_EQ(stub_bytes, installer.substr(0, stub_bytes.size()));
  EXPECT_EQ(std::string(2 * kMiB - stub_bytes.size(), '\0'),
            installer.substr(stub_bytes.size(), 2 * kMiB - stub_bytes.size()));
  EXPECT_EQ(tn::BuildTrailer("TN7zOffset", 1536 * 1024 + 100), installer.substr(2 * kMiB, 100));

  // The archive behind the trailer: plain header, encrypted items that
  // 7-Zip tests good with the installer's password only.
  const fs::path archive = dir_ / "extracted.7z";
  WriteFile(archive, installer.substr(2 * kMiB + 100));
  tnpack::SevenZipInfo info;
  std::string error;
  ASSERT_TRUE(tnpack::InspectSevenZip(archive.string(), 0, &info, &error)) << error;
  EXPECT_FALSE(info.header_encrypted);
  std::string listing;
  ASSERT_EQ(0, RunCommand("7zz l -slt " + Quote(archive), &listing)) << listing;
  EXPECT_NE(std::string::npos, listing.find("Path = bin/with space.dll"));
  EXPECT_NE(std::string::npos, listing.find("Path = empty"));
  EXPECT_NE(std::string::npos, listing.find("Encrypted = +"));
  EXPECT_NE(std::string::npos, listing.find("LZMA2"));
  EXPECT_EQ(0, RunCommand(std::string("7zz t -p") + tn::kArchivePassword + " " + Quote(archive)));
  EXPECT_NE(0, RunCommand("7zz t -pwrong " + Quote(archive)));
}

TEST_F(TnpackTest, SearchStartChoices) {
  const fs::path stub = WriteStub(kConfig, 5000);
  const fs::path archive = MakeArchive(std::string("-p") + tn::kArchivePassword);
  struct Case {
    std::string option;
    int64_t expected;
  } cases[] = {{"", 5100},
               {"--search-start image-end", 5100},
               {"--search-start archive", kMiB + 100},
               {"--search-start 4242", 4242}};
  for (const Case& c : cases) {
    const fs::path out = dir_ / "choice.exe";
    int status = 0;
    const std::string output = Tnpack("--stub " + Quote(stub) + " --archive " + Quote(archive) +
                                          " --out " + Quote(out) + " " + c.option,
                                      &status);
    ASSERT_EQ(0, status) << c.option << ": " << output;
    const std::string installer = ReadFile(out);
    EXPECT_EQ(static_cast<size_t>(2 * kMiB), installer.size()) << c.option;
    EXPECT_EQ(tn::BuildTrailer("TN7zOffset", c.expected), installer.substr(kMiB, 100)) << c.option;
    EXPECT_EQ(ReadFile(archive), installer.substr(kMiB + 100, fs::file_size(archive))) << c.option;
  }
}

TEST_F(TnpackTest, MarkerOption) {
  const fs::path archive = MakeArchive(std::string("-p") + tn::kArchivePassword);
  const fs::path out = dir_ / "setup.exe";
  int status = 0;
  // A stub without configuration needs --marker.
  const fs::path bare = WriteStub("");
  std::string output = Tnpack(
      "--stub " + Quote(bare) + " --archive " + Quote(archive) + " --out " + Quote(out), &status);
  EXPECT_EQ(1, status);
  EXPECT_NE(std::string::npos, output.find("--marker")) << output;
  output = Tnpack("--stub " + Quote(bare) + " --archive " + Quote(archive) + " --out " +
                      Quote(out) + " --marker MyMark",
                  &status);
  ASSERT_EQ(0, status) << output;
  EXPECT_EQ(tn::BuildTrailer("MyMark", 4196), ReadFile(out).substr(kMiB, 100));
  // A marker that contradicts the stub's own would make an installer that
  // cannot find its payload.
  const fs::path configured = WriteStub(kConfig);
  output = Tnpack("--stub " + Quote(configured) + " --archive " + Quote(archive) + " --out " +
                      Quote(dir_ / "other.exe") + " --marker MyMark",
                  &status);
  EXPECT_EQ(1, status);
  EXPECT_NE(std::string::npos, output.find("differs")) << output;
  EXPECT_FALSE(fs::exists(dir_ / "other.exe"));
}

TEST_F(TnpackTest, RefusesBadInputAndLeavesNothingBehind) {
  const fs::path stub = WriteStub(kConfig);
  const fs::path archive = MakeArchive(std::string("-p") + tn::kArchivePassword);
  const fs::path encrypted_header =
      MakeArchive(std::string("-p") + tn::kArchivePassword + " -mhe=on");
  WriteFile(dir_ / "notpe.exe", "just some text, no executable");
  fs::create_directories(dir_ / "empty_product" / "sub");
  WriteFile(dir_ / "garbage.7z", "7z but not really an archive at all");
  const fs::path huge = dir_ / "huge.exe";
  WriteFile(huge, "MZ");
  fs::resize_file(huge, static_cast<uintmax_t>(tn::kMaxInstallerSize) + 1);  // sparse
  // A ready archive whose installer would reach 4 GiB is refused by its size
  // alone, before anything reads it (this one holds no archive at all).
  const fs::path huge_archive = dir_ / "huge.7z";
  WriteFile(huge_archive, "7z");
  fs::resize_file(huge_archive, static_cast<uintmax_t>(tn::kMaxInstallerSize) - kMiB);  // sparse

  const fs::path out = dir_ / "out.exe";
  const std::string previous = "previous installer";
  struct Case {
    std::string arguments;
    int status;
    std::string message;
  } cases[] = {
      {"--stub " + Quote(dir_ / "missing.exe") + " --archive " + Quote(archive), 1,
       "cannot read stub"},
      {"--stub " + Quote(dir_ / "notpe.exe") + " --archive " + Quote(archive), 1,
       "not a Windows executable"},
      {"--stub " + Quote(huge) + " --archive " + Quote(archive), 1, "4 GiB"},
      {"--stub " + Quote(stub) + " --archive " + Quote(huge_archive), 1, "below 4 GiB"},
      {"--stub " + Quote(stub) + " --product " + Quote(dir_ / "empty_product"), 1,
       "holds no files"},
      {"--stub " + Quote(stub) + " --product " + Quote(dir_ / "nothing"), 1, "does not exist"},
      {"--stub " + Quote(stub) + " --archive " + Quote(encrypted_header), 1, "encrypted header"},
      {"--stub " + Quote(stub) + " --archive " + Quote(dir_ / "garbage.7z"), 1, "start header"},
      {"--stub " + Quote(stub) + " --archive " + Quote(archive) + " --search-start 0", 1,
       "--search-start"},
      {"--stub " + Quote(stub) + " --archive " + Quote(archive) + " --search-start later", 2,
       "--search-start"},
      {"--stub " + Quote(stub) + " --archive " + Quote(archive) + " --product " + Quote(dir_), 2,
       "exactly one"},
      {"--stub " + Quote(stub), 2, "exactly one"},
      {"--stub " + Quote(stub) + " --archive " + Quote(archive) + " --marker " +
           std::string(50, 'm'),
       1, "marker"},
  };
  for (const Case& c : cases) {
    WriteFile(out, previous);
    int status = 0;
    const std::string output = Tnpack(c.arguments + " --out " + Quote(out), &status);
    EXPECT_EQ(c.status, status) << c.arguments << "\n" << output;
    EXPECT_NE(std::string::npos, output.find(c.message)) << c.arguments << "\n" << output;
    EXPECT_EQ(previous, ReadFile(out)) << c.arguments;
  }
  // No work files are left next to the output.
  EXPECT_EQ("", LeftoverWorkFolders(dir_));
}

TEST_F(TnpackTest, VerificationCatchesAForeignArchiveBeforeThePayload) {
  // A search start inside a stub that itself holds a valid 7z start header
  // would open that archive instead: the self-check refuses it.
  const fs::path archive = MakeArchive(std::string("-p") + tn::kArchivePassword);
  std::string image = tnpack_test::MakeStubImage(kConfig, 8192);
  const std::string archive_bytes = ReadFile(archive);
  image.replace(4096, 32, archive_bytes.substr(0, 32));
  const fs::path stub = dir_ / "stub_with_7z.exe";
  WriteFile(stub, image);
  int status = 0;
  std::string output = Tnpack("--stub " + Quote(stub) + " --archive " + Quote(archive) + " --out " +
                                  Quote(dir_ / "out.exe") + " --search-start 100",
                              &status);
  EXPECT_EQ(1, status);
  EXPECT_NE(std::string::npos, output.find("another 7z start header")) << output;
  EXPECT_FALSE(fs::exists(dir_ / "out.exe"));
  // From the image end on, the same stub is fine.
  output = Tnpack("--stub " + Quote(stub) + " --archive " + Quote(archive) + " --out " +
                      Quote(dir_ / "out.exe"),
                  &status);
  EXPECT_EQ(0, status) << output;
}

}  // namespace

namespace {

void PutLe32(std::string* bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

TEST_F(TnpackTest, DamagedStubImagesGiveNoMarkerRatherThanGarbage) {
  const std::string image = tnpack_test::MakeStubImage(kConfig);
  std::string error;
  // Every truncation either still holds the whole resource or is refused.
  for (size_t size = 0; size <= image.size(); size += 7) {
    const std::string marker = tnpack::ReadStubMarker(image.substr(0, size), &error);
    EXPECT_TRUE(marker.empty() || marker == "TN7zOffset") << "size " << size;
  }
  // Directory fields pointing anywhere are bounds-checked.
  uint32_t seed = 1726;
  for (int round = 0; round < 2000; ++round) {
    std::string damaged = image;
    seed = seed * 1103515245u + 12345u;
    const size_t at = 0x200 + (seed >> 8) % 96;  // the resource directories
    damaged[at] = static_cast<char>(seed >> 24);
    tnpack::ReadStubMarker(damaged, &error);
  }
}

TEST_F(TnpackTest, DamagedHeadersWithValidChecksumsAreHandled) {
  // Mutations of an encoded header whose checksums are recomputed reach the
  // header walker itself; it must answer without reading past the header.
  const fs::path archive = MakeArchive(std::string("-p") + tn::kArchivePassword + " -mhe=on");
  const std::string original = ReadFile(archive);
  size_t header_size = 0;
  for (int i = 3; i >= 0; --i)
    header_size = (header_size << 8) | static_cast<unsigned char>(original[20 + i]);
  const size_t header_at = original.size() - header_size;
  uint32_t seed = 99;
  int encrypted = 0;
  for (int round = 0; round < 300; ++round) {
    std::string damaged = original;
    seed = seed * 1103515245u + 12345u;
    const size_t at = header_at + 1 + (seed >> 8) % (original.size() - header_at - 1);
    damaged[at] = static_cast<char>(seed >> 24);
    PutLe32(&damaged, 28, tnpack::Crc32(damaged.data() + header_at, original.size() - header_at));
    PutLe32(&damaged, 8, tnpack::Crc32(damaged.data() + 12, 20));
    WriteFile(dir_ / "mutated.7z", damaged);
    tnpack::SevenZipInfo info;
    std::string error;
    if (tnpack::InspectSevenZip((dir_ / "mutated.7z").string(), 0, &info, &error) &&
        info.header_encrypted) {
      ++encrypted;
    }
  }
  // Most single-byte changes leave the AES coder recognisable.
  EXPECT_GT(encrypted, 0);
}

}  // namespace
