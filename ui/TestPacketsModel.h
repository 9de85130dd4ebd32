// The rules of the Send NTP Test Packets dialog: the texts that show one
// request's result field by field, and the list of servers the dialog offers,
// which remembers every server that answered. The view copies the model to
// its controls and back; nothing here needs a window.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sntp/NtpResult.h"
#include "ui/TestPacketsDialogIds.h"

namespace veltraw {

class SettingsKey;

// One request per click: a single packet, no tag, the usual reply timeout.
constexpr int32_t kTestRequestTag = 0;
constexpr int32_t kTestRequestTimeoutMs = 2500;
constexpr int32_t kTestRequestCount = 1;

constexpr size_t kResultFieldCount = IDC_TRANSMIT_TIME - IDC_ROUND_TRIP + 1;
constexpr size_t kMaxResultTextLength = 127;
constexpr size_t kMaxServerNameLength = 255;

// Indexed by control id - IDC_ROUND_TRIP.
using ResultTexts = std::array<std::string, kResultFieldCount>;

// A timeout or a failure shows one line in the first field; a reply (good or
// a bad reference) shows every field. Each text has at most
// kMaxResultTextLength characters.
ResultTexts resultTexts(const NtpResult& result);

// What one result shows, made on the request thread while its packet is
// still there, then handed to the dialog's thread.
struct TestPacketReport {
  ResultTexts texts;
  bool answered = false;  // the server replied: it is remembered
  std::string host;
};

TestPacketReport testPacketReport(const NtpResult& result);

class TestPacketsModel {
 public:
  // Opening: the configured servers (Servers, Server1..), then the remembered
  // ones (TestServers, TestServer1..), each list up to its first empty name;
  // the first configured server becomes the server text.
  void load(const SettingsKey& settings);
  // Closing: TestServer1..n in list order, then TestServers = n. Names stored
  // beyond n stay and are ignored. Throws std::runtime_error when a value
  // cannot be written.
  void store(SettingsKey& settings) const;

  // Adds name unless it is empty or an entry already begins with it (letter
  // case ignored); entries stay sorted as a sorted combo box shows them.
  // True when added.
  bool addServer(const std::string& name);
  const std::vector<std::string>& servers() const { return m_servers; }

  // The server text as a request takes it.
  std::string requestHost() const { return serverText.substr(0, kMaxServerNameLength); }

  // Every report replaces all texts; an answering server is remembered.
  // True when the server list changed.
  bool apply(const TestPacketReport& report);
  const ResultTexts& texts() const { return m_texts; }

  // The server field: typed, or an entry chosen.
  std::string serverText;

 private:
  std::vector<std::string> m_servers;
  ResultTexts m_texts;
};

}  // namespace veltraw
