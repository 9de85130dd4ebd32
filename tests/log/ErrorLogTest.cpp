#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "LIB/Log/ErrorLog.h"
#include "LIB/Log/LogSinks.h"
#include "support/CaptureSink.h"
#include "support/ScratchFile.h"

namespace veltraw {
namespace {

using test::CaptureSink;
using ::testing::ThrowsMessage;
using Lines = std::vector<std::string>;

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
  log.begin(Warning) << "Running "
                     << "notify.cmd" << End;
  env.tick = 300000000;  // a multiple of the modulus
  env.time = 951782400;  // 2000-02-29 00:00:00, a leap day
  env.thread = 0xabc;
  log << "x" << End;
  EXPECT_EQ(sink.all(),
            "[2006-03-05 14:07:09 04823911] <6f4>: Running notify.cmd\n"
            "[2000-02-29 00:00:00 00000000] <abc>: x\n");
}

// An entry without begin has level 2. A sink that never joined changes
// nothing as it is removed.
TEST_F(ErrorLogTest, SinksTakeOnlyEntriesAtOrAboveTheirLevel) {
  CaptureSink trace(Trace), detail(Detail), warning(Warning);
  CaptureSink never(Trace, false, CaptureSink::Unregistered);
  log.removeSink(&never);
  log.begin(Trace) << "one" << End;
  log << "two" << End;
  log.begin(Fatal) << "three" << End;
  EXPECT_EQ(trace.all(), "<6f4>: one\n<6f4>: two\n<6f4>: three\n");
  EXPECT_EQ(detail.all(), "<6f4>: two\n<6f4>: three\n");
  EXPECT_EQ(warning.all(), "<6f4>: three\n");
  EXPECT_EQ(trace.levels, (std::vector<int32_t>{Trace, Detail, Fatal}));
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
  EXPECT_EQ(sink.lines, (Lines{"<6f4>: -FF 0 FF", "<6f4>: -255 -2147483648", "<6f4>: 101 100 64",
                               "<6f4>: 0x000000ff 0xab 4294967296",
                               "<6f4>: \\x0a\\x09\x7f\xe9"
                               "a\\x00",
                               "<6f4>: true false s", "<6f4>: " + big + big}));
}

// Another thread must still be able to write: no hold is left behind.
TEST_F(ErrorLogTest, EndWithoutAPieceReleasesOnlyWhatWasTaken) {
  CaptureSink sink;
  log << End;  // nothing open at all
  log.begin(Warning) << End;
  log.begin(Warning);
  log.begin(Error) << End;  // two begins, no piece
  std::thread([] { ErrorLog::instance() << "other" << End; }).join();
  EXPECT_EQ(sink.all(), "<6f4>: other\n");
}

// Levels and radixes differ per thread, so that one changed by another
// thread's begin shows.
TEST_F(ErrorLogTest, LinesOfManyThreadsNeverInterleave) {
  CaptureSink sink;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 300; ++i) {
        ErrorLog::instance().begin(Detail + t % 2)
            << int32_t{t} << " " << (t % 2 ? Hex : Dec) << int32_t{i} << " " << int32_t{i} << End;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  std::vector<int> next(8, 0);
  for (size_t n = 0; n < sink.lines.size(); ++n) {
    const int t = (sink.lines[n][7] - '0') & 7, i = next[t]++;
    char expected[32];
    std::snprintf(expected, sizeof expected, t % 2 ? "<6f4>: %d %X %X" : "<6f4>: %d %d %d", t, i,
                  i);
    EXPECT_EQ(sink.lines[n], expected);
    EXPECT_EQ(sink.levels[n], Detail + t % 2) << expected;
  }
  EXPECT_EQ(next, std::vector<int>(8, 300));
}

TEST_F(ErrorLogTest, FileSinkWritesHeadedLinesFlushedAtOnce) {
  test::ScratchFile file("log");
  std::ofstream(file.path) << "earlier\n";
  for (bool append : {true, false}) {
    FileLogSink sink(file.path, append);
    log.addSink(&sink);
    log.begin(Warning) << "entry" << End;
    // On disk before the sink is closed. Text mode ends lines the platform's way.
    const std::string written = file.contents();
    log.removeSink(&sink);
    EXPECT_EQ(written.find("earlier") != std::string::npos, append);
    EXPECT_NE(written.find("[1970-01-01 00:00:00 00000000] <6f4>: entry"), std::string::npos);
    EXPECT_EQ(written.back(), '\n');
  }
  const std::string nowhere = ::testing::TempDir() + "no/such/dir/log.txt";
  EXPECT_THAT([&] { FileLogSink sink(nowhere, true); },
              ThrowsMessage<std::runtime_error>("Cannot open log file for writing: " + nowhere));
}

std::string g_debugged;
void collectDebugger(const char* text) { g_debugged += text; }

TEST_F(ErrorLogTest, DebugSinkSendsEachPieceAndTheLineEnd) {
  setDebuggerHook(&collectDebugger);
  DebugLogSink sink;
  sink.level = Trace;
  log.addSink(&sink);
  log.begin(Trace) << "hello " << int32_t{42} << End;
  log.removeSink(&sink);
  setDebuggerHook(nullptr);
  EXPECT_EQ(g_debugged, "[1970-01-01 00:00:00 00000000] <6f4>: hello 42\r\n");
}

}  // namespace
}  // namespace veltraw
