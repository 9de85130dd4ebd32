// The Server Configuration dialog's working state and rules: which servers
// are asked and in what order, how often, how many requests the primary gets,
// and whether the clock is set at all. It loads from the settings, edits the
// server list as the buttons do, tries a server with a live request before it
// is used, and stores on OK. The Windows dialog only copies this to its
// controls and back.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "app/SntpClientApp.h"

namespace veltraw {

// One entry of a drop-down list: what it shows and the value it stores.
struct SettingChoice {
  std::string label;
  int32_t value;
};

// "5 seconds" .. "24 hours", in seconds.
const std::vector<SettingChoice>& frequencyChoices();
// "Automatic" (0), then "1" .. "10".
const std::vector<SettingChoice>& requestChoices();

// A drop-down list of choices with the entry matching a stored value
// selected. A stored value that matches none is kept as one more entry,
// "Custom", so that OK stores it back unchanged.
class ChoiceList {
 public:
  static constexpr const char* kCustomLabel = "Custom";

  ChoiceList() = default;
  ChoiceList(const std::vector<SettingChoice>& choices, int32_t storedValue);

  const std::vector<SettingChoice>& entries() const { return m_entries; }
  int selected() const { return m_selected; }  // -1: none
  void select(int index);                      // out of range: none
  // The selected entry's value; the first entry's when none is selected.
  int32_t value() const;

 private:
  std::vector<SettingChoice> m_entries;
  int m_selected = -1;
};

// Where the keyboard focus goes after a button has acted.
enum class DialogFocus { Unchanged, PrimaryField, SecondaryList };

// What a server test needs from outside the model. The program passes
// StartRequestThread, PrecisionClock::Sleep, the wait cursor and the dialog's
// window; tests answer the requests themselves and do not wait.
struct ServerDialogServices {
  std::string settingsName = setting::kKeyName;
  std::string settingsDirectory;  // the native settings file's folder; empty: the user's
  RequestStarter startRequest = StartRequestThread;
  void (*sleep)(uint32_t ms) = nullptr;  // null: PrecisionClock::Sleep
  // Called with true before a test waits for its answer and with false once
  // the wait is over (before any question is asked).
  std::function<void(bool waiting)> showWait;
  void* owner = nullptr;  // the dialog's window: owner of the question box
};

// The outcome of one server test, shared by the test and its request's
// callback. Every test has its own, so an answer that comes after its test
// has given up changes nothing that a later test reads.
struct ServerTestResult {
  std::atomic<bool> answered{false};
  std::atomic<bool> usable{false};  // a reply came back (Ok or BadReference)
};

class ServerDialogModel {
 public:
  static constexpr size_t kMaxPrimaryLength = 254;     // taken from the primary field
  static constexpr size_t kMaxStoredNameLength = 255;  // loaded of each stored name
  static constexpr int kNoSelection = -1;
  // The test asks with an automatic series and a short reply timeout, and
  // waits a little longer than one reply's timeout, checking as it goes.
  static constexpr int32_t kTestTimeoutMs = 1000;
  static constexpr uint32_t kTestWindowMs = 1100;
  static constexpr uint32_t kTestCheckMs = 50;

  explicit ServerDialogModel(ServerDialogServices services = ServerDialogServices());

  // Reads the stored settings into the working state (see the fields below).
  void load();
  // Stores the working state; throws std::runtime_error when the settings
  // cannot be written. Servers is written after the names it counts.
  void store();

  // Tries the server with a live request; when no usable reply comes within
  // the test window, asks whether to use it anyway. True: it may be used.
  bool testServer(const std::string& name);

  // The buttons. Each returns where the focus goes.
  DialogFocus pushToSecondary();
  DialogFocus deleteSelected();
  DialogFocus moveUp();
  DialogFocus moveDown();
  // OK: tests the primary (whatever it holds) and, when it is accepted,
  // stores. True when stored and the dialog may close.
  bool accept();
  // The local search found the maker's appliance and stored it as Server1:
  // the current primary goes to the secondaries (with its test) and the
  // stored name takes its place.
  void applianceFound();

  const std::string& primary() const { return m_primary; }
  // The primary field's text as the user left it. At most 254 characters are
  // taken; a longer name that the dialog itself put there (a stored name of
  // 255 characters) is kept whole as long as it is left as it is.
  void setPrimaryFromField(const std::string& text);
  const std::vector<std::string>& secondaries() const { return m_secondaries; }
  int selected() const { return m_selected; }
  void select(int index);  // out of range: none
  ChoiceList& frequency() { return m_frequency; }
  ChoiceList& requests() { return m_requests; }
  bool reportOnly() const { return m_reportOnly; }
  void setReportOnly(bool on) { m_reportOnly = on; }

 private:
  static void testAnswered(void* context, const NtpResult& result);
  bool waitForAnswer(const ServerTestResult& result);
  bool askToUseAnyway(const std::string& name);

  ServerDialogServices m_services;
  std::string m_primary;
  std::vector<std::string> m_secondaries;  // in fall-back order, never sorted
  int m_selected = kNoSelection;
  ChoiceList m_frequency;
  ChoiceList m_requests;
  bool m_reportOnly = false;
};

}  // namespace veltraw
