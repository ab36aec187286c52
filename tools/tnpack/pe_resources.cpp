#include "tools/tnpack/pe_resources.h"

#include <algorithm>
#include <cctype>
#include <functional>

#include "util/byte_reader.h"

namespace tnpack {
namespace {

constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr uint32_t kCertificateDirectoryIndex = 4;
constexpr uint32_t kSubdirectoryFlag = 0x80000000u;
constexpr uint32_t kNameIsStringFlag = 0x80000000u;
constexpr uint32_t kVersionResourceType = 16;

// Reads at offsets; a read past the end fails.
using Reader = tn::ByteReader;

// File offset of |rva|, with |length| bytes available there.
bool RvaToOffset(const PeHeaders& headers, const Reader& reader, uint32_t rva, uint32_t length,
                 uint64_t* offset) {
  for (const PeSection& section : headers.sections) {
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

bool FindResource(const std::string& image,
                  const std::function<bool(const Reader&, uint64_t, uint32_t)>& type_matches,
                  const std::string& type_text, uint32_t id, std::string* data,
                  std::string* error) {
  Reader reader(image);
  PeHeaders headers;
  if (!ReadPeHeaders(image, &headers, error)) return false;
  uint64_t root = 0;
  if (headers.resource_rva == 0 || !RvaToOffset(headers, reader, headers.resource_rva, 16, &root)) {
    *error = "the image has no resources";
    return false;
  }
  const uint64_t base = root;
  uint32_t entry = 0;
  if (!FindEntry(
          reader, base, [&](uint32_t name) { return type_matches(reader, base, name); }, &entry) ||
      !(entry & kSubdirectoryFlag)) {
    *error = "no resource of type " + type_text;
    return false;
  }
  const uint64_t ids = base + (entry & ~kSubdirectoryFlag);
  if (!FindEntry(
          reader, ids, [id](uint32_t name) { return name == id; }, &entry) ||
      !(entry & kSubdirectoryFlag)) {
    *error = "no resource " + type_text + " " + std::to_string(id);
    return false;
  }
  const uint64_t languages = base + (entry & ~kSubdirectoryFlag);
  if (!FindEntry(
          reader, languages, [](uint32_t) { return true; }, &entry) ||
      (entry & kSubdirectoryFlag)) {
    *error = "malformed resource directory";
    return false;
  }
  uint32_t data_rva = 0, data_size = 0;
  uint64_t data_offset = 0;
  if (!reader.U32(base + entry, &data_rva) || !reader.U32(base + entry + 4, &data_size) ||
      !RvaToOffset(headers, reader, data_rva, data_size, &data_offset)) {
    *error = "resource data outside the file";
    return false;
  }
  data->assign(image, data_offset, data_size);
  return true;
}

void AppendUtf8(char32_t code, std::string* out) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code >> 6)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

// A NUL-terminated UTF-16 text at |offset|, at most up to |end|; sets
// |*after| behind its NUL.
std::string ReadUtf16(const Reader& reader, uint64_t offset, uint64_t end, uint64_t* after) {
  std::string text;
  uint32_t unit = 0;
  while (offset + 2 <= end && reader.U16(offset, &unit)) {
    offset += 2;
    if (unit == 0) break;
    char32_t code = unit;
    uint32_t low = 0;
    if (unit >= 0xD800 && unit < 0xDC00 && offset + 2 <= end && reader.U16(offset, &low) &&
        low >= 0xDC00 && low < 0xE000) {
      code = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      offset += 2;
    } else if (unit >= 0xD800 && unit < 0xE000) {
      code = 0xFFFD;
    }
    AppendUtf8(code, &text);
  }
  if (after) *after = offset;
  return text;
}

uint64_t Align4(uint64_t offset) { return (offset + 3) & ~uint64_t{3}; }

// One node of the version information tree.
struct VersionNode {
  std::string key;
  uint32_t type = 0;          // 1: text value, 0: binary
  uint32_t value_length = 0;  // in UTF-16 units for text, in bytes otherwise
  uint64_t value = 0;         // offset of the value
  uint64_t children = 0;      // offset of the first child
  uint64_t end = 0;           // offset behind the node
};

bool ReadVersionNode(const Reader& reader, uint64_t at, uint64_t limit, VersionNode* node) {
  uint32_t length = 0;
  if (!reader.U16(at, &length) || !reader.U16(at + 2, &node->value_length) ||
      !reader.U16(at + 4, &node->type) || length < 6 || at + length > limit) {
    return false;
  }
  node->end = at + length;
  uint64_t after_key = 0;
  node->key = ReadUtf16(reader, at + 6, node->end, &after_key);
  node->value = Align4(after_key);
  const uint64_t value_bytes = node->type == 1 ? 2ull * node->value_length : node->value_length;
  node->children = std::min(node->end, Align4(node->value + value_bytes));
  return node->value <= node->end;
}

}  // namespace

bool ReadPeHeaders(const std::string& image, PeHeaders* headers, std::string* error) {
  const Reader reader(image);
  *headers = PeHeaders();
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
  const uint64_t file_header = uint64_t{pe_offset} + 4;
  if (!reader.U16(file_header + 2, &section_count) ||
      !reader.U16(file_header + 16, &optional_size)) {
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
  if (!reader.U32(directories - 4, &directory_count) ||
      !reader.U32(optional + 60, &headers->size_of_headers)) {
    *error = "truncated PE optional header";
    return false;
  }
  auto directory = [&](uint32_t index, uint32_t* address, uint32_t* size) {
    if (directory_count > index && directories + 8 * (index + 1) <= optional + optional_size) {
      reader.U32(directories + 8 * index, address);
      reader.U32(directories + 8 * index + 4, size);
      return directories + 8 * index;
    }
    return uint64_t{0};
  };
  directory(kResourceDirectoryIndex, &headers->resource_rva, &headers->resource_size);
  headers->certificate_entry = directory(kCertificateDirectoryIndex, &headers->certificate_offset,
                                         &headers->certificate_size);
  headers->checksum_field = optional + 64;
  const uint64_t table = optional + optional_size;
  headers->image_end = std::max<uint64_t>(headers->size_of_headers, table + 40ull * section_count);
  for (uint32_t i = 0; i < section_count; ++i) {
    const uint64_t entry = table + 40ull * i;
    PeSection section;
    if (!reader.U32(entry + 8, &section.virtual_size) ||
        !reader.U32(entry + 12, &section.virtual_address) ||
        !reader.U32(entry + 16, &section.raw_size) ||
        !reader.U32(entry + 20, &section.raw_offset)) {
      *error = "truncated section table";
      return false;
    }
    if (section.raw_size > 0) {
      headers->image_end =
          std::max<uint64_t>(headers->image_end, uint64_t{section.raw_offset} + section.raw_size);
    }
    headers->sections.push_back(section);
  }
  return true;
}

bool IsPortableExecutable(const std::string& image) {
  PeHeaders headers;
  std::string error;
  return ReadPeHeaders(image, &headers, &error);
}

bool FindNamedTypeResource(const std::string& image, const std::string& type_name, uint32_t id,
                           std::string* data, std::string* error) {
  auto name_matches = [&type_name](const Reader& reader, uint64_t base, uint32_t name) {
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
  return FindResource(image, name_matches, type_name, id, data, error);
}

bool FindNumberedTypeResource(const std::string& image, uint32_t type, uint32_t id,
                              std::string* data, std::string* error) {
  auto number_matches = [type](const Reader&, uint64_t, uint32_t name) { return name == type; };
  return FindResource(image, number_matches, "#" + std::to_string(type), id, data, error);
}

bool ParseVersionInfo(const std::string& resource, VersionInfo* info, std::string* error) {
  *info = VersionInfo();
  const Reader reader(resource);
  VersionNode root;
  if (!ReadVersionNode(reader, 0, resource.size(), &root) || root.key != "VS_VERSION_INFO") {
    *error = "no VS_VERSION_INFO record";
    return false;
  }
  uint32_t signature = 0;
  if (root.value_length < 52 || !reader.U32(root.value, &signature) || signature != 0xFEEF04BDu) {
    *error = "no fixed file information";
    return false;
  }
  uint32_t words[4] = {};
  for (int i = 0; i < 4; ++i) reader.U32(root.value + 8 + 4 * i, &words[i]);
  for (int i = 0; i < 2; ++i) {
    info->file_version[2 * i] = static_cast<uint16_t>(words[i] >> 16);
    info->file_version[2 * i + 1] = static_cast<uint16_t>(words[i] & 0xFFFF);
    info->product_version[2 * i] = static_cast<uint16_t>(words[2 + i] >> 16);
    info->product_version[2 * i + 1] = static_cast<uint16_t>(words[2 + i] & 0xFFFF);
  }
  for (uint64_t at = root.children; at + 6 <= root.end;) {
    VersionNode block;
    if (!ReadVersionNode(reader, at, root.end, &block)) break;
    if (block.key == "StringFileInfo") {
      VersionNode table;
      if (ReadVersionNode(reader, block.children, block.end, &table)) {
        info->language = table.key;
        for (uint64_t s = table.children; s + 6 <= table.end;) {
          VersionNode text;
          if (!ReadVersionNode(reader, s, table.end, &text)) break;
          info->strings[text.key] = ReadUtf16(reader, text.value, text.end, nullptr);
          s = Align4(text.end);
        }
      }
    }
    at = Align4(block.end);
  }
  return true;
}

bool ReadVersionInfo(const std::string& image, VersionInfo* info, std::string* error) {
  std::string resource;
  if (!FindNumberedTypeResource(image, kVersionResourceType, 1, &resource, error)) return false;
  return ParseVersionInfo(resource, info, error);
}

std::string VersionText(const uint16_t version[4]) {
  return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." +
         std::to_string(version[2]) + "." + std::to_string(version[3]);
}

}  // namespace tnpack
