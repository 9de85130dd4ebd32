#include "app/ServerPacing.h"

#include <algorithm>

namespace veltraw {

namespace {

constexpr int32_t kSlowestIntervalSeconds = 3600;

}  // namespace

void ServerPacing::reset(int32_t serverCount) {
  m_servers.assign(static_cast<size_t>(std::max(serverCount, 0)), Server());
}

ServerPacing::Server* ServerPacing::find(int32_t server) {
  if (server < 0 || static_cast<size_t>(server) >= m_servers.size()) return nullptr;
  return &m_servers[static_cast<size_t>(server)];
}

bool ServerPacing::takeTurn(int32_t server) {
  Server* s = find(server);
  if (!s) return true;
  if (!s->refusal.empty()) return false;
  if (++s->cyclesSinceRequest < s->cyclesPerRequest) return false;
  s->cyclesSinceRequest = 0;
  return true;
}

std::string ServerPacing::kissCode(const NtpResult& result) {
  if (!result.hasPacket || result.packet.stratum() != 0) return std::string();
  const uint8_t* id = result.packet.referenceId();
  std::string code;
  for (int i = 0; i < 4; ++i) {
    // Kiss codes are printable ASCII; anything else is shown escaped by the
    // log already and is no code we act on.
    if (id[i] < 0x20 || id[i] > 0x7E) return std::string();
    code += static_cast<char>(id[i]);
  }
  return code;
}

std::string ServerPacing::onResult(const NtpResult& result, int32_t frequencySeconds) {
  Server* s = find(result.tag);
  if (!s) return std::string();
  const std::string code = kissCode(result);
  const std::string name = "Server " + result.host;
  if (code == "DENY" || code == "RSTR") {
    if (s->refusal == code) return std::string();
    s->refusal = code;
    return name + " refused service (" + code +
           "); not asking it again until the settings "
           "are applied";
  }
  const int32_t frequency = std::max(frequencySeconds, 1);
  if (code == "RATE") {
    // Never slower than once an hour, never faster than the schedule.
    const int32_t slowest = std::max(1, kSlowestIntervalSeconds / frequency);
    const int32_t slower = std::min(s->cyclesPerRequest * 2, slowest);
    if (slower == s->cyclesPerRequest) return std::string();
    s->cyclesPerRequest = slower;
    return name + " asked to slow down (RATE); asking it every " +
           std::to_string(int64_t{slower} * frequency) + " s";
  }
  if (result.status == Ok && s->cyclesPerRequest > 1) {
    s->cyclesPerRequest /= 2;
    return name + " answered again; asking it every " +
           std::to_string(int64_t{s->cyclesPerRequest} * frequency) + " s";
  }
  return std::string();
}

std::string ServerPacing::refusal(int32_t server) const {
  if (server < 0 || static_cast<size_t>(server) >= m_servers.size()) return std::string();
  return m_servers[static_cast<size_t>(server)].refusal;
}

int32_t ServerPacing::cyclesPerRequest(int32_t server) const {
  if (server < 0 || static_cast<size_t>(server) >= m_servers.size()) return 1;
  return m_servers[static_cast<size_t>(server)].cyclesPerRequest;
}

}  // namespace veltraw
