// The Server Configuration dialog's rules: what it loads and stores back, how
// its buttons edit the server list, and when a server passes its live test.
// A dialog state is written "primary: first second* third", the selected
// entry marked with '*'.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/MessageBox.h"
#include "support/ScratchKey.h"
#include "ui/ServerDialogModel.h"

namespace veltraw {
namespace {

using Names = std::vector<std::string>;

// The series the tests start. Each check of the wait answers every series
// whose host has a reply and returns at once; the others stay silent.
struct FakeNetwork {
  struct Series {
    void* context;
    std::string host;
    RequestCallback callback;
    int32_t tag, timeoutMs, requestCount;
    bool answered = false;
  };
  ~FakeNetwork() { reset(); }

  void answer(size_t index, NtpStatus status) {
    Series& series = started.at(index);
    if (series.answered) return;
    series.answered = true;
    NtpResult result;
    result.host = series.host;
    result.status = status;
    series.callback(series.context, result);
  }
  // Every series ends exactly once, as in the program; that frees its context.
  void reset() {
    for (size_t i = 0; i < started.size(); ++i) answer(i, NoResponse);
    started.clear();
  }

  std::vector<Series> started;
  std::map<std::string, NtpStatus> replies;
  bool refuseStart = false;
  uint32_t waitedMs = 0;
  std::function<void()> duringWait;
};

FakeNetwork* g_network = nullptr;

bool startSeries(void* context, const std::string& host, RequestCallback callback, int32_t tag,
                 int32_t timeoutMs, int32_t requestCount) {
  if (g_network->refuseStart) return false;
  g_network->started.push_back({context, host, callback, tag, timeoutMs, requestCount});
  return true;
}

void waitCheck(uint32_t ms) {
  FakeNetwork& network = *g_network;
  network.waitedMs += ms;
  for (size_t i = 0; i < network.started.size(); ++i) {
    auto reply = network.replies.find(network.started[i].host);
    if (reply != network.replies.end()) network.answer(i, reply->second);
  }
  if (network.duringWait) network.duringWait();
}

std::string describe(const ServerDialogModel& m) {
  std::string text = m.primary() + ":";
  for (size_t i = 0; i < m.secondaries().size(); ++i) {
    text += " " + m.secondaries()[i] + (static_cast<int>(i) == m.selected() ? "*" : "");
  }
  return text;
}

class ServerDialogTest : public ::testing::Test {
 protected:
  ServerDialogTest() {
    g_network = &network;
    setMessageBoxHandler([this](const MessageBoxRequest& box) {
      questions.push_back(box);
      events.push_back("ask");
      return answer;
    });
  }
  ~ServerDialogTest() override { setMessageBoxHandler(nullptr); }

  ServerDialogModel model(const test::ScratchKey& key) {
    ServerDialogServices services;
    services.settingsName = key.name();
    services.settingsDirectory = key.directory();
    services.startRequest = startSeries;
    services.sleep = waitCheck;
    services.showWait = [this](bool on) { events.push_back(on ? "wait" : "done"); };
    services.owner = this;
    return ServerDialogModel(services);
  }

  // Stores the servers of a state ("p: x y*"), loads it and selects as marked.
  ServerDialogModel loaded(const test::ScratchKey& key, const std::string& state) {
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
    storeServers(key, names);
    ServerDialogModel m = model(key);
    m.load();
    m.select(selected);
    return m;
  }

  static void storeServers(const test::ScratchKey& key, const Names& names) {
    auto settings = key.open();
    for (size_t i = 0; i < names.size(); ++i) {
      settings->writeText(setting::serverValueName(static_cast<int32_t>(i + 1)), names[i]);
    }
    settings->write(setting::Servers, static_cast<int32_t>(names.size()));
  }
  static Names storedNames(const test::ScratchKey& key) {
    auto settings = key.open();
    Names names;
    for (int32_t n = 1; n <= settings->read(setting::Servers); ++n) {
      names.push_back(settings->readText(setting::serverValueName(n), "<absent>"));
    }
    return names;
  }
  static int32_t storedNumber(const test::ScratchKey& key, const char* name) {
    return key.open()->readNumber(name, -1);
  }

  test::ScratchKey scratch;
  FakeNetwork network;
  std::vector<MessageBoxRequest> questions;
  Names events;
  int32_t answer = AnswerNo;
};

TEST_F(ServerDialogTest, ListKeepsStoredOrderUpToTheFirstEmptyNameAndStoresItBack) {
  struct Case {
    int32_t servers;
    Names stored;  // Server1, Server2, ...
    const char* shown;
    Names storedBack;
  } cases[] = {
      {3, {"p", "zulu", "alpha"}, "p: zulu alpha", {"p", "zulu", "alpha"}},
      {4, {"p", "b", "", "d"}, "p: b", {"p", "b"}},
      {1, {"p", "beyond"}, "p:", {"p"}},
      {3, {"", "b", "c"}, ": b c", {"b", "c"}},  // the first secondary becomes Server1
  };
  for (const Case& c : cases) {
    test::ScratchKey key;
    storeServers(key, c.stored);
    key.open()->write(setting::Servers, c.servers);
    ServerDialogModel m = model(key);
    m.load();
    EXPECT_EQ(describe(m), c.shown);
    m.select(static_cast<int>(m.secondaries().size()));  // past the end: no selection
    EXPECT_EQ(m.selected(), ServerDialogModel::kNoSelection);
    m.store();
    EXPECT_EQ(storedNames(key), c.storedBack) << c.shown;
  }
}

TEST_F(ServerDialogTest, ChoicesSelectTheStoredValueOrCarryItAsCustom) {
  struct Case {
    std::optional<int32_t> frequency, requests, reportOnly;
    const char* shown;  // frequency, requests, report-only
    int32_t storedFrequency, storedRequests, storedReportOnly;
    size_t frequencyEntries;
  } cases[] = {
      {{}, {}, {}, "1 minute, Automatic, 0", 60, 0, 0, 14},
      {600, 3, 7, "10 minutes, 3, 1", 600, 3, 1, 14},
      {45, 12, 0, "Custom, Custom, 0", 45, 12, 0, 15},
      {86400, 0, 1, "24 hours, Automatic, 1", 86400, 0, 1, 14},
  };
  for (const Case& c : cases) {
    test::ScratchKey key;
    if (c.frequency) key.open()->write(setting::Frequency, *c.frequency);
    if (c.requests) key.open()->write(setting::Requests, *c.requests);
    if (c.reportOnly) key.open()->write(setting::ReportOnly, *c.reportOnly);
    ServerDialogModel m = model(key);
    m.load();
    auto label = [](const ChoiceList& list) {
      return list.selected() < 0 ? std::string("none") : list.entries()[list.selected()].label;
    };
    EXPECT_EQ(
        label(m.frequency()) + ", " + label(m.requests()) + ", " + (m.reportOnly() ? "1" : "0"),
        c.shown);
    EXPECT_EQ(m.frequency().entries().size(), c.frequencyEntries);
    m.store();
    EXPECT_EQ(storedNumber(key, "Frequency"), c.storedFrequency) << c.shown;
    EXPECT_EQ(storedNumber(key, "Requests"), c.storedRequests) << c.shown;
    EXPECT_EQ(storedNumber(key, "ReportOnly"), c.storedReportOnly) << c.shown;
    m.frequency().select(static_cast<int>(c.frequencyEntries));
    EXPECT_EQ(m.frequency().value(), 5);  // nothing selected: the first entry's value
  }
}

enum class Check { None, Answers, SilentYes, SilentNo };
using Button = DialogFocus (ServerDialogModel::*)();

TEST_F(ServerDialogTest, ButtonsEditTheListAndMoveTheFocus) {
  const Button push = &ServerDialogModel::pushToSecondary,
               remove = &ServerDialogModel::deleteSelected, up = &ServerDialogModel::moveUp,
               down = &ServerDialogModel::moveDown;
  const auto same = DialogFocus::Unchanged, field = DialogFocus::PrimaryField,
             list = DialogFocus::SecondaryList;
  struct Case {
    Button button;
    const char* before;
    Check test;  // of the primary, and how it goes
    const char* after;
    DialogFocus focus;
  } cases[] = {
      {push, ": x", Check::None, ": x", same},
      {push, "a: x y*", Check::Answers, ": a x y*", field},
      {push, "a: x", Check::SilentNo, "a: x", same},
      {push, "a:", Check::SilentYes, ": a", field},
      {remove, "p: x y* z", Check::None, "p: x z", list},
      {remove, "p: x", Check::None, "p: x", same},
      {up, "p: x y z*", Check::None, "p: x z* y", list},
      {up, "p: x* y", Check::None, "x: p y", field},
      {up, ": x* y", Check::None, "x: y", field},
      {up, "p: x", Check::None, "p: x", same},
      {down, "p: x* y z", Check::None, "p: y x* z", list},
      {down, "p: x y*", Check::None, "p: x y*", same},
      {down, "p: x y", Check::Answers, "x: p* y", list},
      {down, ": x y", Check::SilentYes, "x: x* y", list},  // the empty primary is tested too
      {down, "p: x", Check::SilentNo, "p: x", same},
      {down, "p:", Check::None, "p:", same},  // nothing to swap with
  };
  for (const Case& c : cases) {
    test::ScratchKey key;
    ServerDialogModel m = loaded(key, c.before);
    network.reset();
    network.replies.clear();
    if (c.test == Check::Answers) network.replies[m.primary()] = Ok;
    answer = c.test == Check::SilentYes ? AnswerYes : AnswerNo;
    const std::string primary = m.primary();
    EXPECT_EQ((m.*c.button)(), c.focus) << c.before << " -> " << c.after;
    EXPECT_EQ(describe(m), c.after) << c.before;
    const Names tested = c.test == Check::None ? Names() : Names({primary});
    Names hosts;
    for (const auto& series : network.started) hosts.push_back(series.host);
    EXPECT_EQ(hosts, tested) << c.before;
  }
}

TEST_F(ServerDialogTest, OnlyAReplyPassesTheTestSilently) {
  struct Case {
    std::optional<NtpStatus> reply;  // none: silent
    bool refuseStart;
    int32_t answer;
    bool passes, asked;
    uint32_t waitedMs;
  } cases[] = {
      {Ok, false, AnswerNo, true, false, 50},
      {BadReference, false, AnswerNo, true, false, 50},  // a reply, if no usable reference
      {NoResponse, false, AnswerNo, false, true, 50},
      {Failed, false, AnswerYes, true, true, 50},
      {{}, false, AnswerNo, false, true, 1100},
      {{}, true, AnswerYes, true, true, 0},
  };
  for (const Case& c : cases) {
    network.reset();
    network.replies.clear();
    if (c.reply) network.replies["time.example"] = *c.reply;
    network.refuseStart = c.refuseStart;
    network.waitedMs = 0;
    events.clear();
    answer = c.answer;
    EXPECT_EQ(model(scratch).testServer("time.example"), c.passes) << c.waitedMs;
    EXPECT_EQ(network.waitedMs, c.waitedMs);
    // The wait cursor is gone before the question shows.
    EXPECT_EQ(events, c.asked ? Names({"wait", "done", "ask"}) : Names({"wait", "done"}));
    for (const auto& series : network.started) {
      EXPECT_EQ(series.host + " " + std::to_string(series.tag) + " " +
                    std::to_string(series.timeoutMs) + " " + std::to_string(series.requestCount),
                "time.example 0 1000 0");  // an automatic series
    }
  }
  ASSERT_EQ(questions.size(), 4u);
  EXPECT_EQ(questions[0].text,
            "The server time.example does not appear to be responding to a time request.\r\n"
            "Would you like to use this server anyway?");
  EXPECT_EQ(questions[0].caption, "Veltraw");
  EXPECT_EQ(questions[0].style, BoxYesNo | BoxIconWarning);
  EXPECT_EQ(questions[0].owner, this);
}

TEST_F(ServerDialogTest, AnAnswerAfterItsTestGaveUpCountsForNoLaterTest) {
  ServerDialogModel m = model(scratch);
  EXPECT_FALSE(m.testServer("slow.example"));
  // The first series answers while the second test waits; the second stays
  // silent.
  network.duringWait = [this] { network.answer(0, Ok); };
  EXPECT_FALSE(m.testServer("slow.example"));
  EXPECT_EQ(questions.size(), 2u);
  EXPECT_TRUE(network.started[0].answered);
}

std::thread g_replier;

bool replyFromAnotherThread(void* context, const std::string& host, RequestCallback callback,
                            int32_t, int32_t, int32_t) {
  g_replier = std::thread([=] {
    NtpResult result;
    result.host = host;
    result.status = Ok;
    callback(context, result);
  });
  return true;
}

void waitForReplier(uint32_t) {
  if (g_replier.joinable()) g_replier.join();
}

// As in the program: the answer is set on the request's thread.
TEST_F(ServerDialogTest, AnswerFromTheRequestThreadIsSeen) {
  ServerDialogServices services;
  services.settingsName = scratch.name();
  services.settingsDirectory = scratch.directory();
  services.startRequest = replyFromAnotherThread;
  services.sleep = waitForReplier;
  EXPECT_TRUE(ServerDialogModel(services).testServer("time.example"));
  EXPECT_TRUE(questions.empty());
  waitForReplier(0);  // an answer before the first check leaves the thread unjoined
}

TEST_F(ServerDialogTest, OkStoresOnlyWhenThePrimaryIsAccepted) {
  storeServers(scratch, {"", "b", "c", "old4", "old5"});
  scratch.open()->write(setting::Servers, 3);
  ServerDialogModel m = model(scratch);
  m.load();
  EXPECT_FALSE(m.accept());  // the empty primary does not answer, and No
  EXPECT_EQ(storedNames(scratch), Names({"", "b", "c"}));
  EXPECT_EQ(storedNumber(scratch, "Frequency"), -1);

  answer = AnswerYes;
  EXPECT_TRUE(m.accept());
  EXPECT_EQ(storedNames(scratch), Names({"b", "c"}));
  EXPECT_EQ(scratch.open()->readText("Server4", ""), "old4");  // beyond the count, ignored
  EXPECT_EQ(storedNumber(scratch, "Frequency"), 60);
}

TEST_F(ServerDialogTest, AFailedStoreReachesTheCallerAndLeavesTheCount) {
  ServerDialogModel m = loaded(scratch, "p: x");
  m.setPrimaryFromField("new.example");
  network.replies["new.example"] = Ok;
  if (!scratch.refuseWrites()) GTEST_SKIP() << "no way to make the store refuse here";
  EXPECT_THROW(m.accept(), std::runtime_error);
  EXPECT_EQ(storedNames(scratch), Names({"p", "x"}));
}

TEST_F(ServerDialogTest, NamesAreKeptByteForByteWithinTheirLimits) {
  const std::string long255 = std::string(254, 'b') + 'c';
  const Names odd = {std::string(254, 'a'), long255, std::string(300, 'd'), "a;b %s%n%% & del *.*",
                     "caf\xe9 \"x\\y\"\xff"};
  Names stored = {long255};
  stored.insert(stored.end(), odd.begin(), odd.end());
  storeServers(scratch, stored);
  ServerDialogModel m = model(scratch);
  m.load();
  Names expected = stored;
  expected[3] = std::string(255, 'd');  // at most 255 of a stored name
  m.store();
  EXPECT_EQ(storedNames(scratch), expected);

  // The field gives at most 254 typed characters; the name the dialog put
  // there stays whole while it is left alone.
  m.setPrimaryFromField(long255);
  EXPECT_EQ(m.primary(), long255);
  m.setPrimaryFromField(std::string(255, 'e'));
  EXPECT_EQ(m.primary(), std::string(254, 'e'));

  // A name is text, never a format.
  EXPECT_FALSE(m.testServer(odd[3]));
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].text.rfind("The server a;b %s%n%% & del *.* does not appear", 0), 0u);
}

TEST_F(ServerDialogTest, FoundApplianceTakesThePrimaryFieldWhateverThePushDid) {
  struct Case {
    const char* before;
    bool answers;
    const char* after;
  } cases[] = {
      {"p: x", true, "appliance: p x"},
      {"p: x", false, "appliance: x"},  // refused: the old primary is not kept
      {": x", false, "appliance: x"},
  };
  for (const Case& c : cases) {
    test::ScratchKey key;
    ServerDialogModel m = loaded(key, c.before);
    network.replies.clear();
    if (c.answers) network.replies["p"] = Ok;
    key.open()->write(setting::Server1, "appliance");  // as the search stores it
    m.applianceFound();
    EXPECT_EQ(describe(m), c.after) << c.before;
  }
}

}  // namespace
}  // namespace veltraw
