#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "LIB/Log/ErrorLog.h"
#include "LIB/Log/LogSinks.h"
#include "support/CaptureSink.h"

namespace veltraw {
namespace {

using test::CaptureSink;

class ErrorLogTest : public ::testing::Test {
 protected:
  void SetUp() override { log.setEnvironment(&env); }
  void TearDown() override { log.setEnvironment(nullptr); }
  test::FixedLogEnvironment env;
  ErrorLog& log = ErrorLog::instance();
};

TEST_F(ErrorLogTest, HeaderIsUtcDateTickAndThread) {
  CaptureSink sink(Trace, true);
  env.time = 1141567629;  // 2006-03-05 14:07:09 UTC
  env.tick = 1204823911;
  log.begin(Warning) << "Running Monitor Program: "
                     << "notify.cmd" << End;
  env.tick = 300000000;  // a multiple of the modulus
  env.time = 951782400;  // 2000-02-29 00:00:00, a leap day
  env.thread = 0xabc;
  log << "x" << End;
  EXPECT_EQ(sink.all(),
            "[2006-03-05 14:07:09 04823911] <6f4>: Running Monitor Program: notify.cmd\n"
            "[2000-02-29 00:00:00 00000000] <abc>: x\n");
}

TEST_F(ErrorLogTest, SinksTakeOnlyEntriesAtOrAboveTheirLevel) {
  CaptureSink trace(Trace), detail(Detail), warning(Warning);
  log.begin(Trace) << "one" << End;
  log.begin(Detail) << "two" << End;
  log << "three, level 2 without begin" << End;
  log.begin(Fatal) << "four" << End;
  EXPECT_EQ(trace.all(),
            "<6f4>: one\n<6f4>: two\n<6f4>: three, level 2 without begin\n<6f4>: four\n");
  EXPECT_EQ(detail.all(), "<6f4>: two\n<6f4>: three, level 2 without begin\n<6f4>: four\n");
  EXPECT_EQ(warning.all(), "<6f4>: four\n");
  EXPECT_EQ(trace.levels, (std::vector<int32_t>{Trace, Detail, Detail, Fatal}));
}

TEST_F(ErrorLogTest, BeginInsideAnOpenEntryWarnsAndContinuesTheLine) {
  CaptureSink warning(Warning), severe(Severe);
  log.begin(Warning) << "A";
  log.begin(Severe) << "B" << End;
  // Only the warning sink saw the line start; the severe one takes the pieces
  // written after the level rose.
  EXPECT_EQ(warning.all(), "<6f4>: A<WARNING:previous log not ended> B\n");
  EXPECT_EQ(severe.all(), "B\n");
  log.begin(Error) << "C" << End;  // a fresh line again
  EXPECT_EQ(warning.lines.back(), "<6f4>: C");
}

TEST_F(ErrorLogTest, EachTypeHasItsOwnText) {
  CaptureSink sink;
  const std::string big(100000, 'x');
  log << Hex << int32_t{-255} << " " << int32_t{0} << " " << int32_t{255} << End;
  log << int32_t{-255} << " " << int32_t{INT_MIN} << End;  // radix is back to 10
  log << Bin << int32_t{5} << " " << Oct << int32_t{64} << " " << Dec << int32_t{64} << End;
  log << uint32_t{255} << " " << static_cast<unsigned char>(0xAB) << " "
      << static_cast<unsigned long long>(4294967296ULL) << End;
  log << '\n' << '\t' << '\x7f' << static_cast<char>(0xE9) << 'a' << '\0' << End;
  log << true << " " << false << " " << std::string() << std::string("s") << End;
  log << big << big.c_str() << End;  // no piece is cut
  EXPECT_EQ(sink.lines,
            (std::vector<std::string>{"<6f4>: -FF 0 FF", "<6f4>: -255 -2147483648",
                                      "<6f4>: 101 100 64", "<6f4>: 0x000000ff 0xab 4294967296",
                                      "<6f4>: \\x0a\\x09\x7f\xe9"
                                      "a\\x00",
                                      "<6f4>: true false s", "<6f4>: " + big + big}));
}

// Every test's listener leaves the log as it is destroyed; one that never
// joined leaves the others in place.
TEST_F(ErrorLogTest, RemovingAnAbsentSinkChangesNothing) {
  CaptureSink sink, never(Trace, false, CaptureSink::Unregistered);
  log.removeSink(&never);
  log << "x" << End;
  EXPECT_EQ(sink.all(), "<6f4>: x\n");
  EXPECT_EQ(never.all(), "");
}

TEST_F(ErrorLogTest, EndWithoutAPieceReleasesOnlyWhatWasTaken) {
  CaptureSink sink;
  log << End;  // nothing open at all
  log.begin(Warning) << End;
  log.begin(Warning);
  log.begin(Error) << End;  // two begins, no piece
  EXPECT_TRUE(sink.lines.empty());
  // Another thread must still be able to write: no hold was left behind.
  std::thread other([] { ErrorLog::instance() << "other" << End; });
  other.join();
  EXPECT_EQ(sink.all(), "<6f4>: other\n");
}

TEST(ErrorLogConcurrency, LinesOfManyThreadsNeverInterleave) {
  CaptureSink sink;
  constexpr int kThreads = 8, kEntries = 300;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kEntries; ++i) {
        // Levels differ per thread, so a level changed by another thread's
        // begin shows in the sink's level record; so does a radix.
        ErrorLog::instance().begin(t % 2 ? Warning : Detail)
            << "T" << int32_t{t} << " " << Hex << int32_t{i} << " " << Dec << int32_t{i} << End;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  ASSERT_EQ(sink.lines.size(), size_t{kThreads * kEntries});
  std::vector<int> next(kThreads, 0);
  for (size_t n = 0; n < sink.lines.size(); ++n) {
    const std::string& line = sink.lines[n];
    const size_t body = line.find(">: T");
    ASSERT_NE(body, std::string::npos) << line;
    const int t = std::atoi(line.c_str() + body + 4);
    ASSERT_TRUE(t >= 0 && t < kThreads) << line;
    char expected[32];
    std::snprintf(expected, sizeof expected, "T%d %X %d", t, next[t], next[t]);
    ++next[t];
    EXPECT_EQ(line.substr(body + 3), expected);
    EXPECT_EQ(sink.levels[n], t % 2 ? Warning : Detail) << line;
  }
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST_F(ErrorLogTest, FileSinkWritesHeadedLinesFlushedAtOnce) {
  const std::string path = ::testing::TempDir() + "veltraw_log_test.txt";
  { std::ofstream(path) << "earlier\n"; }
  for (bool append : {true, false}) {
    FileLogSink sink(path, append);
    log.addSink(&sink);
    log.begin(Warning) << "entry" << End;
    // On disk before the sink is closed. Text mode ends lines the platform's way.
    const std::string written = readFile(path);
    log.removeSink(&sink);
    EXPECT_EQ(written.find("earlier") != std::string::npos, append);
    EXPECT_NE(written.find("[1970-01-01 00:00:00 00000000] <6f4>: entry"), std::string::npos);
    EXPECT_EQ(written.back(), '\n');
  }
  std::remove(path.c_str());
  const std::string nowhere = ::testing::TempDir() + "no/such/dir/log.txt";
  try {
    FileLogSink sink(nowhere, true);
    ADD_FAILURE() << "opened " << nowhere;
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open log file for writing: " + nowhere);
  }
}

std::string* g_debugged = nullptr;
void collectDebugger(const char* text) {
  if (g_debugged) *g_debugged += text;
}

TEST_F(ErrorLogTest, DebugSinkSendsEachPieceAndTheLineEnd) {
  std::string seen;
  g_debugged = &seen;
  setDebuggerHook(&collectDebugger);
  DebugLogSink sink;
  sink.level = Trace;
  log.addSink(&sink);
  log.begin(Trace) << "hello " << int32_t{42} << End;
  log.removeSink(&sink);
  setDebuggerHook(nullptr);
  g_debugged = nullptr;
  EXPECT_EQ(seen, "[1970-01-01 00:00:00 00000000] <6f4>: hello 42\r\n");
}

}  // namespace
}  // namespace veltraw
