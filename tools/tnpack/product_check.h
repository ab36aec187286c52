// What a product must be for the installer to install it correctly on
// Windows: no links leading out of it, only files and folders, names that
// Windows can create and keeps apart, and the programs its configuration
// names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tnpack {

// One file or folder of a product, as the archive will name it.
struct ProductItem {
  std::string path;  // relative, '/' between the parts, UTF-8
  bool folder = false;
  int64_t size = 0;
};

// How many files and folders a list of items has, and the bytes of its files.
struct ItemCounts {
  int64_t files = 0;
  int64_t folders = 0;
  int64_t bytes = 0;
};

ItemCounts CountItems(const std::vector<ProductItem>& items);

// Walks |directory| and lists its files and folders in |*items|, parents
// before their contents. A symbolic link is refused; with |follow_links| a
// link whose target lies inside |directory| (and does not lead into a loop)
// is taken as what it points to, the way 7-Zip archives it. Sockets, FIFOs
// and device nodes are refused, and so are unreadable files and a product
// without files. False with |*error| naming the path otherwise.
bool ScanProduct(const std::string& directory, bool follow_links, std::vector<ProductItem>* items,
                 std::string* error);

// Why Windows cannot create a file or folder called |name| (one part of a
// path, UTF-8), or empty when it can.
std::string WindowsNameProblem(const std::string& name);

// Checks every part of every path and that no two paths are equal when
// letter case is ignored. |where| prefixes the paths in the message (the
// product folder, or the archive).
bool CheckWindowsNames(const std::vector<ProductItem>& items, const std::string& where,
                       std::string* error);

// The programs the installer configuration |config| (as the stub carries
// it, GBK) names: TARNIS_INFO's DisplayIcon (the main program) and
// UninstallString, every AUTO_RUN entry, and the reporting program the
// installer starts after the installation.
std::vector<std::string> ConfiguredPrograms(const std::string& config);

// The entries of |programs| (Windows relative paths, GBK) that |items| has
// no file for; names are compared without regard to letter case, as Windows
// does. The result is in UTF-8.
std::vector<std::string> MissingPrograms(const std::vector<ProductItem>& items,
                                         const std::vector<std::string>& programs);

// |text| in GBK as UTF-8 (bytes that are no GBK become U+FFFD).
std::string GbkToUtf8(const std::string& text);

// Parses the item listing of "7zz l -slt -ba": paths, folders, sizes, and
// whether every item with data is encrypted (|*unencrypted| names the first
// that is not, empty otherwise).
bool ParseSevenZipListing(const std::string& listing, std::vector<ProductItem>* items,
                          std::string* unencrypted);

}  // namespace tnpack
