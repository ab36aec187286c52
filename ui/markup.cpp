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
  static const struct { const char* name; char ch; } kNamed[] = {
      {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
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
      if (c >= '0' && c <= '9') digit = c - '0';
      else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      else return 0;
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

  size_t i = 0;
  if (size >= 3 && static_cast<unsigned char>(data[0]) == 0xEF &&
      static_cast<unsigned char>(data[1]) == 0xBB && static_cast<unsigned char>(data[2]) == 0xBF) {
    i = 3;
  }
  auto starts = [&](size_t at, const char* text) {
    size_t n = std::strlen(text);
    return at + n <= size && std::memcmp(data + at, text, n) == 0;
  };
  auto skip_to = [&](size_t from, const char* text) -> size_t {
    size_t n = std::strlen(text);
    for (size_t k = from; k + n <= size; ++k) {
      if (std::memcmp(data + k, text, n) == 0) return k + n;
    }
    return std::string::npos;
  };

  std::unique_ptr<MarkupNode> root;
  std::vector<MarkupNode*> open;  // the chain of elements not yet closed
  while (i < size) {
    if (data[i] != '<') {
      // Text content: only blanks are allowed outside the root element.
      if (open.empty() && !IsBlank(data[i]) && data[i] != '\0') return Fail("text outside the root element", i);
      ++i;
      continue;
    }
    if (starts(i, "<?")) {
      size_t end = skip_to(i + 2, "?>");
      if (end == std::string::npos) return Fail("unterminated declaration", i);
      i = end;
      continue;
    }
    if (starts(i, "<!--")) {
      size_t end = skip_to(i + 4, "-->");
      if (end == std::string::npos) return Fail("unterminated comment", i);
      i = end;
      continue;
    }
    if (starts(i, "<![CDATA[")) {
      if (open.empty()) return Fail("character data outside the root element", i);
      size_t end = skip_to(i + 9, "]]>");
      if (end == std::string::npos) return Fail("unterminated character data", i);
      i = end;
      continue;
    }
    if (starts(i, "<!")) {
      size_t end = skip_to(i + 2, ">");
      if (end == std::string::npos) return Fail("unterminated declaration", i);
      i = end;
      continue;
    }
    if (starts(i, "</")) {
      size_t start = i + 2;
      size_t k = start;
      while (k < size && IsNameChar(data[k])) ++k;
      std::string name(data + start, k - start);
      while (k < size && IsBlank(data[k])) ++k;
      if (k >= size || data[k] != '>') return Fail("malformed end tag", i);
      if (open.empty() || open.back()->name != name) return Fail("end tag does not match", i);
      open.pop_back();
      i = k + 1;
      continue;
    }

    // A start tag.
    size_t tag_start = i;
    size_t k = i + 1;
    size_t name_start = k;
    while (k < size && IsNameChar(data[k])) ++k;
    if (k == name_start) return Fail("element without a name", tag_start);
    if (!open.empty() ? false : root != nullptr) return Fail("second root element", tag_start);
    if (static_cast<int>(open.size()) >= kMaxDepth) return Fail("elements nested too deeply", tag_start);
    auto node = std::make_unique<MarkupNode>();
    node->name.assign(data + name_start, k - name_start);

    bool self_closing = false;
    for (;;) {
      while (k < size && IsBlank(data[k])) ++k;
      if (k >= size) return Fail("unterminated start tag", tag_start);
      if (data[k] == '>') {
        ++k;
        break;
      }
      if (data[k] == '/') {
        if (k + 1 < size && data[k + 1] == '>') {
          self_closing = true;
          k += 2;
          break;
        }
        return Fail("stray '/' in start tag", k);
      }
      size_t attr_start = k;
      while (k < size && IsNameChar(data[k])) ++k;
      if (k == attr_start) return Fail("malformed attribute", k);
      std::string attr_name(data + attr_start, k - attr_start);
      while (k < size && IsBlank(data[k])) ++k;
      if (k >= size || data[k] != '=') return Fail("attribute without a value", attr_start);
      ++k;
      while (k < size && IsBlank(data[k])) ++k;
      if (k >= size || (data[k] != '"' && data[k] != '\'')) return Fail("attribute value not quoted", k);
      char quote = data[k++];
      size_t value_start = k;
      while (k < size && data[k] != quote) ++k;
      if (k >= size) return Fail("unterminated attribute value", value_start);
      std::string raw(data + value_start, k - value_start);
      ++k;  // closing quote; the next attribute may follow without a blank
      node->attributes.emplace_back(std::move(attr_name), DecodeValue(raw));
    }

    MarkupNode* raw_node = node.get();
    if (open.empty()) {
      root = std::move(node);
    } else {
      open.back()->children.push_back(std::move(node));
    }
    if (!self_closing) open.push_back(raw_node);
    i = k;
  }
  if (!open.empty()) return Fail("element not closed", size);
  if (!root) return Fail("no root element", size);
  root_ = std::move(root);
  return true;
}

}  // namespace DuiLib
