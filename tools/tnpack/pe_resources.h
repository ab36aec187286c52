// Reads the headers, resources and version information of a Windows
// executable image held in memory.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tnpack {

struct PeSection {
  uint32_t virtual_address = 0;
  uint32_t virtual_size = 0;
  uint32_t raw_offset = 0;
  uint32_t raw_size = 0;
};

struct PeHeaders {
  std::vector<PeSection> sections;
  uint32_t size_of_headers = 0;
  // Where the image's own bytes end: the end of the headers or of the last
  // section's raw data, whichever is later. Anything behind it is appended.
  uint64_t image_end = 0;
  uint32_t resource_rva = 0;
  uint32_t resource_size = 0;
  // The certificate table (an Authenticode signature): a file offset, not an RVA.
  uint32_t certificate_offset = 0;
  uint32_t certificate_size = 0;
  // File offsets of the two header fields that signing rewrites: the
  // optional header's checksum and the certificate table's directory entry
  // (0 when the optional header has no such entry).
  uint64_t checksum_field = 0;
  uint64_t certificate_entry = 0;
};

// Parses the DOS and PE headers and the section table from the start of
// |image| (which may be only the first few KiB of a file). False with
// |*error| set when there is no PE32/PE32+ header or it is cut short.
bool ReadPeHeaders(const std::string& image, PeHeaders* headers, std::string* error);

// True when |image| starts with a DOS header whose e_lfanew leads to a
// "PE\0\0" signature and a PE32 or PE32+ optional header.
bool IsPortableExecutable(const std::string& image);

// Finds the resource of type |type_name| (a named type such as "INI",
// compared without regard to letter case) and numeric id |id|, in its first
// language, and copies its bytes to |*data|. False when the image has no
// such resource or its directory is malformed; |*error| then says why.
bool FindNamedTypeResource(const std::string& image, const std::string& type_name, uint32_t id,
                           std::string* data, std::string* error);

// The same for a numbered type (16 for version information).
bool FindNumberedTypeResource(const std::string& image, uint32_t type, uint32_t id,
                              std::string* data, std::string* error);

struct VersionInfo {
  // FILEVERSION and PRODUCTVERSION as four numbers each.
  uint16_t file_version[4] = {};
  uint16_t product_version[4] = {};
  // The texts of the first string table ("CompanyName", ...), in UTF-8.
  std::map<std::string, std::string> strings;
  std::string language;  // the string table's name, such as "080404b0"
};

// Parses a VS_VERSIONINFO resource.
bool ParseVersionInfo(const std::string& resource, VersionInfo* info, std::string* error);

// Reads the version information (resource 16/1) of |image|.
bool ReadVersionInfo(const std::string& image, VersionInfo* info, std::string* error);

// "0.2.0.1726"
std::string VersionText(const uint16_t version[4]);

}  // namespace tnpack
