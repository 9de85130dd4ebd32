#include "sntp/NtpPacket.h"

#include <cstring>

#include "LIB/Log/ErrorLog.h"
#include "LIB/Time/PrecisionClock.h"

namespace veltraw {

void BuildRequest(uint8_t* buffer) { BuildRequest(buffer, PrecisionClock::Instance().NowNtp()); }

void BuildRequest(uint8_t* buffer, NtpTimestamp transmit) {
  std::memset(buffer, 0, NtpPacket::kSize);
  buffer[0] = 0xE3;  // not synchronised (LI 3), version 4, client
  // Our reference identifier; servers ignore it in requests.
  buffer[12] = 'C';
  buffer[13] = 'V';
  buffer[14] = 'T';
  // The only record of T1: the server echoes it as its originate timestamp.
  transmit.WriteWire(buffer + NtpPacket::kTransmitTimestampOffset);
}

void LogPacket(const char* prefix, const uint8_t* buffer) {
  NtpPacket packet;
  std::memcpy(packet.bytes, buffer, NtpPacket::kSize);
  ErrorLog& log = ErrorLog::instance();
  log.begin(Detail) << prefix << ": LI=" << int32_t{packet.leapIndicator()}
                    << " VN=" << int32_t{packet.versionNumber()}
                    << " Mode=" << int32_t{packet.mode()} << " Strat=" << packet.stratum() << End;
  log.begin(Detail) << "  Poll=" << int32_t{packet.poll()}
                    << " Prec=" << int32_t{packet.precision()} << " RtDly=" << packet.rootDelay()
                    << " RtDisp=" << packet.rootDispersion() << " RefId=";
  for (int i = 0; i < 4; ++i) log << static_cast<char>(packet.referenceId()[i]);
  log << End;
  log.begin(Detail) << "  Reference=" << packet.referenceTimestamp()
                    << " Originate=" << packet.originateTimestamp() << End;
  log.begin(Detail) << "  Receive=" << packet.receiveTimestamp()
                    << " Transmit=" << packet.transmitTimestamp() << End;
}

}  // namespace veltraw
