#include "ui/TestPacketsModel.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "LIB/Registry/SettingsKey.h"
#include "LIB/String/FormatString.h"
#include "LIB/Time/NtpTimestamp.h"
#include "LIB/Time/TimeClass.h"
#include "app/Settings.h"

namespace veltraw {

namespace {

constexpr const char* kTimeoutText = "Timeout waiting for packet response";
constexpr const char* kErrorText = "Error getting packet response";
constexpr const char* kCalendarPattern = "[ZZDDD, MMM D,YYYY HH:mm:ss.SSSS] UTC";

constexpr const char* kLeapTexts[4] = {"0 (ok)", "1 (61 s)", "2 (59 s)", "3 (ALARM)"};
constexpr const char* kModeTexts[8] = {"0 (reserved)", "1 (active)", "2 (passive)",
                                       "3 (client)",   "4 (server)", "5 (broadcast)",
                                       "6 (control)",  "7 (private)"};

size_t fieldIndex(int id) { return static_cast<size_t>(id - IDC_ROUND_TRIP); }

template <typename... Values>
std::string printed(const char* format, Values... values) {
  char text[kMaxResultTextLength + 1];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

// 2 to the power exponent in decimal, exact for every exponent a signed byte
// can hold (2^128 has 39 digits).
std::string powerOfTwo(int exponent) {
  std::string reversed = "1";
  for (int e = 0; e < exponent; ++e) {
    int carry = 0;
    for (char& digit : reversed) {
      const int doubled = (digit - '0') * 2 + carry;
      digit = static_cast<char>('0' + doubled % 10);
      carry = doubled / 10;
    }
    if (carry != 0) reversed.push_back(static_cast<char>('0' + carry));
  }
  return std::string(reversed.rbegin(), reversed.rend());
}

// A log2 seconds byte (poll interval, precision): "64 s (06)" or, below one
// second, "1/1048576 s (ec)".
std::string exponentText(uint8_t byte) {
  const int exponent = static_cast<int8_t>(byte);
  const std::string seconds = exponent < 0 ? "1/" + powerOfTwo(-exponent) : powerOfTwo(exponent);
  return seconds + printed(" s (%02x)", static_cast<unsigned>(byte));
}

std::string fixedPointText(double value, uint32_t raw) {
  return printed("%0.5f s (%08x)", value / 65536.0, static_cast<unsigned>(raw));
}

// Printable ASCII as it stands, any other byte as "\x%02x".
std::string referenceIdText(const uint8_t* id) {
  std::string text;
  for (int i = 0; i < 4; ++i) {
    if (id[i] >= 0x20 && id[i] <= 0x7E) {
      text.push_back(static_cast<char>(id[i]));
    } else {
      text += printed("\\x%02x", static_cast<unsigned>(id[i]));
    }
  }
  return text;
}

// The server's time between receiving the request and sending the reply, as
// a signed difference, so that a reply sent across the 2036 wrap of the
// seconds still shows the few milliseconds it took.
std::string serverTimeText(const NtpPacket& packet) {
  const NtpTimestamp held = packet.transmitTimestamp() - packet.receiveTimestamp();
  const double seconds = static_cast<double>(static_cast<int64_t>(held.value())) / 4294967296.0;
  return printed("%f ms", seconds * 1000);
}

// Seconds and eight decimals, rounded from the exact value: a double beside
// ten digits of seconds holds only about seven decimals.
std::string decimalSecondsText(NtpTimestamp stamp) {
  constexpr uint64_t kUnits = 100000000;
  const uint64_t units = (uint64_t{stamp.fraction()} * kUnits + (uint64_t{1} << 31)) >> 32;
  const uint64_t seconds = stamp.seconds() + units / kUnits;
  return printed("%" PRIu64 ".%08" PRIu64, seconds, units % kUnits);
}

void setTimestampTexts(ResultTexts& texts, int hexId, NtpTimestamp stamp, FormatString& utc) {
  texts[fieldIndex(hexId)] = stamp.ToText();
  texts[fieldIndex(hexId + 1)] = decimalSecondsText(stamp);
  utc.setUtcTime(stamp.ToCalendar());
  texts[fieldIndex(hexId + 2)] = utc.format(kCalendarPattern);
}

bool isReply(const NtpResult& result) {
  return (result.status == Ok || result.status == BadReference) && result.hasPacket;
}

// Letter case ignored for ASCII only, as host names are; bytes above ASCII
// sort after it.
unsigned char folded(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

bool lessIgnoringCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return folded(x) < folded(y); });
}

bool beginsWithIgnoringCase(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(),
                    [](char x, char y) { return folded(x) == folded(y); });
}

// The first `count` names of a numbered list, ending at the first empty name.
std::vector<std::string> storedNames(const SettingsKey& settings, const NumberSetting& count,
                                     std::string (*valueName)(int32_t)) {
  std::vector<std::string> names;
  const int32_t last = settings.read(count);
  for (int32_t n = 1; n <= last; ++n) {
    std::string name = settings.readText(valueName(n), "");
    if (name.empty()) break;
    names.push_back(name.substr(0, kMaxServerNameLength));
  }
  return names;
}

}  // namespace

ResultTexts resultTexts(const NtpResult& result) {
  ResultTexts texts;
  if (result.status == NoResponse) {
    texts[0] = kTimeoutText;
    return texts;
  }
  if (!isReply(result)) {
    texts[0] = kErrorText;
    return texts;
  }
  const NtpPacket& packet = result.packet;
  texts[fieldIndex(IDC_ROUND_TRIP)] = printed("%d ms", static_cast<int>(result.roundTripMs));
  texts[fieldIndex(IDC_OFFSET)] = printed("%d ms", static_cast<int>(result.offsetMs));
  texts[fieldIndex(IDC_SERVER_TIME)] = serverTimeText(packet);
  texts[fieldIndex(IDC_LEAP)] = kLeapTexts[packet.leapIndicator()];
  texts[fieldIndex(IDC_VERSION)] = printed("%d", static_cast<int>(packet.versionNumber()));
  texts[fieldIndex(IDC_MODE)] = kModeTexts[packet.mode()];
  texts[fieldIndex(IDC_STRATUM)] = printed("%d", static_cast<int>(packet.stratum()));
  texts[fieldIndex(IDC_POLL)] = exponentText(packet.bytes[2]);
  texts[fieldIndex(IDC_PRECISION)] = exponentText(packet.bytes[3]);
  texts[fieldIndex(IDC_ROOT_DISPERSION)] =
      fixedPointText(static_cast<double>(packet.rootDispersion()), packet.rootDispersion());
  texts[fieldIndex(IDC_ROOT_DELAY)] = fixedPointText(static_cast<double>(packet.rootDelay()),
                                                     static_cast<uint32_t>(packet.rootDelay()));
  texts[fieldIndex(IDC_REFERENCE_ID)] = referenceIdText(packet.referenceId());

  FormatString utc;
  utc.setZone(0, false);
  setTimestampTexts(texts, IDC_REFERENCE_HEX, packet.referenceTimestamp(), utc);
  setTimestampTexts(texts, IDC_ORIGINATE_HEX, packet.originateTimestamp(), utc);
  setTimestampTexts(texts, IDC_RECEIVE_HEX, packet.receiveTimestamp(), utc);
  setTimestampTexts(texts, IDC_TRANSMIT_HEX, packet.transmitTimestamp(), utc);
  return texts;
}

TestPacketReport testPacketReport(const NtpResult& result) {
  TestPacketReport report;
  report.texts = resultTexts(result);
  report.answered = isReply(result);
  report.host = result.host;
  return report;
}

void TestPacketsModel::load(const SettingsKey& settings) {
  const std::vector<std::string> configured =
      storedNames(settings, setting::Servers, setting::serverValueName);
  if (!configured.empty()) serverText = configured.front();  // the primary
  for (const std::string& name : configured) addServer(name);
  for (const std::string& name :
       storedNames(settings, setting::TestServers, setting::testServerValueName)) {
    addServer(name);
  }
}

void TestPacketsModel::store(SettingsKey& settings) const {
  int32_t n = 0;
  for (const std::string& name : m_servers) {
    settings.writeText(setting::testServerValueName(++n), name);
  }
  settings.write(setting::TestServers, n);
}

bool TestPacketsModel::addServer(const std::string& name) {
  if (name.empty()) return false;
  for (const std::string& entry : m_servers) {
    if (beginsWithIgnoringCase(entry, name)) return false;
  }
  m_servers.insert(std::upper_bound(m_servers.begin(), m_servers.end(), name, lessIgnoringCase),
                   name);
  return true;
}

bool TestPacketsModel::apply(const TestPacketReport& report) {
  m_texts = report.texts;
  return report.answered && addServer(report.host);
}

}  // namespace veltraw
