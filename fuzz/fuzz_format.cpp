// Formats arbitrary calendar times with arbitrary patterns and zones, and
// builds the test packet texts of arbitrary results. A missing zone may end
// in the assertion failure formatting prescribes for it; any other exception
// escapes and is a crash. Broken invariants abort.
//
// Input: a flags byte, a zone (4 bytes), a second zone (4 bytes), a calendar
// time (year 2, month, day, hour, minute, second 1 each, fraction 4), a
// status byte and 48 packet bytes; the rest is the pattern.
#include <algorithm>
#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "LIB/String/FormatString.h"
#include "LIB/Time/NtpTimestamp.h"
#include "LIB/Time/TimeClass.h"
#include "ui/TestPacketsModel.h"

using veltraw::FormatString;
using veltraw::NtpTimestamp;
using veltraw::TimeClass;

namespace {

#define CHECK(condition)                                                               \
  do {                                                                                 \
    if (!(condition)) {                                                                \
      std::fprintf(stderr, "invariant broken at line %d: %s\n", __LINE__, #condition); \
      std::abort();                                                                    \
    }                                                                                  \
  } while (0)

enum Flags : uint8_t {
  kZoneSet = 1,
  kTimeSet = 2,
  kDaylight = 4,
  kZoneNearRange = 8,   // the zone mostly within a day, where names and shifts are
  kFieldsInRange = 16,  // the time's fields folded into their ranges
  kZoneChangedAfterTime = 32,
  kHasPacket = 64,
};

class Input {
 public:
  Input(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
  template <typename T>
  T take() {
    T value = 0;
    const size_t n = m_size < sizeof(T) ? m_size : sizeof(T);
    std::memcpy(&value, m_data, n);
    m_data += n;
    m_size -= n;
    return value;
  }
  std::string rest() const { return std::string(reinterpret_cast<const char*>(m_data), m_size); }

 private:
  const uint8_t* m_data;
  size_t m_size;
};

int32_t takeZone(Input& in, uint8_t flags) {
  const auto zone = in.take<int32_t>();
  if ((flags & kZoneNearRange) == 0) return zone;
  return static_cast<int32_t>(static_cast<uint32_t>(zone) % 3000) - 1500;
}

// Each field through its setter; a value the setter refuses is left out.
TimeClass takeTime(Input& in, uint8_t flags) {
  auto year = in.take<uint16_t>();
  auto month = in.take<uint8_t>(), day = in.take<uint8_t>();
  auto hour = in.take<uint8_t>(), minute = in.take<uint8_t>(), second = in.take<uint8_t>();
  const auto fraction = in.take<uint32_t>();
  if (flags & kFieldsInRange) {
    year = static_cast<uint16_t>(1900 + year % 63636);
    month = static_cast<uint8_t>(month % 12 + 1);
    day = static_cast<uint8_t>(day % veltraw::daysInMonth(year, month) + 1);
    hour = static_cast<uint8_t>(hour % 25);
    minute = static_cast<uint8_t>(minute % 60);
    second = static_cast<uint8_t>(second % 60);
  }
  TimeClass time;
  const auto attempt = [&](void (TimeClass::*set)(uint8_t), uint8_t value) {
    try {
      (time.*set)(value);
    } catch (const veltraw::TimeError&) {
    }
  };
  try {
    time.setYear(year);
  } catch (const veltraw::TimeError&) {
  }
  attempt(&TimeClass::setMonth, month);
  attempt(&TimeClass::setDay, day);
  attempt(&TimeClass::setHour, hour);
  attempt(&TimeClass::setMinute, minute);
  attempt(&TimeClass::setSecond, second);
  time.fraction = fraction;
  return time;
}

// The pattern as it reads with neither time nor zone set: every run copied
// except Z, which writes nothing. False when the pattern holds a ZZ field,
// which then needs the zone.
bool expandWithoutData(const std::string& pattern, std::string& text) {
  bool inField = false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '\\') {
      if (++i == pattern.size()) break;
      text += pattern[i] == 'n' ? '\n' : pattern[i] == 'r' ? '\r' : pattern[i];
    } else if (!inField && c == '[') {
      inField = true;
    } else if (inField && c == ']') {
      inField = false;
    } else if (inField && c == 'Z') {
      size_t run = 1;
      while (i + run < pattern.size() && pattern[i + run] == 'Z') ++run;
      if (run == 2) return false;
      if (run > 1) text.append(run, 'Z');
      i += run - 1;
    } else {
      text += c;
    }
  }
  return true;
}

void checkFormatting(const FormatString& formatter, const std::string& pattern) {
  // Without a zone there is no time either (setting it failed): every run is
  // copied but Z's, and only a ZZ field may fail.
  const bool hasZone = formatter.isValid(FormatString::Field_Zone);
  if (!hasZone) CHECK(!formatter.isValid(FormatString::Field_Time));
  std::string expected;
  const bool expandable = hasZone || expandWithoutData(pattern, expected);
  std::string text;
  try {
    text = formatter.format(pattern);
  } catch (const char* failure) {
    CHECK(std::strcmp(failure, "Assertion failure") == 0);
    CHECK(!expandable);
    return;
  }
  CHECK(expandable);
  // No field writes more than eight characters for each letter of its run.
  CHECK(text.size() <= 8 * pattern.size());
  if (pattern.find_first_of("[\\") == std::string::npos) CHECK(text == pattern);
  if (!hasZone) CHECK(text == expected);
}

int monthOf(const char* name) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (int i = 0; i < 12; ++i) {
    if (std::strcmp(name, kMonths[i]) == 0) return i + 1;
  }
  return 0;
}

// The calendar text shows the timestamp truncated to 1/10000 s after rounding
// to the microsecond, in the NTP era of the timestamp.
void checkCalendarText(const std::string& text, NtpTimestamp stamp) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  char weekday[4] = {}, monthName[4] = {};
  int day = 0, year = 0, hour = 0, minute = 0, second = 0, tenThousandths = 0, used = 0;
  CHECK(std::sscanf(text.c_str(), "%3[A-Za-z], %3[A-Za-z] %d,%d %d:%d:%d.%4d UTC%n", weekday,
                    monthName, &day, &year, &hour, &minute, &second, &tenThousandths, &used) == 8);
  CHECK(static_cast<size_t>(used) == text.size());
  TimeClass shown;
  shown.setYear(static_cast<uint16_t>(year));
  shown.setMonth(static_cast<uint8_t>(monthOf(monthName)));
  shown.setDay(static_cast<uint8_t>(day));
  shown.setTimeOfDay(static_cast<uint8_t>(hour), static_cast<uint8_t>(minute),
                     static_cast<uint8_t>(second));
  CHECK(std::strcmp(weekday, kDays[shown.weekday()]) == 0);
  shown.fraction =
      static_cast<uint32_t>((uint64_t{static_cast<uint32_t>(tenThousandths)} << 32) / 10000);
  const auto error = static_cast<int64_t>((NtpTimestamp::FromCalendar(shown) - stamp).value());
  const int64_t tenThousandth = (int64_t{1} << 32) / 10000 + 1;
  const int64_t halfMicrosecond = (int64_t{1} << 32) / 2000000 + 1;
  CHECK(error > -tenThousandth - halfMicrosecond && error <= halfMicrosecond);
}

void checkPacketTexts(const veltraw::NtpResult& result) {
  const veltraw::ResultTexts texts = veltraw::resultTexts(result);
  for (const std::string& text : texts) CHECK(text.size() <= veltraw::kMaxResultTextLength);
  const bool reply =
      result.hasPacket && (result.status == veltraw::Ok || result.status == veltraw::BadReference);
  if (!reply) {
    CHECK(texts[0] == (result.status == veltraw::NoResponse ? "Timeout waiting for packet response"
                                                            : "Error getting packet response"));
    for (size_t i = 1; i < texts.size(); ++i) CHECK(texts[i].empty());
    return;
  }
  for (const std::string& text : texts) CHECK(!text.empty());
  for (int i = 0; i < 4; ++i) {
    const NtpTimestamp stamp =
        result.packet.timestampAt(veltraw::NtpPacket::kReferenceTimestampOffset + 8 * i);
    const size_t first = IDC_REFERENCE_HEX - IDC_ROUND_TRIP + 3 * i;
    unsigned seconds = 0, fraction = 0;
    CHECK(std::sscanf(texts[first].c_str(), "%8x.%8x", &seconds, &fraction) == 2);
    CHECK(NtpTimestamp::Make(seconds, fraction) == stamp);
    uint64_t decimalSeconds = 0, units = 0;
    CHECK(std::sscanf(texts[first + 1].c_str(), "%" SCNu64 ".%8" SCNu64, &decimalSeconds, &units) ==
          2);
    const double shown = static_cast<double>(decimalSeconds) + static_cast<double>(units) * 1e-8;
    CHECK(shown - stamp.ToSeconds() < 1e-6 && stamp.ToSeconds() - shown < 1e-6);
    checkCalendarText(texts[first + 2], stamp);
  }
}

char folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string foldedText(const std::string& text) {
  std::string result = text;
  for (char& c : result) c = folded(c);
  return result;
}

// The pattern's words as server names, then the result's host as a reply
// brings it: the list stays sorted, holds no name twice, and refuses a name
// only when an entry already begins with it.
void checkServerList(const std::string& words, const veltraw::NtpResult& result) {
  veltraw::TestPacketsModel model;
  size_t start = 0;
  for (int n = 0; n < 32 && start <= words.size(); ++n) {
    const size_t end = std::min(words.find(' ', start), words.size());
    const std::string name = words.substr(start, end - start);
    start = end + 1;
    const std::vector<std::string> before = model.servers();
    const bool added = model.addServer(name);
    bool covered = name.empty();
    for (const std::string& entry : before) {
      covered = covered || foldedText(entry).compare(0, name.size(), foldedText(name)) == 0;
    }
    CHECK(added != covered);
    CHECK(model.servers().size() == before.size() + (added ? 1 : 0));
  }
  const std::vector<std::string>& servers = model.servers();
  for (size_t i = 1; i < servers.size(); ++i) {
    CHECK(foldedText(servers[i - 1]) < foldedText(servers[i]));
  }
  veltraw::NtpResult named = result;
  named.host = words.substr(0, words.find(' '));
  const size_t count = servers.size();
  const bool changed = model.apply(veltraw::testPacketReport(named));
  CHECK(model.texts() == veltraw::resultTexts(named));
  CHECK(model.servers().size() == count + (changed ? 1 : 0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  const auto flags = in.take<uint8_t>();
  const int32_t zone = takeZone(in, flags);
  const int32_t laterZone = takeZone(in, flags);
  const TimeClass time = takeTime(in, flags);
  veltraw::NtpResult result;
  result.status = static_cast<veltraw::NtpStatus>(in.take<uint8_t>() % 5);
  result.hasPacket = (flags & kHasPacket) != 0;
  for (uint8_t& byte : result.packet.bytes) byte = in.take<uint8_t>();
  const std::string pattern = in.rest();

  FormatString formatter;
  if (flags & kZoneSet) formatter.setZone(zone, (flags & kDaylight) != 0);
  if (flags & kTimeSet) {
    try {
      formatter.setUtcTime(time);
      CHECK(formatter.isValid(FormatString::Field_Zone));
    } catch (const char* failure) {
      CHECK(std::strcmp(failure, "Assertion failure") == 0);
      CHECK(!formatter.isValid(FormatString::Field_Zone));
    }
  }
  if ((flags & kZoneChangedAfterTime) && formatter.isValid(FormatString::Field_Zone)) {
    formatter.setZone(laterZone, (flags & kDaylight) == 0);
  }
  checkFormatting(formatter, pattern);
  checkPacketTexts(result);
  checkServerList(pattern, result);
  return 0;
}
