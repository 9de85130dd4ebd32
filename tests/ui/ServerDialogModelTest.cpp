// The Server Configuration dialog's rules: what it loads and stores back, how
// its buttons edit the server list, and when a server passes its live test.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/MessageBox.h"
#include "support/ScratchKey.h"
#include "ui/ServerDialogModel.h"

namespace veltraw {
namespace {

// The series the tests start; each is answered when the test says so. The
// wait between checks returns at once, after answering every series whose
// host has a reply.
struct FakeNetwork {
  struct Series {
    void* context;
    std::string host;
    RequestCallback callback;
    int32_t tag;
    int32_t timeoutMs;
    int32_t requestCount;
    bool answered = false;
  };

  ~FakeNetwork() { reset(); }

  // Every series ends exactly once, as in the program; that frees its context.
  void reset() {
    for (size_t i = 0; i < started.size(); ++i) answer(i, NoResponse);
    started.clear();
  }

  void answer(size_t index, NtpStatus status) {
    Series& series = started.at(index);
    if (series.answered) return;
    series.answered = true;
    NtpResult result;
    result.host = series.host;
    result.status = status;
    series.callback(series.context, result);
  }

  std::vector<Series> started;
  std::map<std::string, NtpStatus> replies;  // hosts not named here stay silent
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
  ServerDialogModel model() { return model(scratch); }

  // Server1, Server2, ... and Servers as their count.
  static void storeServers(const test::ScratchKey& key, const std::vector<std::string>& names) {
    auto settings = key.open();
    for (size_t i = 0; i < names.size(); ++i) {
      settings->writeText(setting::serverValueName(static_cast<int32_t>(i + 1)), names[i]);
    }
    settings->write(setting::Servers, static_cast<int32_t>(names.size()));
  }
  static std::string storedText(const test::ScratchKey& key, const std::string& name) {
    return key.open()->readText(name, "<absent>");
  }
  static int32_t storedNumber(const test::ScratchKey& key, const char* name) {
    return key.open()->readNumber(name, -1);
  }
  std::vector<std::string> testedHosts() const {
    std::vector<std::string> hosts;
    for (const auto& series : network.started) hosts.push_back(series.host);
    return hosts;
  }

  test::ScratchKey scratch;
  FakeNetwork network;
  std::vector<MessageBoxRequest> questions;
  std::vector<std::string> events;
  int32_t answer = AnswerNo;
};

using Names = std::vector<std::string>;

TEST_F(ServerDialogTest, ListKeepsStoredOrderUpToTheFirstEmptyNameAndStoresItBack) {
  struct Case {
    int32_t servers;
    Names stored;  // Server1, Server2, ...
    std::string primary;
    Names shown;
    Names storedBack;  // Server1.. after storing; Servers is their count
  } cases[] = {
      {3,
       {"p", "zulu.example", "alpha.example"},
       "p",
       {"zulu.example", "alpha.example"},
       {"p", "zulu.example", "alpha.example"}},
      {4, {"p", "b", "", "d"}, "p", {"b"}, {"p", "b"}},
      {1, {"p", "beyond.example"}, "p", {}, {"p"}},
      {3, {"", "b", "c"}, "", {"b", "c"}, {"b", "c"}},  // the first secondary becomes Server1
  };
  for (const Case& c : cases) {
    test::ScratchKey key;
    storeServers(key, c.stored);
    key.open()->write(setting::Servers, c.servers);
    ServerDialogModel m = model(key);
    m.load();
    EXPECT_EQ(m.primary(), c.primary) << c.servers;
    EXPECT_EQ(m.secondaries(), c.shown) << c.servers;
    EXPECT_EQ(m.selected(), ServerDialogModel::kNoSelection);
    m.store();
    EXPECT_EQ(storedNumber(key, "Servers"), static_cast<int32_t>(c.storedBack.size()));
    for (size_t i = 0; i < c.storedBack.size(); ++i) {
      EXPECT_EQ(storedText(key, setting::serverValueName(static_cast<int32_t>(i + 1))),
                c.storedBack[i]);
    }
  }
}

TEST_F(ServerDialogTest, ChoicesSelectTheStoredValueOrCarryItAsCustom) {
  struct Case {
    std::optional<int32_t> frequency, requests, reportOnly;
    const char* frequencyLabel;
    const char* requestsLabel;
    int32_t storedFrequency, storedRequests, storedReportOnly;
  } cases[] = {
      {{}, {}, {}, "1 minute", "Automatic", 60, 0, 0},
      {600, 3, 7, "10 minutes", "3", 600, 3, 1},
      {45, 12, 0, "Custom", "Custom", 45, 12, 0},
      {86400, 0, 1, "24 hours", "Automatic", 86400, 0, 1},
  };
  for (const Case& c : cases) {
    test::ScratchKey key;
    {
      auto settings = key.open();
      if (c.frequency) settings->write(setting::Frequency, *c.frequency);
      if (c.requests) settings->write(setting::Requests, *c.requests);
      if (c.reportOnly) settings->write(setting::ReportOnly, *c.reportOnly);
    }
    ServerDialogModel m = model(key);
    m.load();
    const ChoiceList& frequency = m.frequency();
    const ChoiceList& requests = m.requests();
    ASSERT_GE(frequency.selected(), 0);
    ASSERT_GE(requests.selected(), 0);
    EXPECT_EQ(frequency.entries()[frequency.selected()].label, c.frequencyLabel);
    EXPECT_EQ(requests.entries()[requests.selected()].label, c.requestsLabel);
    // "Custom" is one more entry after the fixed ones, never in their place.
    const bool custom = std::string(c.frequencyLabel) == "Custom";
    EXPECT_EQ(frequency.entries().size(), frequencyChoices().size() + (custom ? 1 : 0));
    m.store();
    EXPECT_EQ(storedNumber(key, "Frequency"), c.storedFrequency);
    EXPECT_EQ(storedNumber(key, "Requests"), c.storedRequests);
    EXPECT_EQ(storedNumber(key, "ReportOnly"), c.storedReportOnly);
  }
  // Nothing selected: the first entry's value.
  ServerDialogModel m = model();
  m.load();
  m.frequency().select(-1);
  EXPECT_EQ(m.frequency().value(), 5);
}

using Button = DialogFocus (ServerDialogModel::*)();

TEST_F(ServerDialogTest, ButtonsEditTheListAndMoveTheFocus) {
  const Button push = &ServerDialogModel::pushToSecondary;
  const Button remove = &ServerDialogModel::deleteSelected;
  const Button up = &ServerDialogModel::moveUp;
  const Button down = &ServerDialogModel::moveDown;
  constexpr int none = ServerDialogModel::kNoSelection;
  const auto unchanged = DialogFocus::Unchanged;
  const auto field = DialogFocus::PrimaryField;
  const auto list = DialogFocus::SecondaryList;
  struct Case {
    const char* what;
    Button button;
    std::string primary;
    Names list;
    int selected;
    std::map<std::string, NtpStatus> replies;
    int32_t answer;  // to the question, when one is asked
    std::string primaryAfter;
    Names listAfter;
    int selectedAfter;
    DialogFocus focus;
    Names tested;
  } cases[] = {
      {"push empty", push, "", {"x"}, none, {}, AnswerYes, "", {"x"}, none, unchanged, {}},
      {"push answered",
       push,
       "a",
       {"x", "y"},
       1,
       {{"a", Ok}},
       AnswerNo,
       "",
       {"a", "x", "y"},
       2,
       field,
       {"a"}},
      {"push refused", push, "a", {"x"}, none, {}, AnswerNo, "a", {"x"}, none, unchanged, {"a"}},
      {"push anyway", push, "a", {}, none, {}, AnswerYes, "", {"a"}, none, field, {"a"}},
      {"delete", remove, "p", {"x", "y", "z"}, 1, {}, AnswerNo, "p", {"x", "z"}, none, list, {}},
      {"delete none", remove, "p", {"x"}, none, {}, AnswerNo, "p", {"x"}, none, unchanged, {}},
      {"up", up, "p", {"x", "y", "z"}, 2, {}, AnswerNo, "p", {"x", "z", "y"}, 1, list, {}},
      {"up from top", up, "p", {"x", "y"}, 0, {}, AnswerNo, "x", {"p", "y"}, none, field, {}},
      {"up from top, no primary", up, "", {"x", "y"}, 0, {}, AnswerNo, "x", {"y"}, none, field, {}},
      {"up none", up, "p", {"x"}, none, {}, AnswerNo, "p", {"x"}, none, unchanged, {}},
      {"down", down, "p", {"x", "y", "z"}, 0, {}, AnswerNo, "p", {"y", "x", "z"}, 1, list, {}},
      {"down last", down, "p", {"x", "y"}, 1, {}, AnswerNo, "p", {"x", "y"}, 1, unchanged, {}},
      {"down none",
       down,
       "p",
       {"x", "y"},
       none,
       {{"p", Ok}},
       AnswerNo,
       "x",
       {"p", "y"},
       0,
       list,
       {"p"}},
      {"down none, no primary",
       down,
       "",
       {"x", "y"},
       none,
       {},
       AnswerYes,
       "x",
       {"x", "y"},
       0,
       list,
       {""}},
      {"down none refused",
       down,
       "p",
       {"x"},
       none,
       {},
       AnswerNo,
       "p",
       {"x"},
       none,
       unchanged,
       {"p"}},
      {"down none, empty list", down, "p", {}, none, {}, AnswerYes, "p", {}, none, unchanged, {}},
  };
  for (const Case& c : cases) {
    test::ScratchKey key;
    Names stored = {c.primary};
    stored.insert(stored.end(), c.list.begin(), c.list.end());
    storeServers(key, stored);
    network.reset();
    network.replies = c.replies;
    answer = c.answer;
    ServerDialogModel m = model(key);
    m.load();
    m.select(c.selected);
    EXPECT_EQ((m.*c.button)(), c.focus) << c.what;
    EXPECT_EQ(m.primary(), c.primaryAfter) << c.what;
    EXPECT_EQ(m.secondaries(), c.listAfter) << c.what;
    EXPECT_EQ(m.selected(), c.selectedAfter) << c.what;
    EXPECT_EQ(testedHosts(), c.tested) << c.what;
  }
}

TEST_F(ServerDialogTest, OnlyAReplyPassesTheTestSilently) {
  struct Case {
    std::optional<NtpStatus> reply;  // none: silent
    bool refuseStart;
    int32_t answer;
    bool passes;
    bool asked;
    uint32_t waitedMs;
  } cases[] = {
      {Ok, false, AnswerNo, true, false, 50},
      {BadReference, false, AnswerNo, true, false, 50},  // a reply, if not a usable reference
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
    questions.clear();
    events.clear();
    answer = c.answer;
    ServerDialogModel m = model();
    EXPECT_EQ(m.testServer("time.example"), c.passes) << c.waitedMs;
    EXPECT_EQ(network.waitedMs, c.waitedMs);
    // The wait cursor is gone before the question shows.
    EXPECT_EQ(events, c.asked ? Names({"wait", "done", "ask"}) : Names({"wait", "done"}));
    if (!c.refuseStart) {
      ASSERT_EQ(network.started.size(), 1u);
      const FakeNetwork::Series& series = network.started[0];
      EXPECT_EQ(series.host, "time.example");
      EXPECT_EQ(series.tag, 0);
      EXPECT_EQ(series.timeoutMs, 1000);
      EXPECT_EQ(series.requestCount, 0);  // automatic
    }
  }
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].text,
            "The server time.example does not appear to be responding to a time request.\r\n"
            "Would you like to use this server anyway?");
  EXPECT_EQ(questions[0].caption, "Veltraw");
  EXPECT_EQ(questions[0].style, BoxYesNo | BoxIconWarning);
  EXPECT_EQ(questions[0].owner, this);
}

TEST_F(ServerDialogTest, AnAnswerAfterItsTestGaveUpCountsForNoLaterTest) {
  ServerDialogModel m = model();
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
  ServerDialogModel m(services);
  EXPECT_TRUE(m.testServer("time.example"));
  EXPECT_TRUE(questions.empty());
  waitForReplier(0);  // an answer before the first check leaves the thread unjoined
}

TEST_F(ServerDialogTest, OkStoresOnlyWhenThePrimaryIsAccepted) {
  storeServers(scratch, {"", "b", "c", "old4", "old5"});
  scratch.open()->write(setting::Servers, 3);
  ServerDialogModel m = model();
  m.load();
  answer = AnswerNo;  // the empty primary does not answer
  EXPECT_FALSE(m.accept());
  EXPECT_EQ(storedNumber(scratch, "Servers"), 3);
  EXPECT_EQ(storedNumber(scratch, "Frequency"), -1);

  answer = AnswerYes;
  EXPECT_TRUE(m.accept());
  EXPECT_EQ(testedHosts(), Names({"", ""}));
  EXPECT_EQ(storedText(scratch, "Server1"), "b");
  EXPECT_EQ(storedText(scratch, "Server2"), "c");
  EXPECT_EQ(storedNumber(scratch, "Servers"), 2);
  EXPECT_EQ(storedText(scratch, "Server4"), "old4");  // beyond the count, ignored
  EXPECT_EQ(storedNumber(scratch, "Frequency"), 60);
}

TEST_F(ServerDialogTest, AFailedStoreReachesTheCallerAndLeavesTheCount) {
  storeServers(scratch, {"p", "x"});
  ServerDialogModel m = model();
  m.load();
  m.setPrimaryFromField("new.example");
  network.replies["new.example"] = Ok;
  if (!scratch.refuseWrites()) GTEST_SKIP() << "no way to make the store refuse here";
  EXPECT_THROW(m.accept(), std::runtime_error);
  EXPECT_EQ(storedNumber(scratch, "Servers"), 2);
  EXPECT_EQ(storedText(scratch, "Server1"), "p");
}

TEST_F(ServerDialogTest, NamesAreKeptByteForByteWithinTheirLimits) {
  const std::string long254(254, 'a');
  const std::string long255 = std::string(254, 'b') + 'c';
  const Names odd = {long254,
                     long255,
                     std::string(300, 'd'),
                     "time server.example",
                     "a;b %s%n%% & del *.*",
                     "\xe9t\xe9.example\xff",
                     "quote\"back\\slash"};
  Names stored = {long255};
  stored.insert(stored.end(), odd.begin(), odd.end());
  storeServers(scratch, stored);
  ServerDialogModel m = model();
  m.load();
  EXPECT_EQ(m.primary(), long255);
  Names expected = odd;
  expected[2] = std::string(255, 'd');  // at most 255 of a stored name
  EXPECT_EQ(m.secondaries(), expected);

  // The field gives at most 254 typed characters; the name the dialog put
  // there stays whole while it is left alone.
  m.setPrimaryFromField(long255);
  EXPECT_EQ(m.primary(), long255);
  m.store();
  EXPECT_EQ(storedText(scratch, "Server1"), long255);
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(storedText(scratch, setting::serverValueName(static_cast<int32_t>(i + 2))),
              expected[i]);
  }
  m.setPrimaryFromField(std::string(255, 'e'));
  EXPECT_EQ(m.primary(), std::string(254, 'e'));
  m.setPrimaryFromField(long254);
  EXPECT_EQ(m.primary(), long254);

  // A name is text, never a format.
  m.setPrimaryFromField(odd[4]);
  EXPECT_FALSE(m.testServer(m.primary()));
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].text.rfind("The server a;b %s%n%% & del *.* does not appear", 0), 0u);
}

TEST_F(ServerDialogTest, FoundApplianceTakesThePrimaryFieldWhateverThePushDid) {
  struct Case {
    std::string primary;
    std::map<std::string, NtpStatus> replies;
    Names listAfter;
  } cases[] = {
      {"p", {{"p", Ok}}, {"p", "x"}},
      {"p", {}, {"x"}},  // refused: the old primary is not kept
      {"", {}, {"x"}},
  };
  for (const Case& c : cases) {
    test::ScratchKey key;
    storeServers(key, {c.primary, "x"});
    network.replies = c.replies;
    ServerDialogModel m = model(key);
    m.load();
    key.open()->write(setting::Server1, "appliance.example");  // as the search stores it
    m.applianceFound();
    EXPECT_EQ(m.primary(), "appliance.example") << c.primary;
    EXPECT_EQ(m.secondaries(), c.listAfter) << c.primary;
  }
}

}  // namespace
}  // namespace veltraw
