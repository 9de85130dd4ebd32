#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "AppTestSupport.h"
#include "app/ServerDataFile.h"

namespace veltraw {
namespace {

using test::CaptureSink;
using test::ScratchFile;

class FixedEnvironment : public LogEnvironment {
 public:
  std::time_t now() override { return 1796515894; }  // Sun Dec  6 00:11:34 2026
  uint32_t tickCount() override { return 4000000000u; }
  unsigned long threadId() override { return 1; }
};

void putTimestamp(NtpPacket& packet, int offset, uint32_t seconds, uint32_t fraction) {
  NtpTimestamp::Make(seconds, fraction).WriteWire(packet.bytes + offset);
}

NtpResult resultFrom(const std::string& host) {
  NtpResult result;
  result.host = host;
  result.status = Ok;
  result.offsetMs = -120;
  result.roundTripMs = 30;
  result.hasPacket = true;
  result.packet.bytes[3] = 0xEC;  // precision -20
  putTimestamp(result.packet, NtpPacket::kOriginateTimestampOffset, 0xD1234567, 0x80000000);
  putTimestamp(result.packet, NtpPacket::kReceiveTimestampOffset, 0xD1234568, 0x00000001);
  putTimestamp(result.packet, NtpPacket::kTransmitTimestampOffset, 0xFFFFFFFF, 0xFFFFFFFF);
  return result;
}

// Line ends as read back in binary: the platform's text mode may add '\r'.
std::vector<std::string> linesOf(std::string text) {
  std::string clean;
  for (char c : text) {
    if (c != '\r') clean += c;
  }
  std::vector<std::string> lines;
  std::istringstream in(clean);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  if (!clean.empty()) {
    EXPECT_EQ(clean.back(), '\n') << "last line unfinished";
  }
  return lines;
}

const std::string kHeaderLine =
    std::string(ServerDataFile::kHeader, 0, std::string(ServerDataFile::kHeader).size() - 1);

TEST(ServerDataFileTest, RowCarriesEveryColumnOfTheReply) {
  EXPECT_EQ(ServerDataFile::formatRow(resultFrom("ntp1"), 1796515894, 4000000000u),
            "Sun Dec  6 00:11:34 2026,4000000000,ntp1,-20,30,-120,"
            "0.00000000,3508749671.50000000,3508749672.00000000,4294967296.00000000,"
            "0.00000000,d1234567.80000000,d1234568.00000001,ffffffff.ffffffff");
}

// A name with a comma, a quote or a line break is quoted as CSV readers
// expect, so that it stays one field of one row; others are written bare.
TEST(ServerDataFileTest, ServerNameStaysOneFieldOfOneRow) {
  const struct {
    std::string host;
    std::string column;
  } cases[] = {
      {"srv,one\nfake,row", "\"srv,one\nfake,row\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"a\rb", "\"a\rb\""},
      {"ntp1.example.org", "ntp1.example.org"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ServerDataFile::formatRow(resultFrom(c.host), 1796515894, 4000000000u),
              "Sun Dec  6 00:11:34 2026,4000000000," + c.column +
                  ",-20,30,-120,0.00000000,3508749671.50000000,3508749672.00000000,"
                  "4294967296.00000000,0.00000000,d1234567.80000000,d1234568.00000001,"
                  "ffffffff.ffffffff");
  }
}

TEST(ServerDataFileTest, DateColumnMatchesTheRuntimeLibrary) {
  EXPECT_EQ(ServerDataFile::asctimeText(1709251199), "Thu Feb 29 23:59:59 2024");
  EXPECT_EQ(ServerDataFile::asctimeText(0), "Thu Jan  1 00:00:00 1970");
  // The C standard's asctime form over the runtime's own broken-down time
  // (the Windows runtime pads the day with a zero; the column keeps a blank).
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (std::time_t t = 0; t < std::time_t{4102444800}; t += 7777777) {
    const std::tm* parts = std::gmtime(&t);
    ASSERT_NE(parts, nullptr);
    char expected[64];
    std::snprintf(expected, sizeof expected, "%.3s %.3s%3d %.2d:%.2d:%.2d %d",
                  kDays[parts->tm_wday], kMonths[parts->tm_mon], parts->tm_mday, parts->tm_hour,
                  parts->tm_min, parts->tm_sec, 1900 + parts->tm_year);
    ASSERT_EQ(ServerDataFile::asctimeText(t), expected) << t;
  }
}

TEST(ServerDataFileTest, EveryOpenStartsAgainWithTheHeader) {
  ScratchFile scratch("rows");
  FixedEnvironment environment;
  ServerDataFile file(environment);
  ASSERT_TRUE(file.open(scratch.path));
  EXPECT_EQ(linesOf(scratch.contents()), std::vector<std::string>{kHeaderLine});

  file.writeRow(resultFrom("ntp1"));
  NtpResult timeout;
  timeout.host = "ntp2";
  timeout.status = NoResponse;
  file.writeRow(timeout);  // no packet, no row
  file.writeRow(resultFrom("ntp3"));
  // Flushed at once: readable while the file is still open.
  std::vector<std::string> lines = linesOf(scratch.contents());
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], ServerDataFile::formatRow(resultFrom("ntp1"), 1796515894, 4000000000u));
  EXPECT_EQ(lines[2].substr(0, 41), "Sun Dec  6 00:11:34 2026,4000000000,ntp3,");

  ASSERT_TRUE(file.open(scratch.path));
  EXPECT_EQ(linesOf(scratch.contents()), std::vector<std::string>{kHeaderLine});

  file.close();
  EXPECT_FALSE(file.isOpen());
  file.writeRow(resultFrom("ntp1"));
  EXPECT_EQ(linesOf(scratch.contents()), std::vector<std::string>{kHeaderLine});
}

TEST(ServerDataFileTest, FileThatCannotBeOpenedIsLoggedAndWritesNothing) {
  ScratchFile scratch("first");
  FixedEnvironment environment;
  ServerDataFile file(environment);
  ASSERT_TRUE(file.open(scratch.path));

  CaptureSink log;
  const std::string path = "veltraw-no-such-directory/data.csv";
  EXPECT_FALSE(file.open(path));
  EXPECT_EQ(log.levelOf("Unable to open data file " + path), Warning);
  EXPECT_FALSE(file.isOpen());
  file.writeRow(resultFrom("ntp1"));
  // The earlier file was closed, not written on.
  EXPECT_EQ(linesOf(scratch.contents()), std::vector<std::string>{kHeaderLine});
}

TEST(ServerDataFileTest, ConcurrentWritersEachWriteWholeRows) {
  ScratchFile scratch("concurrent");
  FixedEnvironment environment;
  ServerDataFile file(environment);
  ASSERT_TRUE(file.open(scratch.path));

  constexpr int kThreads = 6;
  constexpr int kRows = 150;
  std::set<std::string> expected;
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    // Long, different hosts make a torn row show.
    const std::string host = "server-" + std::to_string(t) + std::string(200, 'a' + t);
    expected.insert(ServerDataFile::formatRow(resultFrom(host), 1796515894, 4000000000u));
    writers.emplace_back([&file, host] {
      for (int i = 0; i < kRows; ++i) file.writeRow(resultFrom(host));
    });
  }
  for (std::thread& writer : writers) writer.join();

  const std::vector<std::string> lines = linesOf(scratch.contents());
  ASSERT_EQ(lines.size(), 1u + kThreads * kRows);
  EXPECT_EQ(lines[0], kHeaderLine);
  for (size_t i = 1; i < lines.size(); ++i) {
    ASSERT_EQ(expected.count(lines[i]), 1u) << "line " << i << ": " << lines[i];
  }
}

TEST(ServerDataFileTest, ReopeningWhileRowsArriveIsSafe) {
  ScratchFile scratch("reopen");
  FixedEnvironment environment;
  ServerDataFile file(environment);
  ASSERT_TRUE(file.open(scratch.path));
  const std::string row = ServerDataFile::formatRow(resultFrom("ntp1"), 1796515894, 4000000000u);

  std::atomic<bool> stop{false};
  std::vector<std::thread> writers;
  for (int t = 0; t < 3; ++t) {
    writers.emplace_back([&] {
      while (!stop.load()) file.writeRow(resultFrom("ntp1"));
    });
  }
  for (int i = 0; i < 50; ++i) {
    if (i % 5 == 4) {
      file.close();
    } else {
      file.open(scratch.path);
    }
  }
  ASSERT_TRUE(file.open(scratch.path));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  stop = true;
  for (std::thread& writer : writers) writer.join();

  const std::vector<std::string> lines = linesOf(scratch.contents());
  ASSERT_GE(lines.size(), 1u);
  EXPECT_EQ(lines[0], kHeaderLine);
  for (size_t i = 1; i < lines.size(); ++i) ASSERT_EQ(lines[i], row) << "line " << i;
}

}  // namespace
}  // namespace veltraw
