#include "LIB/Registry/SettingsFile.h"

#include <cstdint>

namespace veltraw {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

void skipBlanks(const std::string& text, size_t& i) {
  while (i < text.size() && isBlank(text[i])) ++i;
}

bool isBareNameChar(char c) {
  return c > ' ' && c < 0x7f && c != '=' && c != '"' && c != '#' && c != '\\';
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  }
  return true;
}

// text[i] is the opening quote; on success i is past the closing one.
bool parseQuoted(const std::string& text, size_t& i, std::string& bytes) {
  ++i;
  while (i < text.size()) {
    const char c = text[i++];
    if (c == '"') return true;
    if (c != '\\') {
      bytes += c;
      continue;
    }
    if (i >= text.size()) return false;
    switch (const char escape = text[i++]) {
      case '\\':
      case '"':
        bytes += escape;
        break;
      case 't':
        bytes += '\t';
        break;
      case 'n':
        bytes += '\n';
        break;
      case 'r':
        bytes += '\r';
        break;
      case 'x': {
        if (i + 2 > text.size()) return false;
        const int high = hexDigit(text[i]);
        const int low = hexDigit(text[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes += static_cast<char>(high * 16 + low);
        i += 2;
        break;
      }
      default:
        return false;
    }
  }
  return false;  // no closing quote: a cut-off line
}

// A 32-bit number, signed or unsigned, decimal or 0x hexadecimal.
bool parseNumber(const std::string& text, size_t& i, int32_t& value) {
  const bool negative = i < text.size() && text[i] == '-';
  if (negative) ++i;
  uint64_t magnitude = 0;
  size_t digits = 0;
  if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    i += 2;
    for (; i < text.size() && hexDigit(text[i]) >= 0; ++i, ++digits) {
      magnitude = magnitude * 16 + hexDigit(text[i]);
      if (magnitude > 0xffffffffu) return false;
    }
  } else {
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
      magnitude = magnitude * 10 + (text[i] - '0');
      if (magnitude > 0xffffffffu) return false;
    }
  }
  if (digits == 0) return false;
  if (negative) {
    if (magnitude > 0x80000000u) return false;
    value = static_cast<int32_t>(-static_cast<int64_t>(magnitude));
  } else {
    value = static_cast<int32_t>(static_cast<uint32_t>(magnitude));
  }
  return true;
}

std::string formatName(const std::string& name) {
  bool bare = !name.empty();
  for (char c : name) bare = bare && isBareNameChar(c);
  return bare ? name : quoteSettingsText(name);
}

}  // namespace

std::string quoteSettingsText(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string quoted = "\"";
  for (char c : bytes) {
    switch (c) {
      case '\\':
        quoted += "\\\\";
        break;
      case '"':
        quoted += "\\\"";
        break;
      case '\t':
        quoted += "\\t";
        break;
      case '\n':
        quoted += "\\n";
        break;
      case '\r':
        quoted += "\\r";
        break;
      default:
        if (c >= 0x20 && c < 0x7f) {
          quoted += c;
        } else {
          const unsigned char byte = static_cast<unsigned char>(c);
          quoted += "\\x";
          quoted += digits[byte >> 4];
          quoted += digits[byte & 0xf];
        }
    }
  }
  return quoted + "\"";
}

SettingsDocument::Line SettingsDocument::parseLine(const std::string& raw) {
  Line line;
  line.raw = raw;
  std::string text = raw;
  if (!text.empty() && text.back() == '\r') text.pop_back();

  size_t i = 0;
  skipBlanks(text, i);
  if (i == text.size() || text[i] == '#') return line;

  std::string name;
  if (text[i] == '"') {
    if (!parseQuoted(text, i, name)) return line;
  } else {
    while (i < text.size() && isBareNameChar(text[i])) name += text[i++];
    if (name.empty()) return line;
  }
  skipBlanks(text, i);
  if (i == text.size() || text[i] != '=') return line;
  ++i;
  skipBlanks(text, i);

  std::string keyword;
  while (i < text.size() && asciiLower(text[i]) >= 'a' && asciiLower(text[i]) <= 'z') {
    keyword += asciiLower(text[i++]);
  }
  skipBlanks(text, i);
  std::string bytes;
  if (keyword == "number") {
    int32_t value = 0;
    if (!parseNumber(text, i, value)) return line;
    bytes = settingsBytesFromNumber(value);
  } else if (keyword == "text") {
    if (i == text.size() || text[i] != '"' || !parseQuoted(text, i, bytes)) return line;
    bytes += '\0';
  } else {
    return line;
  }
  skipBlanks(text, i);
  if (i != text.size()) return line;  // trailing junk: the value may be cut or mangled

  line.isValue = true;
  line.name = name;
  line.bytes = bytes;
  return line;
}

SettingsDocument SettingsDocument::parse(const std::string& content) {
  SettingsDocument document;
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    document.m_lines.push_back(parseLine(content.substr(start, end - start)));
    start = end + 1;
  }
  return document;
}

int SettingsDocument::findLine(const std::string& name) const {
  for (size_t i = m_lines.size(); i-- > 0;) {
    if (m_lines[i].isValue && sameName(m_lines[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

bool SettingsDocument::find(const std::string& name, std::string& bytes) const {
  const int index = findLine(name);
  if (index < 0) return false;
  bytes = m_lines[index].bytes;
  return true;
}

void SettingsDocument::set(const std::string& name, SettingsValueType type,
                           const std::string& bytes) {
  Line line;
  line.isValue = true;
  line.bytes = bytes;
  const int index = findLine(name);
  // The registry keeps a value's name as first written; so does the file.
  line.name = index >= 0 ? m_lines[index].name : name;
  line.raw = formatName(line.name);
  if (type == SettingsValueType::Number) {
    int32_t value = 0;
    settingsNumberFromBytes(bytes, value);
    line.raw += " = number " + std::to_string(value);
  } else {
    // The stored NUL is implied by the line form.
    const size_t length = !bytes.empty() && bytes.back() == '\0' ? bytes.size() - 1 : bytes.size();
    line.raw += " = text " + quoteSettingsText(bytes.substr(0, length));
  }

  if (index < 0) {
    m_lines.push_back(line);
    return;
  }
  m_lines[index] = line;
  for (int i = index - 1; i >= 0; --i) {
    if (m_lines[i].isValue && sameName(m_lines[i].name, name)) {
      m_lines.erase(m_lines.begin() + i);
    }
  }
}

std::string SettingsDocument::serialize() const {
  std::string content;
  for (const Line& line : m_lines) content += line.raw + '\n';
  return content;
}

}  // namespace veltraw
