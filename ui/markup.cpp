#include "ui/markup.h"

#include <cstring>

namespace DuiLib {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsNameChar(char c) {
  return !IsBlank(c) && c != '=' && c != '>' && c != '<' && c != '/' && c != '"' && c != '\'' &&
         c != '?' && c != '!' && c != '\0';
}

void AppendUtf8(unsigned long cp, std::string* out) {
  if (cp < 0x80) {
    *out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out += static_cast<char>(0xC0 | (cp >> 6));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out += static_cast<char>(0xE0 | (cp >> 12));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (cp >> 18));
    *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes one reference starting at raw[i] == '&'. Returns the number of
// bytes consumed, or 0 when it is not a reference we know (then the '&' is
// kept as it is, the lenient choice for hand-written skins).
size_t DecodeReference(const std::string& raw, size_t i, std::string* out) {
  size_t end = raw.find(';', i);
  if (end == std::string::npos || end - i > 12) return 0;
  std::string ref = raw.substr(i + 1, end - i - 1);
  static const struct {
    const char* name;
    char ch;
  } kNamed[] = {{"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
  for (const auto& n : kNamed) {
    if (ref == n.name) {
      *out += n.ch;
      return end - i + 1;
    }
  }
  if (ref.size() >= 2 && ref[0] == '#') {
    unsigned long cp = 0;
    size_t pos = 1;
    int base = 10;
    if (ref[1] == 'x' || ref[1] == 'X') {
      base = 16;
      pos = 2;
    }
    if (pos >= ref.size()) return 0;
    for (; pos < ref.size(); ++pos) {
      char c = ref[pos];
      int digit;
      if (c >= '0' && c <= '9')
        digit = c - '0';
      else if (base == 16 && c >= 'a' && c <= 'f')
        digit = c - 'a' + 10;
      else if (base == 16 && c >= 'A' && c <= 'F')
        digit = c - 'A' + 10;
      else
        return 0;
      cp = cp * base + digit;
      if (cp > 0x10FFFF) return 0;
    }
    if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    AppendUtf8(cp, out);
    return end - i + 1;
  }
  return 0;
}

std::string DecodeValue(const std::string& raw) {
  if (raw.find('&') == std::string::npos) return raw;
  std::string out;
  out.reserve(raw.size());
  for (size_t i = 0; i < raw.size();) {
    if (raw[i] == '&') {
      size_t used = DecodeReference(raw, i, &out);
      if (used) {
        i += used;
        continue;
      }
    }
    out += raw[i++];
  }
  return out;
}

// Constructs that are skipped whole, in the order they are tried ("<!--"
// before "<!").
struct SkippedConstruct {
  const char* opener;
  const char* closer;
  const char* unterminated;
  const char* outside_root;  // the error when met outside the root; null: allowed there
};
const SkippedConstruct kSkippedConstructs[] = {
    {"<?", "?>", "unterminated declaration", nullptr},
    {"<!--", "-->", "unterminated comment", nullptr},
    {"<![CDATA[", "]]>", "unterminated character data", "character data outside the root element"},
    {"<!", ">", "unterminated declaration", nullptr},
};

// One pass over the bytes of a layout. Each Read/Skip step starts at pos_
// on its construct and leaves pos_ behind it; false means malformed, with
// the reason and its offset kept for CMarkup.
class MarkupParser {
 public:
  MarkupParser(const char* data, size_t size) : data_(data), size_(size) {}

  // The root element, or null with error() set.
  std::unique_ptr<MarkupNode> Parse() {
    SkipByteOrderMark();
    while (pos_ < size_) {
      if (!ReadNext()) return nullptr;
    }
    if (!open_.empty()) return Failed("element not closed", size_);
    if (!root_) return Failed("no root element", size_);
    return std::move(root_);
  }
  const char* error() const { return error_; }
  size_t error_offset() const { return error_offset_; }

 private:
  void SkipByteOrderMark() {
    if (StartsWith(0, "\xEF\xBB\xBF")) pos_ = 3;
  }

  bool ReadNext() {
    if (data_[pos_] != '<') return SkipTextByte();
    for (const SkippedConstruct& construct : kSkippedConstructs) {
      if (StartsWith(pos_, construct.opener)) return Skip(construct);
    }
    if (StartsWith(pos_, "</")) return ReadEndTag();
    return ReadStartTag();
  }

  // Text content: only blanks are allowed outside the root element.
  bool SkipTextByte() {
    if (open_.empty() && !IsBlank(data_[pos_]) && data_[pos_] != '\0')
      return Fail("text outside the root element", pos_);
    ++pos_;
    return true;
  }

  bool Skip(const SkippedConstruct& construct) {
    if (construct.outside_root && open_.empty()) return Fail(construct.outside_root, pos_);
    size_t end = SkipPast(pos_ + std::strlen(construct.opener), construct.closer);
    if (end == std::string::npos) return Fail(construct.unterminated, pos_);
    pos_ = end;
    return true;
  }

  bool ReadEndTag() {
    const size_t tag_start = pos_;
    size_t k = SkipName(pos_ + 2);
    std::string name(data_ + pos_ + 2, k - pos_ - 2);
    k = SkipBlanks(k);
    if (k >= size_ || data_[k] != '>') return Fail("malformed end tag", tag_start);
    if (open_.empty() || open_.back()->name != name)
      return Fail("end tag does not match", tag_start);
    open_.pop_back();
    pos_ = k + 1;
    return true;
  }

  bool ReadStartTag() {
    const size_t tag_start = pos_;
    const size_t name_start = pos_ + 1;
    pos_ = SkipName(name_start);
    if (pos_ == name_start) return Fail("element without a name", tag_start);
    if (open_.empty() && root_) return Fail("second root element", tag_start);
    if (static_cast<int>(open_.size()) >= CMarkup::kMaxDepth)
      return Fail("elements nested too deeply", tag_start);
    auto node = std::make_unique<MarkupNode>();
    node->name.assign(data_ + name_start, pos_ - name_start);
    bool self_closing = false;
    if (!ReadAttributes(tag_start, node.get(), &self_closing)) return false;
    MarkupNode* raw_node = node.get();
    if (open_.empty()) {
      root_ = std::move(node);
    } else {
      open_.back()->children.push_back(std::move(node));
    }
    if (!self_closing) open_.push_back(raw_node);
    return true;
  }

  // The attributes up to and past the tag's ">" or "/>".
  bool ReadAttributes(size_t tag_start, MarkupNode* node, bool* self_closing) {
    for (;;) {
      pos_ = SkipBlanks(pos_);
      if (pos_ >= size_) return Fail("unterminated start tag", tag_start);
      if (data_[pos_] == '>') {
        ++pos_;
        return true;
      }
      if (data_[pos_] == '/') {
        if (pos_ + 1 < size_ && data_[pos_ + 1] == '>') {
          *self_closing = true;
          pos_ += 2;
          return true;
        }
        return Fail("stray '/' in start tag", pos_);
      }
      if (!ReadAttribute(node)) return false;
    }
  }

  bool ReadAttribute(MarkupNode* node) {
    const size_t attr_start = pos_;
    pos_ = SkipName(pos_);
    if (pos_ == attr_start) return Fail("malformed attribute", pos_);
    std::string attr_name(data_ + attr_start, pos_ - attr_start);
    pos_ = SkipBlanks(pos_);
    if (pos_ >= size_ || data_[pos_] != '=') return Fail("attribute without a value", attr_start);
    pos_ = SkipBlanks(pos_ + 1);
    if (pos_ >= size_ || (data_[pos_] != '"' && data_[pos_] != '\''))
      return Fail("attribute value not quoted", pos_);
    const char quote = data_[pos_++];
    const size_t value_start = pos_;
    while (pos_ < size_ && data_[pos_] != quote) ++pos_;
    if (pos_ >= size_) return Fail("unterminated attribute value", value_start);
    std::string raw(data_ + value_start, pos_ - value_start);
    ++pos_;  // closing quote; the next attribute may follow without a blank
    node->attributes.emplace_back(std::move(attr_name), DecodeValue(raw));
    return true;
  }

  bool StartsWith(size_t at, const char* text) const {
    size_t n = std::strlen(text);
    return at + n <= size_ && std::memcmp(data_ + at, text, n) == 0;
  }
  // The offset behind the first |text| at or after |from|, or npos.
  size_t SkipPast(size_t from, const char* text) const {
    size_t n = std::strlen(text);
    for (size_t k = from; k + n <= size_; ++k) {
      if (std::memcmp(data_ + k, text, n) == 0) return k + n;
    }
    return std::string::npos;
  }
  size_t SkipName(size_t at) const {
    while (at < size_ && IsNameChar(data_[at])) ++at;
    return at;
  }
  size_t SkipBlanks(size_t at) const {
    while (at < size_ && IsBlank(data_[at])) ++at;
    return at;
  }

  bool Fail(const char* message, size_t offset) {
    error_ = message;
    error_offset_ = offset;
    return false;
  }
  std::unique_ptr<MarkupNode> Failed(const char* message, size_t offset) {
    Fail(message, offset);
    return nullptr;
  }

  const char* data_;
  size_t size_;
  size_t pos_ = 0;
  std::unique_ptr<MarkupNode> root_;
  std::vector<MarkupNode*> open_;  // the chain of elements not yet closed
  const char* error_ = "";
  size_t error_offset_ = 0;
};

}  // namespace

const std::string* MarkupNode::Attribute(const char* attribute_name) const {
  for (auto it = attributes.rbegin(); it != attributes.rend(); ++it) {
    if (it->first == attribute_name) return &it->second;
  }
  return nullptr;
}

bool CMarkup::Fail(const char* message, size_t offset) {
  root_.reset();
  error_ = message;
  error_offset_ = offset;
  return false;
}

bool CMarkup::Load(const char* data, size_t size) {
  root_.reset();
  error_.clear();
  error_offset_ = 0;
  if (!data) return Fail("no data", 0);
  MarkupParser parser(data, size);
  std::unique_ptr<MarkupNode> root = parser.Parse();
  if (!root) return Fail(parser.error(), parser.error_offset());
  root_ = std::move(root);
  return true;
}

}  // namespace DuiLib
