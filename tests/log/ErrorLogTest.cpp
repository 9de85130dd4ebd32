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
using test::FixedLogEnvironment;

class ErrorLogTest : public ::testing::Test {
 protected:
  void SetUp() override { ErrorLog::instance().setEnvironment(&env); }
  void TearDown() override { ErrorLog::instance().setEnvironment(nullptr); }
  FixedLogEnvironment env;
};

TEST_F(ErrorLogTest, HeaderIsUtcDateTickAndThread) {
  CaptureSink sink(Trace, true);
  env.time = 1141567629;  // 2006-03-05 14:07:09 UTC
  env.tick = 1204823911;
  env.thread = 0x6f4;
  ErrorLog::instance().begin(Warning) << "Running Monitor Program: "
                                      << "notify.cmd" << End;
  env.tick = 300000000;  // a multiple of the modulus
  env.time = 951782400;  // 2000-02-29 00:00:00, a leap day
  ErrorLog::instance() << "x" << End;
  ASSERT_EQ(sink.lines.size(), 2u);
  EXPECT_EQ(sink.lines[0],
            "[2006-03-05 14:07:09 04823911] <6f4>: Running Monitor Program: notify.cmd");
  EXPECT_EQ(sink.lines[1], "[2000-02-29 00:00:00 00000000] <6f4>: x");
}

TEST_F(ErrorLogTest, SinksTakeOnlyEntriesAtOrAboveTheirLevel) {
  CaptureSink debug(Trace), file(Warning), details(Detail);
  ErrorLog& log = ErrorLog::instance();
  log.begin(Trace) << "one" << End;
  log.begin(Detail) << "two" << End;
  log << "three, level 2 without begin" << End;
  log.begin(Fatal) << "four" << End;
  EXPECT_EQ(debug.all(),
            "<6f4>: one\n<6f4>: two\n<6f4>: three, level 2 without begin\n<6f4>: four\n");
  EXPECT_EQ(details.all(), "<6f4>: two\n<6f4>: three, level 2 without begin\n<6f4>: four\n");
  EXPECT_EQ(file.all(), "<6f4>: four\n");
  EXPECT_EQ(debug.levels, (std::vector<int32_t>{Trace, Detail, Detail, Fatal}));
}

TEST_F(ErrorLogTest, BeginInsideAnOpenEntryWarnsAndContinuesTheLine) {
  CaptureSink at3(Warning), at5(Severe);
  ErrorLog& log = ErrorLog::instance();
  log.begin(Warning) << "A";
  log.begin(Severe) << "B" << End;
  // The line opened at level 3, so only the level-3 sink saw its start; the
  // level-5 sink takes the pieces written after the level rose.
  EXPECT_EQ(at3.all(), "<6f4>: A<WARNING:previous log not ended> B\n");
  EXPECT_EQ(at5.all(), "B\n");
  // The next entry is a fresh line at the default level.
  log.begin(Error) << "C" << End;
  EXPECT_EQ(at3.lines.back(), "<6f4>: C");
}

TEST_F(ErrorLogTest, EachTypeHasItsOwnText) {
  CaptureSink sink;
  ErrorLog& log = ErrorLog::instance();
  log << Hex << int32_t{-255} << " " << int32_t{0} << " " << int32_t{255} << End;
  log << int32_t{-255} << " " << int32_t{INT_MIN} << End;  // radix is back to 10
  log << Bin << int32_t{5} << " " << Oct << int32_t{64} << " " << Dec << int32_t{64} << End;
  log << uint32_t{255} << " " << static_cast<unsigned char>(0xAB) << " "
      << static_cast<unsigned long long>(4294967296ULL) << End;
  log << '\n' << '\t' << '\x7f' << static_cast<char>(0xE9) << 'a' << '\0' << End;
  log << true << " " << false << " " << std::string() << std::string("s") << End;
  ASSERT_EQ(sink.lines.size(), 6u);
  EXPECT_EQ(sink.lines[0], "<6f4>: -FF 0 FF");
  EXPECT_EQ(sink.lines[1], "<6f4>: -255 -2147483648");
  EXPECT_EQ(sink.lines[2], "<6f4>: 101 100 64");
  EXPECT_EQ(sink.lines[3], "<6f4>: 0x000000ff 0xab 4294967296");
  EXPECT_EQ(sink.lines[4],
            "<6f4>: \\x0a\\x09\x7f\xe9"
            "a\\x00");
  EXPECT_EQ(sink.lines[5], "<6f4>: true false s");
}

TEST_F(ErrorLogTest, LongPiecesPassWhole) {
  CaptureSink sink;
  const std::string big(100000, 'x');
  ErrorLog::instance() << big << big.c_str() << End;
  ASSERT_EQ(sink.lines.size(), 1u);
  EXPECT_EQ(sink.lines[0].size(), 7 + 2 * big.size());
}

TEST_F(ErrorLogTest, RemovedSinksGetNothingAndOthersKeepTheirOrder) {
  std::string order;
  struct Named : CaptureSink {
    Named(std::string& order, char name)
        : CaptureSink(Trace, false, Unregistered), order(order), name(name) {}
    void endEntry() override {
      order += name;
      CaptureSink::endEntry();
    }
    std::string& order;
    char name;
  };
  Named a(order, 'a'), b(order, 'b'), c(order, 'c');
  ErrorLog& log = ErrorLog::instance();
  log.addSink(&a);
  log.addSink(&b);
  log.addSink(&c);
  log.removeSink(&b);
  log.removeSink(&b);  // absent: nothing happens
  log << "x" << End;
  log.removeSink(&a);
  log.removeSink(&c);
  EXPECT_EQ(order, "ac");
  EXPECT_TRUE(b.lines.empty());
}

TEST_F(ErrorLogTest, EndWithoutAPieceReleasesOnlyWhatWasTaken) {
  CaptureSink sink;
  ErrorLog& log = ErrorLog::instance();
  log << End;  // nothing open at all
  log.begin(Warning) << End;
  log.begin(Warning);
  log.begin(Error) << End;  // two begins, no piece
  EXPECT_TRUE(sink.lines.empty());
  // Another thread must still be able to write: no hold was left behind.
  std::thread other([] { ErrorLog::instance() << "other" << End; });
  other.join();
  ASSERT_EQ(sink.lines.size(), 1u);
  EXPECT_EQ(sink.lines[0], "<6f4>: other");
}

TEST(ErrorLogConcurrency, LinesOfManyThreadsNeverInterleave) {
  CaptureSink sink;
  constexpr int kThreads = 8;
  constexpr int kEntries = 300;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kEntries; ++i) {
        // Levels differ per thread, so a level changed by another thread's
        // begin would show in the sink's level record.
        ErrorLog::instance().begin(t % 2 ? Warning : Detail)
            << "T" << int32_t{t} << " " << Hex << int32_t{i} << " " << Dec << int32_t{i} << " end"
            << End;
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
    int t = -1, i = -1, j = -1;
    char hex[16] = {};
    char tail[8] = {};
    ASSERT_EQ(std::sscanf(line.c_str() + body + 4, "%d %15s %d %7s", &t, hex, &j, tail), 4) << line;
    ASSERT_TRUE(t >= 0 && t < kThreads) << line;
    i = next[t]++;
    char expectedHex[16];
    std::snprintf(expectedHex, sizeof expectedHex, "%X", i);
    EXPECT_EQ(std::string(hex), expectedHex) << line;
    EXPECT_EQ(j, i) << line;
    EXPECT_EQ(std::string(tail), "end") << line;
    EXPECT_EQ(sink.levels[n], t % 2 ? Warning : Detail) << line;
  }
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST_F(ErrorLogTest, FileSinkAppendsAndFlushesEveryLine) {
  const std::string path = ::testing::TempDir() + "veltraw_log_test.txt";
  std::remove(path.c_str());
  { std::ofstream(path) << "earlier\n"; }
  FileLogSink sink(path, true);
  ErrorLog::instance().addSink(&sink);
  ErrorLog::instance().begin(Warning) << "first" << End;
  // On disk before the sink is closed. Text mode ends lines the platform's way.
  const std::string afterOne = readFile(path);
  EXPECT_NE(afterOne.find("earlier"), std::string::npos);
  EXPECT_NE(afterOne.find("<6f4>: first"), std::string::npos);
  EXPECT_EQ(afterOne.back(), '\n');
  ErrorLog::instance().removeSink(&sink);

  FileLogSink truncating(path, false);
  ErrorLog::instance().addSink(&truncating);
  ErrorLog::instance() << "second" << End;
  ErrorLog::instance().removeSink(&truncating);
  const std::string afterTruncate = readFile(path);
  EXPECT_EQ(afterTruncate.find("earlier"), std::string::npos);
  EXPECT_NE(afterTruncate.find("second"), std::string::npos);
  std::remove(path.c_str());
}

TEST(FileLogSink, UnopenableFileNamesThePath) {
  const std::string path = ::testing::TempDir() + "no/such/dir/log.txt";
  try {
    FileLogSink sink(path, true);
    FAIL() << "opened " << path;
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open log file for writing: " + path);
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
  ErrorLog::instance().addSink(&sink);
  env.time = 0;
  ErrorLog::instance().begin(Trace) << "hello " << int32_t{42} << End;
  ErrorLog::instance().removeSink(&sink);
  setDebuggerHook(nullptr);
  g_debugged = nullptr;
  EXPECT_EQ(seen, "[1970-01-01 00:00:00 00000000] <6f4>: hello 42\r\n");
}

}  // namespace
}  // namespace veltraw
