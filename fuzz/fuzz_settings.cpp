// Reads any bytes as a settings file, then sets and looks up values named by
// the input. The reader never fails, and keeps every line it does not
// understand; every value it reads can be written back unchanged; whatever is
// written reads back the same, from the document and from its rewritten text.
//
// Input: a 16-bit length and that many bytes of file, then operations, each
// an operation byte and a name (length byte, bytes), then its value.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "LIB/Registry/SettingsFile.h"
#include "LIB/Registry/SettingsKey.h"
#include "fuzz/FuzzInput.h"

using veltraw::SettingsDocument;
using veltraw::SettingsValueType;
using veltraw_fuzz::FuzzInput;

namespace {

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowerName(std::string name) {
  for (char& c : name) c = asciiLower(c);
  return name;
}

// The same name as the store sees it, every ASCII letter in the other case.
std::string flipCase(std::string name) {
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    } else if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return name;
}

// What a lookup of a name must give: absent, or these bytes.
struct Expected {
  bool present = false;
  std::string bytes;
};
using Model = std::map<std::string, Expected>;  // by lowerName

void checkLookup(const SettingsDocument& document, const std::string& name,
                 const Expected& expected) {
  std::string bytes;
  const bool present = document.find(name, bytes);
  FUZZ_CHECK(present == expected.present);
  if (present) FUZZ_CHECK(bytes == expected.bytes);
}

void setAndCheck(SettingsDocument& document, Model& model, const std::string& name,
                 SettingsValueType type, const std::string& bytes) {
  document.set(name, type, bytes);
  const Expected expected{true, bytes};
  checkLookup(document, name, expected);
  checkLookup(document, flipCase(name), expected);
  model[lowerName(name)] = expected;
}

// Rewriting a file keeps every line as it was and ends the last one.
void checkRewrite(const std::string& content) {
  std::string ended = content;
  if (!ended.empty() && ended.back() != '\n') ended += '\n';
  FUZZ_CHECK(SettingsDocument::parse(content).serialize() == ended);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const std::string content = in.takeBytes(in.take<uint16_t>());
  checkRewrite(content);

  SettingsDocument document = SettingsDocument::parse(content);
  Model model;
  while (!in.empty()) {
    const auto operation = in.take<uint8_t>();
    const std::string name = in.takeShortString();
    switch (operation % 3) {
      case 0:
        setAndCheck(document, model, name, SettingsValueType::Number,
                    veltraw::settingsBytesFromNumber(in.take<int32_t>()));
        break;
      case 1:
        setAndCheck(document, model, name, SettingsValueType::Text, in.takeShortString() + '\0');
        break;
      case 2: {
        std::string bytes;
        const bool present = document.find(name, bytes);
        const auto known = model.find(lowerName(name));
        if (known != model.end()) {
          checkLookup(document, name, known->second);
        } else {
          model[lowerName(name)] = Expected{present, bytes};
        }
        if (!present) break;
        // A stored value is a number's 4 bytes or a text ending in its NUL.
        const bool isText = !bytes.empty() && bytes.back() == '\0';
        FUZZ_CHECK(isText || bytes.size() == 4);
        // A 4-byte text ending in NUL reads the same as a number: write either.
        const bool asNumber = bytes.size() == 4 && (!isText || (operation & 0x80) != 0);
        setAndCheck(document, model, name,
                    asNumber ? SettingsValueType::Number : SettingsValueType::Text, bytes);
        break;
      }
    }
  }

  // The rewritten file says the same, and rewrites to itself.
  const std::string text = document.serialize();
  checkRewrite(text);
  const SettingsDocument reread = SettingsDocument::parse(text);
  for (const auto& entry : model) {
    checkLookup(document, entry.first, entry.second);
    checkLookup(reread, entry.first, entry.second);
  }
  return 0;
}
