// The Server Configuration dialog's rules: what it loads and stores back, how
// its buttons edit the server list, and when a server passes its live test.
// A dialog state is written "primary: first second* third", the selected
// entry marked with '*'.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "app/MessageBox.h"
#include "support/ScratchKey.h"
#include "ui/ServerDialogModel.h"

namespace veltraw {
namespace {

using Names = std::vector<std::string>;

// A request the model started, always an automatic series with a short
// reply timeout. Each check of the wait answers every request whose host has
// a reply; the others stay silent until the test ends them, and a host named
// "refused" gets no request at all.
struct Request {
  void* context;
  std::string host;
  RequestCallback callback;
  bool answered;
  void answer(NtpStatus status) {
    if (answered) return;
    answered = true;
    NtpResult result;
    result.host = host;
    result.status = status;
    callback(context, result);
  }
};
std::vector<Request> g_requests;
std::map<std::string, NtpStatus> g_replies;
uint32_t g_waitedMs = 0;
std::function<void()> g_duringWait;

bool startRequest(void* context, const std::string& host, RequestCallback callback, int32_t tag,
                  int32_t timeoutMs, int32_t count) {
  EXPECT_EQ(std::make_tuple(tag, timeoutMs, count), std::make_tuple(0, 1000, 0));
  if (host == "refused") return false;
  g_requests.push_back({context, host, callback, false});
  return true;
}

void waitCheck(uint32_t ms) {
  g_waitedMs += ms;
  for (Request& request : g_requests) {
    if (g_replies.count(request.host)) request.answer(g_replies[request.host]);
  }
  if (g_duringWait) g_duringWait();
}

// Every request ends exactly once, as in the program; that frees its context.
void resetNetwork() {
  for (Request& request : g_requests) request.answer(NoResponse);
  g_requests.clear();
  g_replies.clear();
  g_waitedMs = 0;
  g_duringWait = nullptr;
}

std::string describe(const ServerDialogModel& m) {
  std::string text = m.primary() + ":";
  for (size_t i = 0; i < m.secondaries().size(); ++i) {
    text += " " + m.secondaries()[i] + (static_cast<int>(i) == m.selected() ? "*" : "");
  }
  return text;
}

void storeServers(const test::ScratchKey& key, const Names& names) {
  auto settings = key.open();
  for (size_t i = 0; i < names.size(); ++i) {
    settings->writeText(setting::serverValueName(static_cast<int32_t>(i + 1)), names[i]);
  }
  settings->write(setting::Servers, static_cast<int32_t>(names.size()));
}

Names storedNames(const test::ScratchKey& key) {
  auto settings = key.open();
  Names names;
  for (int32_t n = 1; n <= settings->read(setting::Servers); ++n) {
    names.push_back(settings->readText(setting::serverValueName(n), "<absent>"));
  }
  return names;
}

class ServerDialogTest : public ::testing::Test {
 protected:
  ServerDialogTest() {
    setMessageBoxHandler([this](const MessageBoxRequest& box) {
      questions.push_back(box);
      events.push_back("ask");
      return answer;
    });
  }
  ~ServerDialogTest() override {
    resetNetwork();
    setMessageBoxHandler(nullptr);
  }

  // Loads the key after storing the servers of a state ("p: x y*", none when
  // empty) and selects as marked.
  ServerDialogModel loaded(const test::ScratchKey& key, const std::string& state = "") {
    std::istringstream words(state.substr(state.find(':') + 1));
    Names names = {state.substr(0, state.find(':'))};
    int selected = ServerDialogModel::kNoSelection;
    for (std::string word; words >> word;) {
      if (word.back() == '*') {
        word.pop_back();
        selected = static_cast<int>(names.size()) - 1;
      }
      names.push_back(word);
    }
    if (!state.empty()) storeServers(key, names);
    ServerDialogServices services;
    services.settingsName = key.name();
    services.settingsDirectory = key.directory();
    services.startRequest = startRequest;
    services.sleep = waitCheck;
    services.showWait = [this](bool on) { events.push_back(on ? "wait" : "done"); };
    services.owner = this;
    ServerDialogModel m(services);
    m.load();
    m.select(selected);
    return m;
  }

  test::ScratchKey scratch;
  std::vector<MessageBoxRequest> questions;
  Names events;
  int32_t answer = AnswerNo;
};

// Names are kept byte for byte, at most 255 of a stored one; an empty primary
// makes the first secondary Server1.
TEST_F(ServerDialogTest, ListKeepsStoredOrderUpToTheFirstEmptyNameAndStoresItBack) {
  const std::string odd = "caf\xe9 \"x\\y\"\xff", n255(255, 'n');
  const std::tuple<int32_t, Names, std::string, Names> cases[] = {
      {3, {"p", "zulu", odd}, "p: zulu " + odd, {"p", "zulu", odd}},
      {4, {"p", "b", "", "d"}, "p: b", {"p", "b"}},
      {1, {"p", "beyond"}, "p:", {"p"}},
      {3, {"", "b", n255 + "x"}, ": b " + n255, {"b", n255}}};
  for (const auto& [servers, stored, shown, storedBack] : cases) {
    test::ScratchKey key;
    storeServers(key, stored);
    key.open()->write(setting::Servers, servers);
    ServerDialogModel m = loaded(key);
    EXPECT_EQ(describe(m), shown);
    m.select(static_cast<int>(m.secondaries().size()));  // past the end: no selection
    EXPECT_EQ(m.selected(), ServerDialogModel::kNoSelection);
    m.store();
    EXPECT_EQ(storedNames(key), storedBack) << shown;
  }
}

// Stored frequency, requests and report-only, as shown and stored back.
TEST_F(ServerDialogTest, ChoicesSelectTheStoredValueOrCarryItAsCustom) {
  const std::tuple<int32_t, int32_t, int32_t, const char*, int32_t> cases[] = {
      {-1, -1, -1, "1 minute, Automatic, 0", 60},  // -1: nothing stored
      {600, 3, 7, "10 minutes, 3, 1", 600},
      {45, 12, 0, "Custom, Custom, 0", 45},
      {86400, 0, 1, "24 hours, Automatic, 1", 86400}};
  const auto label = [](const ChoiceList& list) { return list.entries()[list.selected()].label; };
  for (const auto& [frequency, requests, reportOnly, shown, storedFrequency] : cases) {
    test::ScratchKey key;
    if (frequency >= 0) key.open()->write(setting::Frequency, frequency);
    if (requests >= 0) key.open()->write(setting::Requests, requests);
    if (reportOnly >= 0) key.open()->write(setting::ReportOnly, reportOnly);
    ServerDialogModel m = loaded(key);
    EXPECT_EQ(label(m.frequency()) + ", " + label(m.requests()) + ", " + "01"[m.reportOnly()],
              shown);
    m.store();
    auto stored = key.open();
    EXPECT_EQ(stored->readNumber("Frequency", -1), storedFrequency) << shown;
    EXPECT_EQ(stored->readNumber("Requests", -1), std::max(requests, 0)) << shown;
    EXPECT_EQ(stored->readNumber("ReportOnly", -1), reportOnly > 0 ? 1 : 0) << shown;
    m.frequency().select(static_cast<int>(m.frequency().entries().size()));
    EXPECT_EQ(m.frequency().value(), 5);  // nothing selected: the first entry's value
    m.frequency().select(0);              // the first entry itself stays selected
    EXPECT_EQ(m.frequency().selected(), 0);
  }
}

// What a list shows is what it stores: "10 minutes" is 600 s, "3" is 3.
TEST(ServerDialogChoices, EachLabelSaysItsValue) {
  for (const SettingChoice& choice : frequencyChoices()) {
    const std::string unit = choice.label.substr(choice.label.find(' ') + 1);
    const int32_t seconds = unit.rfind("second", 0) == 0   ? 1
                            : unit.rfind("minute", 0) == 0 ? 60
                                                           : 3600;
    EXPECT_EQ(choice.value, std::stoi(choice.label) * seconds) << choice.label;
  }
  for (size_t i = 1; i < requestChoices().size(); ++i) {
    EXPECT_EQ(std::to_string(requestChoices()[i].value), requestChoices()[i].label);
  }
}

using Button = DialogFocus (ServerDialogModel::*)();

// The primary's test: '-' none, 'A' it answers, 'Y' or 'N' silent and the
// question answered so.
TEST_F(ServerDialogTest, ButtonsEditTheListAndMoveTheFocus) {
  const Button push = &ServerDialogModel::pushToSecondary,
               remove = &ServerDialogModel::deleteSelected, up = &ServerDialogModel::moveUp,
               down = &ServerDialogModel::moveDown;
  const auto same = DialogFocus::Unchanged, field = DialogFocus::PrimaryField,
             list = DialogFocus::SecondaryList;
  const std::tuple<Button, const char*, char, const char*, DialogFocus> cases[] = {
      {push, ": x", '-', ": x", same},
      {push, "a: x y*", 'A', ": a x y*", field},
      {push, "a: x", 'N', "a: x", same},
      {push, "a:", 'Y', ": a", field},
      {remove, "p: x y* z", '-', "p: x z", list},
      {remove, "p: x", '-', "p: x", same},
      {up, "p: x y z*", '-', "p: x z* y", list},
      {up, "p: x* y", '-', "x: p y", field},
      {up, ": x* y", '-', "x: y", field},
      {up, "p: x", '-', "p: x", same},
      {down, "p: x* y z", '-', "p: y x* z", list},
      {down, "p: x y*", '-', "p: x y*", same},
      {down, "p: x y", 'A', "x: p* y", list},
      {down, ": x y", 'Y', "x: x* y", list},  // the empty primary is tested too
      {down, "p: x", 'N', "p: x", same},
      {down, "p:", '-', "p:", same}};  // nothing to swap with
  for (const auto& [button, before, check, after, focus] : cases) {
    test::ScratchKey key;
    ServerDialogModel m = loaded(key, before);
    resetNetwork();
    if (check == 'A') g_replies[m.primary()] = Ok;
    answer = check == 'Y' ? AnswerYes : AnswerNo;
    const std::string primary = m.primary();
    EXPECT_EQ((m.*button)(), focus) << before << " -> " << after;
    EXPECT_EQ(describe(m), after) << before;
    Names hosts;
    for (const auto& request : g_requests) hosts.push_back(request.host);
    EXPECT_EQ(hosts, check == '-' ? Names() : Names({primary})) << before;
  }
}

// A reply, even without a usable reference, passes; anything else asks. The
// wait cursor is gone before the question shows. A name is text, never a
// format.
TEST_F(ServerDialogTest, OnlyAReplyPassesTheTestSilently) {
  const std::string odd = "a;b %s%n%% & del *.*";
  const std::tuple<std::string, std::optional<NtpStatus>, int32_t, bool, uint32_t> cases[] = {
      {odd, Ok, AnswerNo, true, 50},          {odd, BadReference, AnswerNo, true, 50},
      {odd, NoResponse, AnswerNo, false, 50}, {odd, Failed, AnswerYes, true, 50},
      {odd, {}, AnswerNo, false, 1100},       {"refused", {}, AnswerYes, true, 0}};
  for (const auto& [name, reply, answerGiven, passes, waitedMs] : cases) {
    resetNetwork();
    if (reply) g_replies[name] = *reply;
    events.clear();
    answer = answerGiven;
    EXPECT_EQ(loaded(scratch).testServer(name), passes) << waitedMs;
    EXPECT_EQ(g_waitedMs, waitedMs);
    const bool asked = reply != Ok && reply != BadReference;
    EXPECT_EQ(events, asked ? Names({"wait", "done", "ask"}) : Names({"wait", "done"}));
  }
  ASSERT_EQ(questions.size(), 4u);
  EXPECT_EQ(questions[0].text, "The server " + odd +
                                   " does not appear to be responding to a time request.\r\n"
                                   "Would you like to use this server anyway?");
  EXPECT_EQ(questions[0].caption, "Veltraw");
  EXPECT_EQ(questions[0].style, BoxYesNo | BoxIconWarning);
  EXPECT_EQ(questions[0].owner, this);
}

TEST_F(ServerDialogTest, AnAnswerAfterItsTestGaveUpCountsForNoLaterTest) {
  ServerDialogModel m = loaded(scratch);
  EXPECT_FALSE(m.testServer("slow.example"));
  // The first request answers while the second test waits; the second stays
  // silent.
  g_duringWait = [] { g_requests[0].answer(Ok); };
  EXPECT_FALSE(m.testServer("slow.example"));
  EXPECT_EQ(questions.size(), 2u);
}

TEST_F(ServerDialogTest, OkStoresOnlyWhenThePrimaryIsAccepted) {
  storeServers(scratch, {"", "b", "c", "old4"});
  scratch.open()->write(setting::Servers, 3);
  ServerDialogModel m = loaded(scratch);
  EXPECT_FALSE(m.accept());  // the empty primary does not answer, and No
  EXPECT_EQ(storedNames(scratch), Names({"", "b", "c"}));
  EXPECT_EQ(scratch.open()->readNumber("Frequency", -1), -1);

  answer = AnswerYes;
  EXPECT_TRUE(m.accept());
  EXPECT_EQ(storedNames(scratch), Names({"b", "c"}));
  EXPECT_EQ(scratch.open()->readText("Server4", ""), "old4");  // beyond the count, ignored
  EXPECT_EQ(scratch.open()->readNumber("Frequency", -1), 60);

  // A failed store reaches the caller and leaves the count.
  m.setPrimaryFromField("new.example");
  if (!scratch.refuseWrites()) GTEST_SKIP() << "no way to make the store refuse here";
  EXPECT_THROW(m.accept(), std::runtime_error);
  EXPECT_EQ(storedNames(scratch), Names({"b", "c"}));
}

// The field gives at most 254 typed characters; the name the dialog put there
// stays whole while it is left alone.
TEST_F(ServerDialogTest, PrimaryFieldTakes254TypedCharacters) {
  const std::string long255 = std::string(254, 'b') + 'c';
  ServerDialogModel m = loaded(scratch, long255 + ":");
  m.setPrimaryFromField(long255);
  EXPECT_EQ(m.primary(), long255);
  m.setPrimaryFromField(std::string(255, 'e'));
  EXPECT_EQ(m.primary(), std::string(254, 'e'));
}

// The old primary goes to the secondaries only when its test passes.
TEST_F(ServerDialogTest, FoundApplianceTakesThePrimaryFieldWhateverThePushDid) {
  const std::tuple<const char*, bool, const char*> cases[] = {{"p: x", true, "appliance: p x"},
                                                              {"p: x", false, "appliance: x"},
                                                              {": x", false, "appliance: x"}};
  for (const auto& [before, answers, after] : cases) {
    test::ScratchKey key;
    ServerDialogModel m = loaded(key, before);
    if (answers) g_replies["p"] = Ok;
    key.open()->write(setting::Server1, "appliance");  // as the search stores it
    m.applianceFound();
    EXPECT_EQ(describe(m), after) << before;
    resetNetwork();
  }
}

}  // namespace
}  // namespace veltraw
