// A calendar time, optionally with its time zone, as text by a pattern.
//
// Pattern language: literal text, with bracketed groups of field letters in
// which a run of one letter names a field and its length the field's form
// ("[DDD, MMM D,YYYY HH:mm:ss.SSSS]"). A backslash takes the next character
// literally in and out of brackets ("\n" and "\r" give line feed and carriage
// return). Inside brackets, characters other than ASCII letters are copied,
// and a run that names no field, or a field whose data is not set, is copied
// unchanged.
//
//   YY YYYY          year mod 100 (2 digits), year (4 digits)
//   M MM MMM MMMM    month: number, 2 digits, "Mar", "March"
//   D DD DDD DDDD    day of month, 2 digits; weekday "Sun", "Sunday"
//   H HH  h hh       hour 0..23; hour 1..12; 2-digit forms
//   m mm  s ss       minute, second; 2-digit forms
//   S SS SSS SSSS    tenths, hundredths, milliseconds, ten-thousandths
//   a aa  A AA       "a"/"p", "am"/"pm", "A"/"P", "AM"/"PM"
//   W WW             day of the year; ISO week (2 digits)
//   J JJ             fraction, seconds of the UTC time's NTP timestamp in
//                    8 hexadecimal digits; later numbers of the pattern are
//                    hexadecimal too
//   JJJ JJJJ         Julian Day Number - 2400000; Julian date
//   Z ZZ             later fields show local time (the default), UTC
//   ZZZ ZZZZ         zone name ("CET", daylight "CEST"); offset "+0100"
//
// The letters YMDJWHhmsSaA need the time; J, JJ, ZZ, ZZZ and ZZZZ need the
// zone. J, JJ and ZZ without a zone are broken rules (assertion failure);
// ZZZ and ZZZZ are then copied.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "LIB/Time/TimeClass.h"

namespace veltraw {

class FormatString {
 public:
  enum Field : uint32_t { Field_Time = 1, Field_Zone = 2 };

  // Zone offsets beyond a day either way leave times unshifted and show as
  // "???" and "+????".
  static constexpr int32_t kMaxZoneMinutes = 1440;

  FormatString() = default;

  bool isValid(Field field) const { return (m_valid & field) != 0; }

  // offsetMinutes: minutes east of UTC (CET is 60).
  void setZone(int32_t offsetMinutes, bool daylight);
  // Stores the local time: time plus the zone offset. Needs the zone
  // (assertion). A shift beyond the calendar's first or last day leaves the
  // time unshifted, so that formatting never fails on a time.
  void setUtcTime(const TimeClass& time);

  std::string format(const std::string& pattern) const;

 private:
  TimeClass localToUtc(const TimeClass& local) const;
  // False when letter and run length name no field or its data is not set:
  // the caller then copies the run.
  bool writeField(std::ostream& out, char letter, size_t run, TimeClass& shown) const;
  void writeZoneOffset(std::ostream& out) const;
  void requireZone() const;

  uint32_t m_valid = 0;
  TimeClass m_time;  // local time
  int32_t m_zoneMinutes = 0;
  bool m_daylight = false;
};

}  // namespace veltraw
