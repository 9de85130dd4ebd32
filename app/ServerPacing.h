// How often each server is asked, after what the server said about being
// asked. A server that answers with the kiss code RATE is asked half as often
// (at most down to once an hour, never more often than the update schedule),
// and twice as often again after each good reply until it is back on the
// schedule. A server that answers DENY or RSTR is not asked again until the
// settings are applied anew. No lock of its own: the core's lock guards it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sntp/NtpResult.h"

namespace veltraw {

class ServerPacing {
 public:
  // Every server asked at every cycle again (the settings were applied).
  void reset(int32_t serverCount);

  // Before a cycle: whether server is asked this time. Unknown servers are.
  bool takeTurn(int32_t server);

  // What a result tells about pacing; frequencySeconds is the update period.
  // Returns a log line when the pacing of the server changed, else "".
  std::string onResult(const NtpResult& result, int32_t frequencySeconds);

  // "DENY" or "RSTR" when the server refused service, else "".
  std::string refusal(int32_t server) const;
  // Asked at one cycle in this many.
  int32_t cyclesPerRequest(int32_t server) const;

  // The kiss code of a reply from a server that wants no more requests like
  // this one (stratum 0), or "" for any other result.
  static std::string kissCode(const NtpResult& result);

 private:
  struct Server {
    int32_t cyclesPerRequest = 1;
    int32_t cyclesSinceRequest = 0;
    std::string refusal;
  };
  Server* find(int32_t server);

  std::vector<Server> m_servers;
};

}  // namespace veltraw
