#include "tools/tnpack/test_stub.h"

#include <algorithm>
#include <cstdint>

namespace tnpack_test {
namespace {

void Put16(std::string* image, size_t offset, uint32_t value) {
  (*image)[offset] = static_cast<char>(value & 0xFF);
  (*image)[offset + 1] = static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string* image, size_t offset, uint32_t value) {
  Put16(image, offset, value & 0xFFFF);
  Put16(image, offset + 2, value >> 16);
}

}  // namespace

std::string MakeStubImage(const std::string& config, size_t size) {
  constexpr size_t kPeOffset = 0x40;
  constexpr size_t kOptional = kPeOffset + 4 + 20;
  constexpr size_t kOptionalSize = 224;
  constexpr size_t kSectionTable = kOptional + kOptionalSize;
  constexpr size_t kRawResources = 0x200;
  constexpr uint32_t kResourceRva = 0x1000;

  // Resource section: root (1 named type) -> ids (131) -> languages (2052)
  // -> data entry; then the type name and the data.
  constexpr uint32_t kRoot = 0, kIds = 24, kLanguages = 48, kDataEntry = 72, kName = 88, kData = 96;
  const size_t resources_size = config.empty() ? 0 : kData + config.size();
  std::string image(std::max(size, kRawResources + resources_size + 16), '\0');
  image[0] = 'M';
  image[1] = 'Z';
  Put32(&image, 0x3C, kPeOffset);
  image.replace(kPeOffset, 4, std::string("PE\0\0", 4));
  Put16(&image, kPeOffset + 4, 0x14C);  // i386
  Put16(&image, kPeOffset + 6, 1);      // one section
  Put16(&image, kPeOffset + 20, kOptionalSize);
  Put16(&image, kOptional, 0x10B);    // PE32
  Put32(&image, kOptional + 92, 16);  // data directories
  if (!config.empty()) {
    Put32(&image, kOptional + 96 + 8 * 2, kResourceRva);
    Put32(&image, kOptional + 96 + 8 * 2 + 4, static_cast<uint32_t>(resources_size));
  }
  image.replace(kSectionTable, 5, ".rsrc");
  Put32(&image, kSectionTable + 8, static_cast<uint32_t>(resources_size));
  Put32(&image, kSectionTable + 12, kResourceRva);
  Put32(&image, kSectionTable + 16, static_cast<uint32_t>(resources_size));
  Put32(&image, kSectionTable + 20, kRawResources);
  if (config.empty()) return image;

  const size_t r = kRawResources;
  Put16(&image, r + kRoot + 12, 1);
  Put32(&image, r + kRoot + 16, 0x80000000u | kName);
  Put32(&image, r + kRoot + 20, 0x80000000u | kIds);
  Put16(&image, r + kIds + 14, 1);
  Put32(&image, r + kIds + 16, 131);
  Put32(&image, r + kIds + 20, 0x80000000u | kLanguages);
  Put16(&image, r + kLanguages + 14, 1);
  Put32(&image, r + kLanguages + 16, 2052);
  Put32(&image, r + kLanguages + 20, kDataEntry);
  Put32(&image, r + kDataEntry, kResourceRva + kData);
  Put32(&image, r + kDataEntry + 4, static_cast<uint32_t>(config.size()));
  Put16(&image, r + kName, 3);
  const char kTypeName[] = "INI";
  for (int i = 0; i < 3; ++i) Put16(&image, r + kName + 2 + 2 * i, kTypeName[i]);
  image.replace(r + kData, config.size(), config);
  return image;
}

}  // namespace tnpack_test
