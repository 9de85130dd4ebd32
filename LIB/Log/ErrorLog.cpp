#include "LIB/Log/ErrorLog.h"

#include <algorithm>
#include <cstdio>

#include "LIB/Log/Digits.h"

namespace veltraw {

ErrorLog& ErrorLog::instance() {
  // Never destroyed: entries may be written during static destruction.
  static ErrorLog* log = new ErrorLog();
  return *log;
}

ErrorLog::ErrorLog() : m_environment(&LogEnvironment::Platform()) {}

void ErrorLog::setEnvironment(LogEnvironment* environment) {
  m_lock.lock();
  m_environment = environment ? environment : &LogEnvironment::Platform();
  m_lock.unlock();
}

ErrorLog& ErrorLog::begin(int32_t level) {
  m_lock.lock();
  if (!m_idle) writePiece("<WARNING:previous log not ended> ");
  m_level = level;
  // Keep the lock from here to End so that no other thread can change the
  // level of this entry before its first piece.
  if (!m_entryHeld && m_level >= m_minimumLevel) {
    m_entryHeld = true;
  } else {
    m_lock.unlock();
  }
  return *this;
}

void ErrorLog::openEntry() {
  m_idle = false;
  // Most detail entries go nowhere: skip the system calls and the header then.
  bool anyTaker = false;
  for (LogSink* sink : m_sinks) anyTaker = anyTaker || sink->level <= m_level;
  if (!anyTaker) return;

  const std::time_t now = m_environment->now();
  const uint32_t tick = m_environment->tickCount();
  const unsigned long thread = m_environment->threadId();

  std::tm utc{};
  utcBreakdown(now, utc);
  char header[64];
  std::snprintf(header, sizeof header, "[%04d-%02d-%02d %02d:%02d:%02d %08ld] ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<long>(tick % 100000000u));
  char label[40];
  std::snprintf(label, sizeof label, "<%lx>: ", thread);

  for (LogSink* sink : m_sinks) {
    if (sink->level > m_level) continue;
    sink->beginEntry(now, m_level);
    if (sink->showHeader) sink->write(header);
    sink->write(label);
  }
}

void ErrorLog::writePiece(const char* text) {
  m_lock.lock();
  if (m_level < m_minimumLevel) {
    m_lock.unlock();
    return;
  }
  if (m_idle) {
    if (!m_entryHeld) {
      m_lock.lock();  // the entry's hold, given back at End
      m_entryHeld = true;
    }
    openEntry();
  }
  for (LogSink* sink : m_sinks) {
    if (sink->level <= m_level) sink->write(text);
  }
  m_lock.unlock();
}

ErrorLog& ErrorLog::control(LogControl code) {
  m_lock.lock();
  switch (code) {
    case End:
      if (!m_idle && m_level >= m_minimumLevel) {
        for (LogSink* sink : m_sinks) {
          if (sink->level <= m_level) sink->endEntry();
        }
      }
      m_level = Detail;
      m_radix = 10;
      m_idle = true;
      // An entry without a piece ends quietly; only a hold that was taken is
      // given back.
      if (m_entryHeld) {
        m_entryHeld = false;
        m_lock.unlock();
      }
      break;
    case Hex:
      m_radix = 16;
      break;
    case Dec:
      m_radix = 10;
      break;
    case Oct:
      m_radix = 8;
      break;
    case Bin:
      m_radix = 2;
      break;
  }
  m_lock.unlock();
  return *this;
}

ErrorLog& ErrorLog::operator<<(const char* text) {
  writePiece(text ? text : "");
  return *this;
}

ErrorLog& ErrorLog::operator<<(const std::string& text) {
  writePiece(text.c_str());
  return *this;
}

ErrorLog& ErrorLog::operator<<(int32_t value) {
  char buffer[40];
  m_lock.lock();  // the radix belongs to the entry of the thread holding the lock
  writeSignedDigits(value, buffer, static_cast<uint32_t>(m_radix));
  writePiece(buffer);
  m_lock.unlock();
  return *this;
}

ErrorLog& ErrorLog::operator<<(unsigned int value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08x", value);
  writePiece(buffer);
  return *this;
}

ErrorLog& ErrorLog::operator<<(unsigned long value) {
  if constexpr (sizeof(unsigned long) == 4) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08lx", value);
    writePiece(buffer);
    return *this;
  } else {
    return *this << static_cast<unsigned long long>(value);
  }
}

ErrorLog& ErrorLog::operator<<(unsigned long long value) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "%llu", value);
  writePiece(buffer);
  return *this;
}

ErrorLog& ErrorLog::operator<<(char value) {
  char buffer[8];
  const auto byte = static_cast<unsigned char>(value);
  if (byte >= 0x20) {
    buffer[0] = value;
    buffer[1] = '\0';
  } else {
    std::snprintf(buffer, sizeof buffer, "\\x%02x", byte);
  }
  writePiece(buffer);
  return *this;
}

ErrorLog& ErrorLog::operator<<(unsigned char value) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "0x%02x", value);
  writePiece(buffer);
  return *this;
}

ErrorLog& ErrorLog::operator<<(bool value) {
  writePiece(value ? "true" : "false");
  return *this;
}

void ErrorLog::addSink(LogSink* sink) {
  m_lock.lock();
  m_sinks.push_back(sink);
  m_lock.unlock();
}

void ErrorLog::removeSink(LogSink* sink) {
  m_lock.lock();
  auto it = std::find(m_sinks.begin(), m_sinks.end(), sink);
  if (it != m_sinks.end()) m_sinks.erase(it);
  m_lock.unlock();
}

}  // namespace veltraw
