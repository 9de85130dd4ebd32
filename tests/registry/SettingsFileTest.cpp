// The settings file's text form: what a hand-edited or damaged file reads as.
#include <gtest/gtest.h>

#include <tuple>

#include "LIB/Registry/SettingsFile.h"

namespace veltraw {
namespace {

std::string number(int32_t value) { return settingsBytesFromNumber(value); }
std::string text(const std::string& value) { return value + '\0'; }

std::string valueOf(const SettingsDocument& document, const std::string& name) {
  std::string bytes;
  return document.find(name, bytes) ? bytes : "<missing>";
}

// Each line, and the name it is looked up by with the value it reads as. The
// last line has no line break.
TEST(SettingsFileTest, ReadsTheFormsAPersonMightWrite) {
  const std::tuple<const char*, const char*, std::string> lines[] = {
      {"# comment\n\nFrequency = number 60\n", "frequency", number(60)},
      {"\tRequests=number    -3   \r\n", "Requests", number(-3)},
      {"Mask = NUMBER 0xABCDEF01\n", "MASK", number(-1412567295)},
      {"Top = number 4294967295\n", "Top", number(-1)},
      {"Bottom = number -2147483648\n", "Bottom", number(INT32_MIN)},
      {"Server1 = text \"a \\\"b\\\" \\\\ \\t\\xe9\\x00z\"\n", "Server1",
       text(std::string("a \"b\" \\ \t\xe9\0z", 12))},
      {"\"Odd = name\" = text \"\"\n", "Odd = name", text("")},
      {"Twice = number 1\ntwice = number 2\n", "TWICE", number(2)},
      {"Raw = text \"caf\xc3\xa9\"", "Raw", text("caf\xc3\xa9")}};
  std::string file;
  for (const auto& line : lines) file += std::get<0>(line);
  const auto document = SettingsDocument::parse(file);
  for (const auto& [line, name, value] : lines) EXPECT_EQ(valueOf(document, name), value) << line;
}

// A damaged line costs only its own value: it reads as missing and a rewrite
// keeps it byte for byte, as it keeps a file cut off anywhere.
TEST(SettingsFileTest, DamagedLinesReadAsMissingAndSurviveARewrite) {
  const std::string damaged =
      "Good1 = number 5\n"
      "Cut = text \"no closing quote\n"
      "BadEscape = text \"\\q\"\n"
      "CutAtBadEscape = text \"a\\q\n"
      "ShortHex = text \"\\x4\"\n"
      "NoHex = text \"\\xG1\"\n"
      "Big = number 4294967296\n"
      "TooNegative = number -2147483649\n"
      "Empty = number\n"
      "Junk = number 12 apples\n"
      "Kind = float 1.5\n"
      "NoEquals : number 3\n"
      "= number 4\n" +
      std::string("\0\x01\xff binary\0 line", 16) + "\n" + std::string(300000, 'x') + "\n" +
      "Good2 = text \"kept\"\n";
  auto document = SettingsDocument::parse(damaged);
  for (const char* name : {"Cut", "BadEscape", "CutAtBadEscape", "ShortHex", "NoHex", "Big",
                           "TooNegative", "Empty", "Junk", "Kind", "NoEquals"}) {
    EXPECT_EQ(valueOf(document, name), "<missing>") << name;
  }
  EXPECT_EQ(valueOf(document, "Good2"), text("kept"));
  document.set("Good1", SettingsValueType::Number, number(6));
  EXPECT_EQ(document.serialize(), "Good1 = number 6" + damaged.substr(16));

  const std::string whole =
      "Servers = number 2\nServer1 = text \"o\\x6ee\"\nFrequency = number 60\n";
  for (size_t cut = 0; cut <= whole.size(); ++cut) {
    const std::string kept = whole.substr(0, cut);
    auto partial = SettingsDocument::parse(kept);
    // A line reads as its value once the value is whole, line break or not.
    const bool hasServers = kept.find("number 2") != std::string::npos;
    const bool hasServer1 = kept.find("ee\"") != std::string::npos;
    EXPECT_EQ(valueOf(partial, "Servers"), hasServers ? number(2) : "<missing>") << cut;
    EXPECT_EQ(valueOf(partial, "Server1"), hasServer1 ? text("one") : "<missing>") << cut;
    partial.set("Added", SettingsValueType::Number, number(1));
    EXPECT_EQ(partial.serialize().compare(0, kept.size(), kept), 0) << cut;
  }
}

// Reading back what was written is the settings fuzzer's to check.
TEST(SettingsFileTest, WritesPlainAscii) {
  SettingsDocument document;
  std::string everyByte;
  for (int c = 0; c < 256; ++c) everyByte += static_cast<char>(c);
  document.set("Every", SettingsValueType::Text, everyByte + '\0');
  document.set(everyByte, SettingsValueType::Number, number(-7));
  document.set("", SettingsValueType::Text, text("unnamed"));
  document.set("\x7f", SettingsValueType::Number, number(1));
  const std::string written = document.serialize();
  for (char c : written) EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7f)) << int(c);
}

TEST(SettingsFileTest, SetReplacesTheLineThatCountsAndDropsStaleDuplicates) {
  auto document = SettingsDocument::parse(
      "frequency = number 1\n# mine\nServers = number 1\nSERVERS = number 2\n");
  document.set("Servers", SettingsValueType::Number, number(3));
  document.set("Frequency", SettingsValueType::Text, text("x"));
  document.set("New", SettingsValueType::Number, number(4));
  EXPECT_EQ(document.serialize(),
            "frequency = text \"x\"\n# mine\nSERVERS = number 3\nNew = number 4\n");
}

}  // namespace
}  // namespace veltraw
