#include "app/ServerDataFile.h"

#include <cinttypes>

#include "LIB/Log/ErrorLog.h"
#include "LIB/Time/TimeClass.h"

namespace veltraw {

const char* const ServerDataFile::kHeader =
    "GMT Time,GetTickCount (ms),Server,Precision (2^x s),Round-trip Latency (ms),Time Offset "
    "(ms),Reference (dec),Originate (dec),Receive (dec),Transmit (dec),Reference (hex),Originate "
    "(hex),Receive (hex),Transmit (hex)\n";

namespace {

// A server name is the one column of free text. One that holds a comma, a
// double quote or a line break is quoted as spreadsheets read CSV (RFC 4180),
// so that it stays one field of one row; every other name is written bare,
// as rows have always been.
std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

}  // namespace

ServerDataFile::ServerDataFile() : ServerDataFile(LogEnvironment::Platform()) {}

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
  // Through the calendar of the time class: seconds since 1900 are an NTP
  // timestamp, whose era rule covers 1968 to 2104.
  const int64_t since1900 = static_cast<int64_t>(time) + 2208988800LL;
  const TimeClass utc = NtpTimestamp::Make(static_cast<uint32_t>(since1900), 0).ToCalendar();
  char text[64];
  std::snprintf(text, sizeof text, "%.3s %.3s%3d %.2d:%.2d:%.2d %d", kDays[utc.weekday()],
                kMonths[utc.month() - 1], utc.day(), utc.hour(), utc.minute(), utc.second(),
                static_cast<int>(utc.year()));
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
  // Cut at a NUL first, as "%s" always did, so that no quote is left open.
  const std::string server = csvField(result.host.c_str());
  // The tick count is unsigned: past 24.8 days of uptime a signed column
  // would turn negative.
  const char* const format =
      "%s,%" PRIu32 ",%s,%d,%" PRId32 ",%" PRId32 ",%0.8f,%0.8f,%0.8f,%0.8f,%" PRIx32 ".%08" PRIx32
      ",%" PRIx32 ".%08" PRIx32 ",%" PRIx32 ".%08" PRIx32 ",%" PRIx32 ".%08" PRIx32;
  const int length = std::snprintf(
      nullptr, 0, format, time.c_str(), tickCount, server.c_str(),
      static_cast<int>(packet.precision()), result.roundTripMs, result.offsetMs,
      reference.ToSeconds(), originate.ToSeconds(), receive.ToSeconds(), transmit.ToSeconds(),
      reference.seconds(), reference.fraction(), originate.seconds(), originate.fraction(),
      receive.seconds(), receive.fraction(), transmit.seconds(), transmit.fraction());
  if (length < 0) return std::string();
  std::string row(static_cast<size_t>(length) + 1, '\0');
  std::snprintf(&row[0], row.size(), format, time.c_str(), tickCount, server.c_str(),
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
