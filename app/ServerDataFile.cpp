#include "app/ServerDataFile.h"

#include <cinttypes>

#include "LIB/Log/ErrorLog.h"

namespace veltraw {

const char* const ServerDataFile::kHeader =
    "GMT Time,GetTickCount (ms),Server,Precision (2^x s),Round-trip Latency (ms),Time Offset "
    "(ms),Reference (dec),Originate (dec),Receive (dec),Transmit (dec),Reference (hex),Originate "
    "(hex),Receive (hex),Transmit (hex)\n";

ServerDataFile::ServerDataFile() : ServerDataFile(systemLogEnvironment()) {}

ServerDataFile::ServerDataFile(LogEnvironment& environment) : m_environment(environment) {}

ServerDataFile::~ServerDataFile() { close(); }

bool ServerDataFile::open(const std::string& path) {
  std::lock_guard<std::mutex> hold(m_lock);
  if (m_file != nullptr) std::fclose(m_file);
  // Text mode: line ends are the platform's own.
  m_file = std::fopen(path.c_str(), "w+");
  if (m_file == nullptr) {
    // Otherwise a user who names an unwritable file never learns why it stays empty.
    ErrorLog::instance().begin(Warning) << "Unable to open data file " << path << End;
    return false;
  }
  std::fputs(kHeader, m_file);
  std::fflush(m_file);
  return true;
}

void ServerDataFile::close() {
  std::lock_guard<std::mutex> hold(m_lock);
  if (m_file != nullptr) std::fclose(m_file);
  m_file = nullptr;
}

bool ServerDataFile::isOpen() const {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_file != nullptr;
}

void ServerDataFile::writeRow(const NtpResult& result) {
  if (!result.hasPacket) return;
  std::lock_guard<std::mutex> hold(m_lock);
  if (m_file == nullptr) return;
  const std::string row = formatRow(result, m_environment.now(), m_environment.tickCount()) + "\n";
  // One write per row under the lock: rows of concurrent results never mix.
  // Write errors are ignored; the next row tries again.
  std::fwrite(row.data(), 1, row.size(), m_file);
  std::fflush(m_file);
}

std::string ServerDataFile::asctimeText(std::time_t time) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  // Civil date from days since 1970 (proleptic Gregorian); gmtime is not
  // safe to call from several request threads at once.
  int64_t seconds = static_cast<int64_t>(time);
  int64_t days = seconds / 86400;
  int64_t inDay = seconds % 86400;
  if (inDay < 0) {
    inDay += 86400;
    --days;
  }
  const int64_t weekday = ((days % 7) + 11) % 7;  // 1970-01-01 was a Thursday
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
  const int64_t day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
  const int64_t month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
  const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);

  char text[64];
  std::snprintf(text, sizeof text, "%.3s %.3s%3d %.2d:%.2d:%.2d %" PRId64, kDays[weekday],
                kMonths[month - 1], static_cast<int>(day), static_cast<int>(inDay / 3600),
                static_cast<int>(inDay / 60 % 60), static_cast<int>(inDay % 60), year);
  return text;
}

std::string ServerDataFile::formatRow(const NtpResult& result, std::time_t now,
                                      uint32_t tickCount) {
  const NtpPacket& packet = result.packet;
  const NtpTimestamp reference = packet.referenceTimestamp();
  const NtpTimestamp originate = packet.originateTimestamp();
  const NtpTimestamp receive = packet.receiveTimestamp();
  const NtpTimestamp transmit = packet.transmitTimestamp();

  const std::string time = asctimeText(now);
  // The tick count is unsigned: past 24.8 days of uptime a signed column
  // would turn negative.
  const char* const format =
      "%s,%" PRIu32 ",%s,%d,%" PRId32 ",%" PRId32 ",%0.8f,%0.8f,%0.8f,%0.8f,%" PRIx32 ".%08" PRIx32
      ",%" PRIx32 ".%08" PRIx32 ",%" PRIx32 ".%08" PRIx32 ",%" PRIx32 ".%08" PRIx32;
  const int length = std::snprintf(
      nullptr, 0, format, time.c_str(), tickCount, result.host.c_str(),
      static_cast<int>(packet.precision()), result.roundTripMs, result.offsetMs,
      reference.ToSeconds(), originate.ToSeconds(), receive.ToSeconds(), transmit.ToSeconds(),
      reference.seconds(), reference.fraction(), originate.seconds(), originate.fraction(),
      receive.seconds(), receive.fraction(), transmit.seconds(), transmit.fraction());
  if (length < 0) return std::string();
  std::string row(static_cast<size_t>(length) + 1, '\0');
  std::snprintf(&row[0], row.size(), format, time.c_str(), tickCount, result.host.c_str(),
                static_cast<int>(packet.precision()), result.roundTripMs, result.offsetMs,
                reference.ToSeconds(), originate.ToSeconds(), receive.ToSeconds(),
                transmit.ToSeconds(), reference.seconds(), reference.fraction(),
                originate.seconds(), originate.fraction(), receive.seconds(), receive.fraction(),
                transmit.seconds(), transmit.fraction());
  row.resize(static_cast<size_t>(length));
  return row;
}

ServerDataFile& serverDataFile() {
  // Never destroyed: request threads may still finish during shutdown.
  static ServerDataFile* file = new ServerDataFile();
  return *file;
}

}  // namespace veltraw
