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

using veltraw::NtpTimestamp;
using veltraw::TimeClass;
using veltraw::TimeError;

namespace {

#define CHECK(condition)                                                               \
  do {                                                                                 \
    if (!(condition)) {                                                                \
      std::fprintf(stderr, "invariant broken at line %d: %s\n", __LINE__, #condition); \
      std::abort();                                                                    \
    }                                                                                  \
  } while (0)

class Input {
 public:
  Input(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
  bool empty() const { return m_size == 0; }
  template <typename T>
  T take() {
    T value = 0;
    const size_t n = m_size < sizeof(T) ? m_size : sizeof(T);
    std::memcpy(&value, m_data, n);
    m_data += n;
    m_size -= n;
    return value;
  }

 private:
  const uint8_t* m_data;
  size_t m_size;
};

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
  CHECK(t.microsecond() <= 1000000);
  CHECK(t.millisecond() <= 1000);
  CHECK(t.weekday() >= 0 && t.weekday() <= 6);
  CHECK(t.dayNumber() <= TimeClass::kLastDayNumber);
  if (isValidDate(t)) {
    CHECK(t.dayOfYear() >= 1 && t.dayOfYear() <= 366);
    CHECK(t.isoWeek() >= 1 && t.isoWeek() <= 53);
    CHECK(t.dayNumber() <= TimeClass::kLastDayNumber);
    TimeClass copy;
    copy.setDayNumber(t.dayNumber());
    CHECK(copy.year() == t.year() && copy.month() == t.month() && copy.day() == t.day());
  }
  // Both day counts are linear in the fields, so they differ by a constant.
  const double sinceMidnight = t.secondsInDay() / 86400.0;
  CHECK(std::fabs(t.julianDate() - (t.dayNumber() + 2415020.5 + sinceMidnight)) < 1e-4);

  // Every timestamp survives the calendar; calendar times inside the two eras
  // survive the timestamp.
  const NtpTimestamp stamp = NtpTimestamp::FromCalendar(t);
  const TimeClass back = stamp.ToCalendar();
  CHECK(NtpTimestamp::FromCalendar(back) == stamp);
  const TimeClass eraStart = NtpTimestamp::Make(0x80000000, 0).ToCalendar();
  const TimeClass eraEnd = NtpTimestamp::Make(0x7FFFFFFF, 0xFFFFFFFF).ToCalendar();
  if (isNormal(t) && !(t < eraStart) && !(eraEnd < t)) CHECK(back == t);
}

void checkOrder(const TimeClass& a, const TimeClass& b) {
  CHECK(!(a < a));
  const int relations = (a < b) + (b < a) + (a == b);
  CHECK(relations == 1);
}

// Runs one setter; on TimeError the time must be as it was.
template <typename Set>
bool attempt(TimeClass& time, Set set) {
  const TimeClass before = time;
  try {
    set(time);
    return true;
  } catch (const TimeError& e) {
    CHECK(time == before);
    CHECK(std::strncmp(e.what(), "TimeError: ", 11) == 0);
    return false;
  }
}

void moveAndCheck(TimeClass& time, uint64_t amount, bool forward, bool milliseconds) {
  const Wide before = totalMicroseconds(time);
  const Wide delta = milliseconds ? Wide{amount} * 1000 : Wide{amount};
  const bool fits = forward ? before + delta <= kLastMicrosecond : delta <= before;
  const bool moved = attempt(time, [&](TimeClass& t) {
    if (milliseconds) {
      const auto ms = static_cast<uint32_t>(amount);
      forward ? t.addMilliseconds(ms) : t.subtractMilliseconds(ms);
    } else {
      forward ? t.addMicroseconds(amount) : t.subtractMicroseconds(amount);
    }
  });
  CHECK(moved == fits);
  if (moved) {
    CHECK(isNormal(time));
    CHECK(totalMicroseconds(time) == (forward ? before + delta : before - delta));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  TimeClass time;
  TimeClass other = NtpTimestamp::Make(0xC76B0235, 0x80000000).ToCalendar();
  while (!in.empty()) {
    const auto op = in.take<uint8_t>();
    switch (op % 18) {
      case 0: {
        const auto year = in.take<uint16_t>();
        CHECK(attempt(time, [&](TimeClass& t) { t.setYear(year); }) == (year >= 1900));
        break;
      }
      case 1: {
        const auto month = in.take<uint8_t>();
        CHECK(attempt(time, [&](TimeClass& t) { t.setMonth(month); }) ==
              (month >= 1 && month <= 12));
        break;
      }
      case 2: {
        const auto day = in.take<uint8_t>();
        const bool valid = day >= 1 && day <= veltraw::daysInMonth(time.year(), time.month());
        CHECK(attempt(time, [&](TimeClass& t) { t.setDay(day); }) == valid);
        break;
      }
      case 3: {
        const auto hour = in.take<uint8_t>();
        CHECK(attempt(time, [&](TimeClass& t) { t.setHour(hour); }) == (hour <= 24));
        break;
      }
      case 4: {
        const auto minute = in.take<uint8_t>();
        CHECK(attempt(time, [&](TimeClass& t) { t.setMinute(minute); }) == (minute <= 59));
        break;
      }
      case 5: {
        const auto second = in.take<uint8_t>();
        CHECK(attempt(time, [&](TimeClass& t) { t.setSecond(second); }) == (second <= 59));
        break;
      }
      case 6: {
        const uint32_t us = in.take<uint32_t>() % 1100000;
        CHECK(attempt(time, [&](TimeClass& t) { t.setMicrosecond(us); }) == (us < 1000000));
        if (us < 1000000) CHECK(time.microsecond() == us);
        break;
      }
      case 7: {
        const uint32_t s = in.take<uint32_t>() % 100000;
        CHECK(attempt(time, [&](TimeClass& t) { t.setSecondsInDay(s); }) == (s < 86400));
        if (s < 86400) CHECK(time.secondsInDay() == s);
        break;
      }
      case 8: {
        const auto h = in.take<uint8_t>(), m = in.take<uint8_t>(), s = in.take<uint8_t>();
        CHECK(attempt(time, [&](TimeClass& t) { t.setTimeOfDay(h, m, s); }) ==
              (h <= 24 && m <= 59 && s <= 59));
        break;
      }
      case 9: {
        auto n = in.take<uint32_t>();
        if (op & 0x80) n %= TimeClass::kLastDayNumber + 2;  // mostly in range
        CHECK(attempt(time, [&](TimeClass& t) { t.setDayNumber(n); }) ==
              (n <= TimeClass::kLastDayNumber));
        if (n <= TimeClass::kLastDayNumber) CHECK(time.dayNumber() == n && isValidDate(time));
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
        CHECK(isNormal(other));
        CHECK(NtpTimestamp::FromCalendar(other) == stamp);
        break;
      }
      case 16: {
        const auto year = in.take<uint16_t>();
        const auto month = static_cast<int32_t>(in.take<uint8_t>() % 12 + 1);
        const int32_t length = veltraw::daysInMonth(year, month);
        CHECK(veltraw::dayOfYear(year, month, length) ==
              veltraw::dayOfYear(year, month, 0) + length);
        break;
      }
      case 17: {
        TextSink sink;
        veltraw::ErrorLog::instance().addSink(&sink);
        veltraw::ErrorLog::instance().begin(veltraw::Warning) << time << veltraw::End;
        veltraw::ErrorLog::instance().removeSink(&sink);
        const std::string& text = sink.text;
        CHECK(text.size() >= 7 && text[text.size() - 7] == '.');
        for (size_t i = text.size() - 6; i < text.size(); ++i)
          CHECK(text[i] >= '0' && text[i] <= '9');
        break;
      }
    }
    CHECK(fieldsInRange(time));
    checkQueries(time);
    checkOrder(time, other);
  }
  return 0;
}
