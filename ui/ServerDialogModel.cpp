#include "ui/ServerDialogModel.h"

#include <memory>
#include <utility>

#include "LIB/Registry/SettingsKey.h"
#include "LIB/Time/PrecisionClock.h"
#include "app/MessageBox.h"

namespace veltraw {

const std::vector<SettingChoice>& frequencyChoices() {
  static const std::vector<SettingChoice> choices = {
      {"5 seconds", 5},    {"15 seconds", 15},  {"30 seconds", 30},  {"1 minute", 60},
      {"5 minutes", 300},  {"10 minutes", 600}, {"15 minutes", 900}, {"30 minutes", 1800},
      {"1 hour", 3600},    {"2 hours", 7200},   {"4 hours", 14400},  {"8 hours", 28800},
      {"12 hours", 43200}, {"24 hours", 86400}};
  return choices;
}

const std::vector<SettingChoice>& requestChoices() {
  static const std::vector<SettingChoice> choices = {
      {"Automatic", 0}, {"1", 1}, {"2", 2}, {"3", 3}, {"4", 4},  {"5", 5},
      {"6", 6},         {"7", 7}, {"8", 8}, {"9", 9}, {"10", 10}};
  return choices;
}

ChoiceList::ChoiceList(const std::vector<SettingChoice>& choices, int32_t storedValue)
    : m_entries(choices) {
  for (size_t i = 0; i < m_entries.size(); ++i) {
    if (m_entries[i].value == storedValue) {
      m_selected = static_cast<int>(i);
      return;
    }
  }
  m_entries.push_back({kCustomLabel, storedValue});
  m_selected = static_cast<int>(m_entries.size()) - 1;
}

void ChoiceList::select(int index) {
  m_selected = index >= 0 && index < static_cast<int>(m_entries.size()) ? index : -1;
}

int32_t ChoiceList::value() const {
  if (m_selected >= 0) return m_entries[m_selected].value;
  return m_entries.empty() ? 0 : m_entries.front().value;
}

namespace {

std::string storedName(const SettingsKey& key, const std::string& valueName) {
  return key.readText(valueName, "").substr(0, ServerDialogModel::kMaxStoredNameLength);
}

// The wait indicator for as long as a test waits, also when it throws.
class WaitShown {
 public:
  explicit WaitShown(const std::function<void(bool)>& show) : m_show(show) {
    if (m_show) m_show(true);
  }
  ~WaitShown() {
    if (m_show) m_show(false);
  }
  WaitShown(const WaitShown&) = delete;
  WaitShown& operator=(const WaitShown&) = delete;

 private:
  const std::function<void(bool)>& m_show;
};

}  // namespace

ServerDialogModel::ServerDialogModel(ServerDialogServices services)
    : m_services(std::move(services)) {
  if (!m_services.sleep) m_services.sleep = PrecisionClock::Sleep;
}

void ServerDialogModel::load() {
  SettingsKey key(m_services.settingsName, m_services.settingsDirectory);
  m_primary = storedName(key, setting::Server1.name);
  m_secondaries.clear();
  m_selected = kNoSelection;
  const int32_t count = key.read(setting::Servers);
  for (int32_t number = 2; number <= count; ++number) {
    std::string name = storedName(key, setting::serverValueName(number));
    // The readers of the list stop here too: an empty name ends it.
    if (name.empty()) break;
    m_secondaries.push_back(std::move(name));
  }
  m_frequency = ChoiceList(frequencyChoices(), key.read(setting::Frequency));
  m_requests = ChoiceList(requestChoices(), key.read(setting::RequestsInServerDialog));
  m_reportOnly = key.read(setting::ReportOnly) != 0;
}

void ServerDialogModel::store() {
  SettingsKey key(m_services.settingsName, m_services.settingsDirectory);
  int32_t count = 0;
  // An empty primary makes the first secondary the primary.
  if (!m_primary.empty()) key.writeText(setting::serverValueName(++count), m_primary);
  for (const std::string& name : m_secondaries) {
    key.writeText(setting::serverValueName(++count), name);
  }
  // Only now the count: a store that fails half-way leaves the old count,
  // which names values that are all there (old or new), never missing ones.
  // Names beyond the count stay stored and are ignored by every reader.
  key.write(setting::Servers, count);
  key.write(setting::Frequency, m_frequency.value());
  key.write(setting::Requests, m_requests.value());
  key.write(setting::ReportOnly, m_reportOnly ? 1 : 0);
}

bool ServerDialogModel::testServer(const std::string& name) {
  auto result = std::make_shared<ServerTestResult>();
  bool passed = false;
  {
    WaitShown wait(m_services.showWait);
    // The request holds its own reference to the result, taken back by the
    // callback, or here when no request could be started.
    auto context = std::make_unique<std::shared_ptr<ServerTestResult>>(result);
    if (m_services.startRequest(context.get(), name, testAnswered, 0, kTestTimeoutMs, 0)) {
      context.release();
      passed = waitForAnswer(*result);
    }
  }
  return passed || askToUseAnyway(name);
}

void ServerDialogModel::testAnswered(void* context, const NtpResult& answer) {
  std::unique_ptr<std::shared_ptr<ServerTestResult>> owned(
      static_cast<std::shared_ptr<ServerTestResult>*>(context));
  ServerTestResult& result = **owned;
  // A reply came back, good or not; errors and silence are no answer to use.
  result.usable = answer.status == Ok || answer.status == BadReference;
  result.answered = true;  // after usable: whoever sees answered sees usable too
}

bool ServerDialogModel::waitForAnswer(const ServerTestResult& result) {
  // The dialog takes no input meanwhile; an answer after the window is late
  // and counts as none.
  for (uint32_t waited = 0; !result.answered && waited < kTestWindowMs; waited += kTestCheckMs) {
    m_services.sleep(kTestCheckMs);
  }
  return result.answered && result.usable;
}

bool ServerDialogModel::askToUseAnyway(const std::string& name) {
  MessageBoxRequest box;
  box.owner = m_services.owner;
  box.caption = "Veltraw";
  box.text = "The server " + name +
             " does not appear to be responding to a time request.\r\n"
             "Would you like to use this server anyway?";
  box.style = BoxYesNo | BoxIconWarning;
  return showMessageBox(box) == AnswerYes;
}

DialogFocus ServerDialogModel::pushToSecondary() {
  if (m_primary.empty() || !testServer(m_primary)) return DialogFocus::Unchanged;
  m_secondaries.insert(m_secondaries.begin(), m_primary);
  m_primary.clear();
  // The selection stays on its entry, now one further down.
  if (m_selected != kNoSelection) ++m_selected;
  return DialogFocus::PrimaryField;
}

DialogFocus ServerDialogModel::deleteSelected() {
  if (m_selected == kNoSelection) return DialogFocus::Unchanged;
  m_secondaries.erase(m_secondaries.begin() + m_selected);
  m_selected = kNoSelection;
  return DialogFocus::SecondaryList;
}

DialogFocus ServerDialogModel::moveUp() {
  if (m_selected == kNoSelection) return DialogFocus::Unchanged;
  if (m_selected > 0) {
    std::swap(m_secondaries[m_selected - 1], m_secondaries[m_selected]);
    --m_selected;
    return DialogFocus::SecondaryList;
  }
  // From the top it becomes the primary; the old primary, if any, takes its
  // place. The name was in use already, so it is not tested.
  std::string first = std::move(m_secondaries.front());
  m_secondaries.erase(m_secondaries.begin());
  if (!m_primary.empty()) m_secondaries.insert(m_secondaries.begin(), m_primary);
  m_primary = std::move(first);
  m_selected = kNoSelection;
  return DialogFocus::PrimaryField;
}

DialogFocus ServerDialogModel::moveDown() {
  if (m_selected != kNoSelection) {
    if (m_selected + 1 >= static_cast<int>(m_secondaries.size())) return DialogFocus::Unchanged;
    std::swap(m_secondaries[m_selected], m_secondaries[m_selected + 1]);
    ++m_selected;
    return DialogFocus::SecondaryList;
  }
  // Without a selection the primary swaps with the first secondary; with no
  // secondary there is nothing to swap with, and the primary stays.
  if (m_secondaries.empty() || !testServer(m_primary)) return DialogFocus::Unchanged;
  std::string first = m_secondaries.front();
  if (!m_primary.empty()) m_secondaries.front() = m_primary;
  m_primary = std::move(first);
  m_selected = 0;
  return DialogFocus::SecondaryList;
}

bool ServerDialogModel::accept() {
  if (!testServer(m_primary)) return false;
  store();
  return true;
}

void ServerDialogModel::applianceFound() {
  if (!m_primary.empty()) pushToSecondary();
  SettingsKey key(m_services.settingsName, m_services.settingsDirectory);
  m_primary = storedName(key, setting::Server1.name);
}

void ServerDialogModel::setPrimaryFromField(const std::string& text) {
  if (text == m_primary) return;
  m_primary = text.substr(0, kMaxPrimaryLength);
}

void ServerDialogModel::select(int index) {
  m_selected = index >= 0 && index < static_cast<int>(m_secondaries.size()) ? index : kNoSelection;
}

}  // namespace veltraw
