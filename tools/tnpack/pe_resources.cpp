#include "tools/tnpack/pe_resources.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace tnpack {
namespace {

constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr uint32_t kSubdirectoryFlag = 0x80000000u;
constexpr uint32_t kNameIsStringFlag = 0x80000000u;

// Bounds-checked little-endian reads; a read past the end fails.
class Reader {
 public:
  explicit Reader(const std::string& bytes) : bytes_(bytes) {}
  bool U16(uint64_t offset, uint32_t* value) const {
    if (offset + 2 > bytes_.size()) return false;
    *value = Byte(offset) | (Byte(offset + 1) << 8);
    return true;
  }
  bool U32(uint64_t offset, uint32_t* value) const {
    if (offset + 4 > bytes_.size()) return false;
    *value = Byte(offset) | (Byte(offset + 1) << 8) | (Byte(offset + 2) << 16) |
             (static_cast<uint32_t>(Byte(offset + 3)) << 24);
    return true;
  }
  uint64_t size() const { return bytes_.size(); }

 private:
  uint32_t Byte(uint64_t offset) const { return static_cast<unsigned char>(bytes_[offset]); }
  const std::string& bytes_;
};

struct Section {
  uint32_t virtual_address;
  uint32_t virtual_size;
  uint32_t raw_offset;
  uint32_t raw_size;
};

struct PeLayout {
  std::vector<Section> sections;
  uint32_t resource_rva = 0;
  uint32_t resource_size = 0;
};

bool ReadLayout(const Reader& reader, PeLayout* layout, std::string* error) {
  uint32_t magic = 0, pe_offset = 0, signature = 0;
  if (!reader.U16(0, &magic) || magic != 0x5A4D) {
    *error = "no DOS header (MZ)";
    return false;
  }
  if (!reader.U32(0x3C, &pe_offset) || !reader.U32(pe_offset, &signature) ||
      signature != 0x00004550) {
    *error = "no PE signature";
    return false;
  }
  uint32_t section_count = 0, optional_size = 0, optional_magic = 0;
  const uint64_t file_header = pe_offset + 4;
  if (!reader.U16(file_header + 2, &section_count) || !reader.U16(file_header + 16, &optional_size)) {
    *error = "truncated PE file header";
    return false;
  }
  const uint64_t optional = file_header + 20;
  if (!reader.U16(optional, &optional_magic) ||
      (optional_magic != 0x10B && optional_magic != 0x20B)) {
    *error = "unknown PE optional header";
    return false;
  }
  const uint64_t directories = optional + (optional_magic == 0x10B ? 96 : 112);
  uint32_t directory_count = 0;
  if (!reader.U32(directories - 4, &directory_count)) {
    *error = "truncated PE optional header";
    return false;
  }
  if (directory_count > kResourceDirectoryIndex &&
      directories + 8 * (kResourceDirectoryIndex + 1) <= optional + optional_size) {
    reader.U32(directories + 8 * kResourceDirectoryIndex, &layout->resource_rva);
    reader.U32(directories + 8 * kResourceDirectoryIndex + 4, &layout->resource_size);
  }
  const uint64_t table = optional + optional_size;
  for (uint32_t i = 0; i < section_count; ++i) {
    const uint64_t entry = table + 40ull * i;
    Section section;
    if (!reader.U32(entry + 8, &section.virtual_size) ||
        !reader.U32(entry + 12, &section.virtual_address) ||
        !reader.U32(entry + 16, &section.raw_size) || !reader.U32(entry + 20, &section.raw_offset)) {
      *error = "truncated section table";
      return false;
    }
    layout->sections.push_back(section);
  }
  return true;
}

// File offset of |rva|, with |length| bytes available there.
bool RvaToOffset(const PeLayout& layout, const Reader& reader, uint32_t rva, uint32_t length,
                 uint64_t* offset) {
  for (const Section& section : layout.sections) {
    const uint64_t extent = std::max(section.virtual_size, section.raw_size);
    if (rva >= section.virtual_address && rva - section.virtual_address < extent) {
      const uint64_t delta = rva - section.virtual_address;
      if (delta + length > section.raw_size) return false;
      *offset = section.raw_offset + delta;
      return *offset + length <= reader.size();
    }
  }
  return false;
}

// Walks one directory; calls |match| for every entry until it returns true.
template <typename Match>
bool FindEntry(const Reader& reader, uint64_t directory, Match match, uint32_t* target) {
  uint32_t named = 0, numbered = 0;
  if (!reader.U16(directory + 12, &named) || !reader.U16(directory + 14, &numbered)) return false;
  for (uint32_t i = 0; i < named + numbered; ++i) {
    uint32_t name = 0, value = 0;
    if (!reader.U32(directory + 16 + 8ull * i, &name) ||
        !reader.U32(directory + 20 + 8ull * i, &value)) {
      return false;
    }
    if (match(name)) {
      *target = value;
      return true;
    }
  }
  return false;
}

}  // namespace

bool IsPortableExecutable(const std::string& image) {
  Reader reader(image);
  PeLayout layout;
  std::string error;
  return ReadLayout(reader, &layout, &error);
}

bool FindNamedTypeResource(const std::string& image, const std::string& type_name, uint32_t id,
                           std::string* data, std::string* error) {
  Reader reader(image);
  PeLayout layout;
  if (!ReadLayout(reader, &layout, error)) return false;
  uint64_t root = 0;
  if (layout.resource_rva == 0 ||
      !RvaToOffset(layout, reader, layout.resource_rva, 16, &root)) {
    *error = "the image has no resources";
    return false;
  }
  const uint64_t base = root;
  auto name_matches = [&](uint32_t name) {
    if (!(name & kNameIsStringFlag)) return false;
    const uint64_t at = base + (name & ~kNameIsStringFlag);
    uint32_t length = 0;
    if (!reader.U16(at, &length) || length != type_name.size()) return false;
    for (uint32_t i = 0; i < length; ++i) {
      uint32_t unit = 0;
      if (!reader.U16(at + 2 + 2ull * i, &unit) || unit > 0x7F ||
          std::toupper(static_cast<int>(unit)) !=
              std::toupper(static_cast<unsigned char>(type_name[i]))) {
        return false;
      }
    }
    return true;
  };
  uint32_t entry = 0;
  if (!FindEntry(reader, base, name_matches, &entry) || !(entry & kSubdirectoryFlag)) {
    *error = "no resource of type " + type_name;
    return false;
  }
  const uint64_t ids = base + (entry & ~kSubdirectoryFlag);
  if (!FindEntry(reader, ids, [id](uint32_t name) { return name == id; }, &entry) ||
      !(entry & kSubdirectoryFlag)) {
    *error = "no resource " + type_name + " " + std::to_string(id);
    return false;
  }
  const uint64_t languages = base + (entry & ~kSubdirectoryFlag);
  if (!FindEntry(reader, languages, [](uint32_t) { return true; }, &entry) ||
      (entry & kSubdirectoryFlag)) {
    *error = "malformed resource directory";
    return false;
  }
  uint32_t data_rva = 0, data_size = 0;
  uint64_t data_offset = 0;
  if (!reader.U32(base + entry, &data_rva) || !reader.U32(base + entry + 4, &data_size) ||
      !RvaToOffset(layout, reader, data_rva, data_size, &data_offset)) {
    *error = "resource data outside the file";
    return false;
  }
  data->assign(image, data_offset, data_size);
  return true;
}

}  // namespace tnpack
