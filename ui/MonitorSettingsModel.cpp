#include "ui/MonitorSettingsModel.h"

#include <cstdio>
#include <utility>

#include "LIB/Registry/SettingsKey.h"

namespace veltraw {

namespace {

// The boxes in the order they are stored.
struct Condition {
  bool MonitorSettings::*field;
  const NumberSetting& setting;
};
const Condition kConditions[] = {
    {&MonitorSettings::onTimeout, setting::MonitorOnTimeout},
    {&MonitorSettings::onBadReference, setting::MonitorOnBadRef},
    {&MonitorSettings::onRecovery, setting::MonitorOnRecovery},
    {&MonitorSettings::onEveryPacket, setting::MonitorOnAll},
    {&MonitorSettings::onLatency, setting::MonitorOnLatency},
    {&MonitorSettings::onStartStop, setting::MonitorOnStartStop},
    {&MonitorSettings::primaryOnly, setting::MonitorPrimaryOnly},
};

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

MonitorSettingsModel::MonitorSettingsModel(std::string keyName, std::string directory)
    : m_keyName(std::move(keyName)), m_directory(std::move(directory)) {}

MonitorSettings MonitorSettingsModel::load() {
  SettingsKey key(m_keyName, m_directory);
  MonitorSettings shown;
  shown.command = key.read(setting::MonitorCommand).substr(0, kMaxCommandLength);
  m_loadedLatency = key.read(setting::MonitorLatency);
  m_shownLatency = latencyText(m_loadedLatency);
  shown.latencyText = m_shownLatency;
  for (const Condition& condition : kConditions) {
    shown.*condition.field = key.read(condition.setting) != 0;
  }
  return shown;
}

void MonitorSettingsModel::store(const MonitorSettings& edited) {
  const int32_t latency = edited.latencyText == m_shownLatency && !m_shownLatency.empty()
                              ? m_loadedLatency
                              : parseLatency(edited.latencyText);
  SettingsKey key(m_keyName, m_directory);
  key.write(setting::MonitorCommand, edited.command.substr(0, kMaxCommandLength));
  key.write(setting::MonitorLatency, latency);
  for (const Condition& condition : kConditions) {
    key.write(condition.setting, edited.*condition.field ? 1 : 0);
  }
}

std::string MonitorSettingsModel::latencyText(int32_t latencyMs) {
  char text[16];
  std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(static_cast<uint32_t>(latencyMs)));
  return text;
}

int32_t MonitorSettingsModel::parseLatency(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && isBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // The magnitude stops growing once it is past every 32-bit value.
  constexpr int64_t kPastRange = int64_t{1} << 32;
  int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (magnitude < kPastRange) magnitude = magnitude * 10 + (text[i] - '0');
  }
  const int64_t value = negative ? -magnitude : magnitude;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

}  // namespace veltraw
