// The text form of a settings key where there is no registry: one value per
// line, readable and editable by hand.
//
//   # Settings of Veltraw
//   Frequency = number 60
//   Server1 = text "ntp.example.org"
//   "Odd name" = text "tab\there, \"quoted\", byte \xe9"
//
// A number is written in decimal (-2147483648 to 4294967295 are accepted, or
// 0x and up to 8 hexadecimal digits) and stands for its 4 bytes in
// little-endian order, like a REG_DWORD. A text stands for its bytes and a
// terminating NUL, like a REG_SZ. Inside quotes the escapes are \\ \" \t \n \r
// and \xHH (exactly two hexadecimal digits); every other byte stands for
// itself. The writer escapes every byte outside 0x20..0x7e, so what it writes
// is plain ASCII that any byte string survives. A name is written bare when it
// is made of printable characters other than blank, '=', '"', '#' and '\',
// otherwise quoted like a text. Names match without regard to ASCII letter
// case, as in the registry; when a name appears on several lines the last one
// counts. Blank lines, comments (first non-blank character '#') and lines that
// cannot be read are no value, and are kept as they are when the file is
// rewritten, so a damaged line costs only its own value. Lines end in LF; a CR
// before it is ignored.
#pragma once

#include <string>
#include <vector>

#include "LIB/Registry/SettingsKey.h"

namespace veltraw {

class SettingsDocument {
 public:
  // Never fails: what cannot be read is kept as an opaque line.
  static SettingsDocument parse(const std::string& content);

  // The stored bytes of the value (4 for a number, the text and its NUL for a
  // text); false when the document has no readable line of that name.
  bool find(const std::string& name, std::string& bytes) const;

  // Replaces the value's last line in place (dropping earlier lines of the
  // same name) or appends a line. A text's bytes end in its NUL; a number's
  // are 4.
  void set(const std::string& name, SettingsValueType type, const std::string& bytes);

  std::string serialize() const;

 private:
  struct Line {
    std::string raw;  // the line as it stands in the file, without its LF
    bool isValue = false;
    std::string name;
    std::string bytes;
  };
  static Line parseLine(const std::string& raw);
  int findLine(const std::string& name) const;

  std::vector<Line> m_lines;
};

// A quoted string in the file's escaping: "..." with \\ \" \t \n \r \xHH.
std::string quoteSettingsText(const std::string& bytes);

}  // namespace veltraw
