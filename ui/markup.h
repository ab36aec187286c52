// A small, lenient reader for the skin's layout markup (no Windows headers,
// so the host build and the fuzzer share it).
//
// Accepted beyond strict XML, because the shipped layouts are written so:
// a UTF-8 byte-order mark, attributes with no blank between them
// (encoding="UTF-8"standalone="yes"), and a repeated attribute (all
// occurrences are kept in file order; the later one wins on lookup).
// Texts stay UTF-8; entity and character references in attribute values
// are decoded. Text content between elements is not kept.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace DuiLib {

class MarkupNode {
 public:
  std::string name;
  // In file order, duplicates included.
  std::vector<std::pair<std::string, std::string>> attributes;
  std::vector<std::unique_ptr<MarkupNode>> children;

  // The value of the last attribute called |attribute_name|, or null.
  const std::string* Attribute(const char* attribute_name) const;
};

class CMarkup {
 public:
  // Deeper nesting than this is refused as malformed.
  static constexpr int kMaxDepth = 200;

  // Parses |size| bytes. Returns false, with an error message and offset,
  // for malformed markup; the previous tree is dropped either way.
  bool Load(const char* data, size_t size);
  const MarkupNode* Root() const { return root_.get(); }
  const std::string& GetLastError() const { return error_; }
  size_t GetErrorOffset() const { return error_offset_; }

 private:
  bool Fail(const char* message, size_t offset);

  std::unique_ptr<MarkupNode> root_;
  std::string error_;
  size_t error_offset_ = 0;
};

}  // namespace DuiLib
