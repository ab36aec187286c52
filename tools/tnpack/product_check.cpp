#include "tools/tnpack/product_check.h"

#include <iconv.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wctype.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "tools/tnpack/ini_text.h"
#include "tools/tnpack/path_containment.h"
#include "tools/tnpack/process.h"

namespace fs = std::filesystem;

namespace tnpack {
namespace {

// The installer starts this program of the product by name after the
// installation to hand over its report; the configuration does not name it.
constexpr char kReportProgram[] = "ZiduVaziruzOzuded.exe";

// Decodes UTF-8; false on a malformed or overlong sequence or a surrogate.
bool DecodeUtf8(const std::string& text, std::u32string* out) {
  out->clear();
  for (size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    int length = 0;
    char32_t code = 0;
    if (lead < 0x80) {
      length = 1;
      code = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2;
      code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      code = lead & 0x07;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (int k = 1; k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    static const char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kMinimum[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    out->push_back(code);
    i += length;
  }
  return true;
}

size_t Utf16Length(const std::u32string& text) {
  size_t units = 0;
  for (char32_t c : text) units += c > 0xFFFF ? 2 : 1;
  return units;
}

// Windows compares file names by upper-casing each UTF-16 unit with its own
// table; the C library's Unicode upper-casing gives the same answer for the
// letters that matter (Latin, Greek, Cyrillic, full-width forms).
class CaseFolder {
 public:
  CaseFolder() : locale_(newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0))) {}
  ~CaseFolder() {
    if (locale_) freelocale(locale_);
  }
  CaseFolder(const CaseFolder&) = delete;
  CaseFolder& operator=(const CaseFolder&) = delete;

  std::u32string Fold(const std::u32string& text) const {
    std::u32string folded = text;
    for (char32_t& c : folded) {
      if (c < 0x80) {
        if (c >= 'a' && c <= 'z') c -= 'a' - 'A';
      } else if (locale_ && c <= 0xFFFF) {
        c = static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), locale_));
      }
    }
    return folded;
  }

 private:
  locale_t locale_;
};

std::string Join(const fs::path& base, const std::string& relative) {
  return (base / relative).string();
}

struct Walker {
  fs::path root;
  bool follow_links;
  std::vector<ProductItem>* items;
  std::string* error;
  std::vector<fs::path> open_folders;  // canonical folders on the current walk path

  bool Walk(const fs::path& folder, const std::string& relative) {
    std::error_code status;
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(folder, status), end; !status && it != end;
         it.increment(status)) {
      entries.push_back(*it);
    }
    if (status) {
      *error = "cannot read folder " + folder.string() + ": " + status.message();
      return false;
    }
    std::sort(entries.begin(), entries.end(),
              [](const fs::directory_entry& a, const fs::directory_entry& b) {
                return a.path() < b.path();
              });
    for (const fs::directory_entry& entry : entries) {
      const std::string name = entry.path().filename().string();
      const std::string item = relative.empty() ? name : relative + "/" + name;
      const std::string shown = Join(root, item);
      struct stat info;
      if (lstat(entry.path().c_str(), &info) != 0) {
        *error = "cannot examine " + shown + ": " + std::strerror(errno);
        return false;
      }
      fs::path target = entry.path();
      if (S_ISLNK(info.st_mode)) {
        std::error_code link_error;
        const fs::path link_target = fs::read_symlink(entry.path(), link_error);
        if (!follow_links) {
          *error = shown + " is a symbolic link (to " + link_target.string() +
                   "); the installer cannot create links, and 7-Zip would pack what it points to. "
                   "Replace it with the file, or pass --follow-links for links that stay inside "
                   "the product";
          return false;
        }
        const fs::path resolved = fs::canonical(entry.path(), link_error);
        if (link_error) {
          *error =
              shown + " is a symbolic link to " + link_target.string() + ", which does not exist";
          return false;
        }
        if (!IsInside(resolved, root)) {
          *error = shown + " is a symbolic link to " + resolved.string() +
                   ", outside the product; --follow-links takes only links that stay inside it";
          return false;
        }
        if (stat(entry.path().c_str(), &info) != 0) {
          *error = "cannot examine " + shown + ": " + std::strerror(errno);
          return false;
        }
        target = resolved;
      }
      if (S_ISDIR(info.st_mode)) {
        const fs::path canonical = fs::weakly_canonical(target);
        if (std::find(open_folders.begin(), open_folders.end(), canonical) != open_folders.end()) {
          *error = shown +
                   " is a symbolic link into a folder that contains it; "
                   "following it would never end";
          return false;
        }
        items->push_back({item, true, 0});
        open_folders.push_back(canonical);
        const bool ok = Walk(target, item);
        open_folders.pop_back();
        if (!ok) return false;
      } else if (S_ISREG(info.st_mode)) {
        if (access(target.c_str(), R_OK) != 0) {
          *error = "cannot read " + shown + ": " + std::strerror(errno);
          return false;
        }
        items->push_back({item, false, static_cast<int64_t>(info.st_size)});
      } else {
        const char* kind = S_ISFIFO(info.st_mode)                           ? "a FIFO"
                           : S_ISSOCK(info.st_mode)                         ? "a socket"
                           : S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) ? "a device node"
                                                                            : "not a regular file";
        *error = shown + " is " + kind + "; a product holds only files and folders";
        return false;
      }
    }
    return true;
  }
};

bool IsReservedDeviceName(const std::u32string& name) {
  // The part before the first dot, without the spaces Windows drops before
  // an extension ("nul .txt" is NUL too).
  std::u32string base = name.substr(0, name.find(U'.'));
  while (!base.empty() && base.back() == U' ') base.pop_back();
  std::u32string upper;
  for (char32_t c : base) upper.push_back(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c);
  static const std::u32string kNames[] = {U"CON", U"PRN", U"AUX", U"NUL", U"CONIN$", U"CONOUT$"};
  for (const std::u32string& reserved : kNames) {
    if (upper == reserved) return true;
  }
  if (upper.size() == 4 && (upper.compare(0, 3, U"COM") == 0 || upper.compare(0, 3, U"LPT") == 0)) {
    const char32_t digit = upper[3];
    // Windows counts the superscript digits one to three as digits here.
    return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
  }
  return false;
}

}  // namespace

ItemCounts CountItems(const std::vector<ProductItem>& items) {
  ItemCounts counts;
  for (const ProductItem& item : items) {
    item.folder ? ++counts.folders : ++counts.files;
    counts.bytes += item.size;
  }
  return counts;
}

bool ScanProduct(const std::string& directory, bool follow_links, std::vector<ProductItem>* items,
                 std::string* error) {
  items->clear();
  std::error_code status;
  const fs::path root = fs::canonical(directory, status);
  if (status || !fs::is_directory(root, status)) {
    *error = "product folder " + directory + " does not exist";
    return false;
  }
  Walker walker{root, follow_links, items, error, {root}};
  if (!walker.Walk(root, "")) return false;
  if (CountItems(*items).files == 0) {
    *error = "product folder " + directory + " holds no files";
    return false;
  }
  return true;
}

std::string WindowsNameProblem(const std::string& name) {
  std::u32string text;
  if (name.empty()) return "an empty name";
  if (!DecodeUtf8(name, &text)) return "the name is not valid UTF-8, so it has no Windows spelling";
  for (char32_t c : text) {
    if (c < 0x20 || c == 0x7F) return "control characters cannot appear in Windows file names";
    switch (c) {
      case '<':
      case '>':
      case ':':
      case '"':
      case '|':
      case '?':
      case '*':
      case '\\':
      case '/':
        return std::string("'") + static_cast<char>(c) + "' cannot appear in Windows file names";
      default: break;
    }
  }
  if (text.back() == U'.' || text.back() == U' ') {
    return std::string("Windows drops a trailing ") + (text.back() == U'.' ? "dot" : "space") +
           ", so this would be another name";
  }
  if (IsReservedDeviceName(text)) return "the name is reserved for a device on Windows";
  if (Utf16Length(text) > 255) return "Windows file names have at most 255 characters";
  return std::string();
}

bool CheckWindowsNames(const std::vector<ProductItem>& items, const std::string& where,
                       std::string* error) {
  const CaseFolder folder;
  std::map<std::u32string, std::string> seen;  // folded path -> path as given
  for (const ProductItem& item : items) {
    size_t start = 0;
    while (start <= item.path.size()) {
      const size_t end = std::min(item.path.find('/', start), item.path.size());
      const std::string part = item.path.substr(start, end - start);
      const std::string problem = WindowsNameProblem(part);
      if (!problem.empty()) {
        *error = "\"" + item.path + "\" in " + where + ": " + problem;
        return false;
      }
      start = end + 1;
    }
    std::u32string decoded;
    DecodeUtf8(item.path, &decoded);
    const auto inserted = seen.emplace(folder.Fold(decoded), item.path);
    if (!inserted.second && inserted.first->second != item.path) {
      *error = "\"" + inserted.first->second + "\" and \"" + item.path + "\" in " + where +
               " differ only in letter case; Windows would make them one file";
      return false;
    }
  }
  return true;
}

std::vector<std::string> ConfiguredPrograms(const std::string& config) {
  std::vector<std::string> programs;
  std::string value;
  const bool installer_configuration = HasIniSection(config, "TARNIS_INFO");
  for (const char* key : {"DisplayIcon", "UninstallString"}) {
    if (FindIniValue(config, "TARNIS_INFO", key, &value) && !value.empty())
      programs.push_back(value);
  }
  for (const auto& entry : IniSectionEntries(config, "AUTO_RUN")) {
    if (!entry.second.empty()) programs.push_back(entry.second);
  }
  if (installer_configuration) programs.push_back(kReportProgram);
  return programs;
}

std::vector<std::string> MissingPrograms(const std::vector<ProductItem>& items,
                                         const std::vector<std::string>& programs) {
  const CaseFolder folder;
  std::set<std::u32string> files;
  for (const ProductItem& item : items) {
    std::u32string decoded;
    if (!item.folder && DecodeUtf8(item.path, &decoded)) files.insert(folder.Fold(decoded));
  }
  std::vector<std::string> missing;
  for (const std::string& program : programs) {
    std::string path = GbkToUtf8(program);
    std::replace(path.begin(), path.end(), '\\', '/');
    std::u32string decoded;
    if (!DecodeUtf8(path, &decoded) || !files.count(folder.Fold(decoded))) {
      if (std::find(missing.begin(), missing.end(), path) == missing.end()) missing.push_back(path);
    }
  }
  return missing;
}

std::string GbkToUtf8(const std::string& text) {
  bool ascii = true;
  for (char c : text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) return text;
  iconv_t converter = iconv_open("UTF-8", "GBK");
  if (converter == reinterpret_cast<iconv_t>(-1)) return text;
  std::string result;
  std::string input = text;
  char* in = &input[0];
  size_t in_left = input.size();
  char buffer[256];
  while (in_left > 0) {
    char* out = buffer;
    size_t out_left = sizeof(buffer);
    const size_t converted = iconv(converter, &in, &in_left, &out, &out_left);
    result.append(buffer, static_cast<size_t>(out - buffer));
    if (converted == static_cast<size_t>(-1) && errno != E2BIG) {
      result += "\xEF\xBF\xBD";  // U+FFFD for a byte that is no GBK
      ++in;
      --in_left;
    }
  }
  iconv_close(converter);
  return result;
}

bool ParseSevenZipListing(const std::string& listing, std::vector<ProductItem>* items,
                          std::string* unencrypted) {
  items->clear();
  unencrypted->clear();
  ProductItem current;
  bool in_item = false;
  bool encrypted = false;
  int64_t packed = 0;
  auto finish = [&] {
    if (!in_item) return;
    if (!current.folder && (current.size > 0 || packed > 0) && !encrypted && unencrypted->empty()) {
      *unencrypted = current.path;
    }
    items->push_back(current);
    in_item = false;
  };
  for (const std::string& line : OutputLines(listing)) {
    const size_t equals = line.find(" = ");
    if (equals == std::string::npos) {
      if (line.empty()) finish();
      continue;
    }
    const std::string key = line.substr(0, equals);
    const std::string value = line.substr(equals + 3);
    if (key == "Path") {
      finish();
      current = ProductItem();
      current.path = value;
      in_item = true;
      encrypted = false;
      packed = 0;
    } else if (!in_item) {
      continue;
    } else if (key == "Folder") {
      current.folder = value == "+";
    } else if (key == "Attributes") {
      // Letters such as "RD" or "A" before the Unix mode; D marks a folder.
      current.folder =
          current.folder || value.substr(0, value.find(' ')).find('D') != std::string::npos;
    } else if (key == "Size") {
      current.size = std::strtoll(value.c_str(), nullptr, 10);
    } else if (key == "Packed Size") {
      packed = std::strtoll(value.c_str(), nullptr, 10);
    } else if (key == "Encrypted") {
      encrypted = value == "+";
    }
  }
  finish();
  return !items->empty();
}

}  // namespace tnpack
