// Drives the calendar setters, arithmetic and NTP conversions with arbitrary
// values. TimeError is the only failure the calendar may report; any other
// exception escapes and is a crash. Broken invariants abort.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "LIB/Log/ErrorLog.h"
#include "LIB/Time/NtpTimestamp.h"
#include "LIB/Time/TimeClass.h"
#include "fuzz/FuzzInput.h"

using veltraw::NtpTimestamp;
using veltraw::TimeClass;
using veltraw::TimeError;

namespace {

using veltraw_fuzz::FuzzInput;

using Wide = unsigned __int128;

// The instant in microseconds since 1900, as the arithmetic counts it.
Wide totalMicroseconds(const TimeClass& t) {
  return (Wide{t.dayNumber()} * 86400 + t.secondsInDay()) * 1000000 + t.microsecond();
}

const Wide kLastMicrosecond = (Wide{TimeClass::kLastDayNumber} * 86400 + 86399) * 1000000 + 999999;

bool fieldsInRange(const TimeClass& t) {
  return t.year() >= 1900 && t.month() >= 1 && t.month() <= 12 && t.day() >= 1 && t.day() <= 31 &&
         t.hour() <= 24 && t.minute() <= 59 && t.second() <= 59;
}

bool isValidDate(const TimeClass& t) {
  return fieldsInRange(t) && t.day() <= veltraw::daysInMonth(t.year(), t.month());
}

bool isNormal(const TimeClass& t) { return isValidDate(t) && t.hour() < 24; }

class TextSink : public veltraw::LogSink {
 public:
  TextSink() : LogSink(false) { level = veltraw::Trace; }
  void beginEntry(std::time_t, int32_t) override { text.clear(); }
  void write(const char* piece) override { text += piece; }
  void endEntry() override {}
  std::string text;
};

void checkQueries(const TimeClass& t) {
  FUZZ_CHECK(t.microsecond() <= 1000000);
  FUZZ_CHECK(t.millisecond() <= 1000);
  FUZZ_CHECK(t.weekday() >= 0 && t.weekday() <= 6);
  FUZZ_CHECK(t.dayNumber() <= TimeClass::kLastDayNumber);
  if (isValidDate(t)) {
    FUZZ_CHECK(t.dayOfYear() >= 1 && t.dayOfYear() <= 366);
    FUZZ_CHECK(t.isoWeek() >= 1 && t.isoWeek() <= 53);
    FUZZ_CHECK(t.dayNumber() <= TimeClass::kLastDayNumber);
    TimeClass copy;
    copy.setDayNumber(t.dayNumber());
    FUZZ_CHECK(copy.year() == t.year() && copy.month() == t.month() && copy.day() == t.day());
  }
  // Both day counts are linear in the fields, so they differ by a constant.
  const double sinceMidnight = t.secondsInDay() / 86400.0;
  FUZZ_CHECK(std::fabs(t.julianDate() - (t.dayNumber() + 2415020.5 + sinceMidnight)) < 1e-4);

  // Every timestamp survives the calendar; calendar times inside the two eras
  // survive the timestamp.
  const NtpTimestamp stamp = NtpTimestamp::FromCalendar(t);
  const TimeClass back = stamp.ToCalendar();
  FUZZ_CHECK(NtpTimestamp::FromCalendar(back) == stamp);
  const TimeClass eraStart = NtpTimestamp::Make(0x80000000, 0).ToCalendar();
  const TimeClass eraEnd = NtpTimestamp::Make(0x7FFFFFFF, 0xFFFFFFFF).ToCalendar();
  if (isNormal(t) && !(t < eraStart) && !(eraEnd < t)) FUZZ_CHECK(back == t);
}

void checkOrder(const TimeClass& a, const TimeClass& b) {
  FUZZ_CHECK(!(a < a));
  const int relations = (a < b) + (b < a) + (a == b);
  FUZZ_CHECK(relations == 1);
}

// Runs one setter; on TimeError the time must be as it was.
template <typename Set>
bool attempt(TimeClass& time, Set set) {
  const TimeClass before = time;
  try {
    set(time);
    return true;
  } catch (const TimeError& e) {
    FUZZ_CHECK(time == before);
    FUZZ_CHECK(std::strncmp(e.what(), "TimeError: ", 11) == 0);
    return false;
  }
}

void moveAndCheck(TimeClass& time, uint64_t amount, bool forward, bool milliseconds) {
  const Wide before = totalMicroseconds(time);
  const Wide delta = milliseconds ? Wide{amount} * 1000 : Wide{amount};
  // Either way the result must be a representable instant: a time past the
  // last day (hour 24 of it) cannot move, not even by zero.
  const bool fits = forward ? before + delta <= kLastMicrosecond
                            : delta <= before && before - delta <= kLastMicrosecond;
  const bool moved = attempt(time, [&](TimeClass& t) {
    if (milliseconds) {
      const auto ms = static_cast<uint32_t>(amount);
      forward ? t.addMilliseconds(ms) : t.subtractMilliseconds(ms);
    } else {
      forward ? t.addMicroseconds(amount) : t.subtractMicroseconds(amount);
    }
  });
  FUZZ_CHECK(moved == fits);
  if (moved) {
    FUZZ_CHECK(isNormal(time));
    FUZZ_CHECK(totalMicroseconds(time) == (forward ? before + delta : before - delta));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  TimeClass time;
  TimeClass other = NtpTimestamp::Make(0xC76B0235, 0x80000000).ToCalendar();
  while (!in.empty()) {
    const auto op = in.take<uint8_t>();
    switch (op % 18) {
      case 0: {
        const auto year = in.take<uint16_t>();
        FUZZ_CHECK(attempt(time, [&](TimeClass& t) { t.setYear(year); }) == (year >= 1900));
        break;
      }
      case 1: {
        const auto month = in.take<uint8_t>();
        FUZZ_CHECK(attempt(time, [&](TimeClass& t) { t.setMonth(month); }) ==
                   (month >= 1 && month <= 12));
        break;
      }
      case 2: {
        const auto day = in.take<uint8_t>();
        const bool valid = day >= 1 && day <= veltraw::daysInMonth(time.year(), time.month());
        FUZZ_CHECK(attempt(time, [&](TimeClass& t) { t.setDay(day); }) == valid);
        break;
      }
      case 3: {
        const auto hour = in.take<uint8_t>();
        FUZZ_CHECK(attempt(time, [&](TimeClass& t) { t.setHour(hour); }) == (hour <= 24));
        break;
      }
      case 4: {
        const auto minute = in.take<uint8_t>();
        FUZZ_CHECK(attempt(time, [&](TimeClass& t) { t.setMinute(minute); }) == (minute <= 59));
        break;
      }
      case 5: {
        const auto second = in.take<uint8_t>();
        FUZZ_CHECK(attempt(time, [&](TimeClass& t) { t.setSecond(second); }) == (second <= 59));
        break;
      }
      case 6: {
        const uint32_t us = in.take<uint32_t>() % 1100000;
        FUZZ_CHECK(attempt(time, [&](TimeClass& t) { t.setMicrosecond(us); }) == (us < 1000000));
        if (us < 1000000) FUZZ_CHECK(time.microsecond() == us);
        break;
      }
      case 7: {
        const uint32_t s = in.take<uint32_t>() % 100000;
        FUZZ_CHECK(attempt(time, [&](TimeClass& t) { t.setSecondsInDay(s); }) == (s < 86400));
        if (s < 86400) FUZZ_CHECK(time.secondsInDay() == s);
        break;
      }
      case 8: {
        const auto h = in.take<uint8_t>(), m = in.take<uint8_t>(), s = in.take<uint8_t>();
        FUZZ_CHECK(attempt(time, [&](TimeClass& t) { t.setTimeOfDay(h, m, s); }) ==
                   (h <= 24 && m <= 59 && s <= 59));
        break;
      }
      case 9: {
        auto n = in.take<uint32_t>();
        if (op & 0x80) n %= TimeClass::kLastDayNumber + 2;  // mostly in range
        FUZZ_CHECK(attempt(time, [&](TimeClass& t) { t.setDayNumber(n); }) ==
                   (n <= TimeClass::kLastDayNumber));
        if (n <= TimeClass::kLastDayNumber) FUZZ_CHECK(time.dayNumber() == n && isValidDate(time));
        break;
      }
      case 10:
      case 11:
        moveAndCheck(time, in.take<uint32_t>(), op % 18 == 10, true);
        break;
      case 12:
      case 13: {
        uint64_t us = in.take<uint64_t>();
        if (op & 0x80) us >>= (op & 0x3F);  // every size of amount
        moveAndCheck(time, us, op % 18 == 12, false);
        break;
      }
      case 14:
        time.fraction = in.take<uint32_t>();
        break;
      case 15: {
        const NtpTimestamp stamp(in.take<uint64_t>());
        other = stamp.ToCalendar();
        FUZZ_CHECK(isNormal(other));
        FUZZ_CHECK(NtpTimestamp::FromCalendar(other) == stamp);
        break;
      }
      case 16: {
        const auto year = in.take<uint16_t>();
        const auto month = static_cast<int32_t>(in.take<uint8_t>() % 12 + 1);
        const int32_t length = veltraw::daysInMonth(year, month);
        FUZZ_CHECK(veltraw::dayOfYear(year, month, length) ==
                   veltraw::dayOfYear(year, month, 0) + length);
        break;
      }
      case 17: {
        TextSink sink;
        veltraw::ErrorLog::instance().addSink(&sink);
        veltraw::ErrorLog::instance().begin(veltraw::Warning) << time << veltraw::End;
        veltraw::ErrorLog::instance().removeSink(&sink);
        const std::string& text = sink.text;
        FUZZ_CHECK(text.size() >= 7 && text[text.size() - 7] == '.');
        for (size_t i = text.size() - 6; i < text.size(); ++i)
          FUZZ_CHECK(text[i] >= '0' && text[i] <= '9');
        break;
      }
    }
    FUZZ_CHECK(fieldsInRange(time));
    checkQueries(time);
    checkOrder(time, other);
  }
  return 0;
}
