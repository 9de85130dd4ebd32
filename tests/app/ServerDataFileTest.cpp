#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "AppTestSupport.h"
#include "app/ServerDataFile.h"

namespace veltraw {
namespace {

using test::ScratchFile;

// The rows' time: Sun Dec  6 00:11:34 2026, tick 4000000000.
struct RowEnvironment : test::FixedLogEnvironment {
  RowEnvironment() { time = 1796515894, tick = 4000000000u; }
};

NtpResult resultFrom(const std::string& host) {
  NtpResult result;
  result.host = host;
  result.status = Ok;
  result.offsetMs = -120;
  result.roundTripMs = 30;
  result.hasPacket = true;
  result.packet.bytes[3] = 0xEC;  // precision -20
  NtpTimestamp::Make(0xD1234567, 0x80000000)
      .WriteWire(result.packet.bytes + NtpPacket::kOriginateTimestampOffset);
  NtpTimestamp::Make(0xD1234568, 1)
      .WriteWire(result.packet.bytes + NtpPacket::kReceiveTimestampOffset);
  NtpTimestamp::Make(~0u, ~0u).WriteWire(result.packet.bytes + NtpPacket::kTransmitTimestampOffset);
  return result;
}

const std::string kHeaderLine =
    "GMT Time,GetTickCount (ms),Server,Precision (2^x s),Round-trip Latency (ms),Time Offset (ms),"
    "Reference (dec),Originate (dec),Receive (dec),Transmit (dec),Reference (hex),Originate (hex),"
    "Receive (hex),Transmit (hex)";

std::string rowOf(const std::string& host) {
  return ServerDataFile::formatRow(resultFrom(host), 1796515894, 4000000000u);
}

// The lines as read back in binary (the platform's text mode may add '\r'),
// the header first.
std::vector<std::string> linesOf(const ScratchFile& file) {
  std::string text = file.contents();
  EXPECT_TRUE(text.empty() || text.back() == '\n') << "last line unfinished";
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  if (!lines.empty()) {
    EXPECT_EQ(lines[0], kHeaderLine);
  }
  return lines;
}

// Every column of the reply; a name with a comma, a quote or a line break is
// quoted as CSV readers expect, so that it stays one field of one row.
TEST(ServerDataFileTest, RowCarriesEveryColumnAndTheNameAsOneField) {
  const std::pair<std::string, std::string> names[] = {
      {"ntp1", "ntp1"},
      {"srv,one\nfake,row", "\"srv,one\nfake,row\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"a\rb", "\"a\rb\""},
  };
  for (const auto& [host, column] : names) {
    EXPECT_EQ(rowOf(host), "Sun Dec  6 00:11:34 2026,4000000000," + column +
                               ",-20,30,-120,0.00000000,3508749671.50000000,3508749672.00000000,"
                               "4294967296.00000000,0.00000000,d1234567.80000000,"
                               "d1234568.00000001,ffffffff.ffffffff");
  }
  EXPECT_EQ(ServerDataFile::asctimeText(1709251199), "Thu Feb 29 23:59:59 2024");
  EXPECT_EQ(ServerDataFile::asctimeText(0), "Thu Jan  1 00:00:00 1970");
}

TEST(ServerDataFileTest, EveryOpenStartsAgainWithTheHeader) {
  ScratchFile scratch("rows");
  RowEnvironment environment;
  ServerDataFile file(environment);
  ASSERT_TRUE(file.open(scratch.path));
  file.writeRow(resultFrom("ntp1"));
  NtpResult timeout;
  timeout.status = NoResponse;
  file.writeRow(timeout);  // no packet, no row
  // Flushed at once: readable while the file is still open.
  EXPECT_EQ(linesOf(scratch), (std::vector<std::string>{kHeaderLine, rowOf("ntp1")}));

  ASSERT_TRUE(file.open(scratch.path));
  EXPECT_EQ(linesOf(scratch).size(), 1u);
  // A file that cannot be opened is logged; the earlier one is closed, not
  // written on.
  test::CaptureSink log;
  EXPECT_FALSE(file.open("veltraw-no-such-directory/data.csv"));
  EXPECT_EQ(log.levelOf("Unable to open data file veltraw-no-such-directory/data.csv"), Warning);
  EXPECT_FALSE(file.isOpen());
  file.writeRow(resultFrom("ntp1"));
  EXPECT_EQ(linesOf(scratch).size(), 1u);
}

// Rows from many threads while the file is closed and opened again: every
// line is the header or a whole row (long, different names make a torn one
// show), and rows written to an open file are all there.
TEST(ServerDataFileTest, ConcurrentWritersAndReopeningKeepRowsWhole) {
  ScratchFile scratch("concurrent");
  RowEnvironment environment;
  ServerDataFile file(environment);
  constexpr int kThreads = 6, kRows = 150;
  std::set<std::string> rows;
  std::vector<std::string> hosts;
  for (int t = 0; t < kThreads; ++t) {
    hosts.push_back("server-" + std::to_string(t) + std::string(200, 'a' + t));
    rows.insert(rowOf(hosts.back()));
  }
  for (const bool reopening : {false, true}) {
    ASSERT_TRUE(file.open(scratch.path));
    std::atomic<int> finished{0};
    std::vector<std::thread> writers;
    for (const std::string& host : hosts) {
      writers.emplace_back([&, host] {
        for (int i = 0; i < kRows; ++i) file.writeRow(resultFrom(host));
        ++finished;
      });
    }
    for (int i = 0; reopening && finished < kThreads; ++i) {
      if (i % 5 == 4) file.close();
      file.open(scratch.path);
    }
    for (std::thread& writer : writers) writer.join();
    const std::vector<std::string> lines = linesOf(scratch);
    if (!reopening) {
      EXPECT_EQ(lines.size(), 1u + kThreads * kRows);
    }
    for (size_t i = 1; i < lines.size(); ++i) ASSERT_EQ(rows.count(lines[i]), 1u) << lines[i];
  }
}

}  // namespace
}  // namespace veltraw
