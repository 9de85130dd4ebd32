#include <gtest/gtest.h>

#include "LIB/Net/InterfaceList.h"

namespace veltraw {
namespace {

TEST(ListInterfaces, ShowsTheLoopbackAsUp) {
  std::vector<NetworkInterface> interfaces;
  std::string errorText;
  ASSERT_TRUE(ListInterfaces(interfaces, errorText)) << errorText;
  int loopbacks = 0;
  for (const NetworkInterface& entry : interfaces) {
    EXPECT_NE(DottedAddress(entry.address), "0.0.0.0") << "an entry without an IPv4 address";
    if (DottedAddress(entry.address) != "127.0.0.1") continue;
    loopbacks += DottedAddress(entry.netmask) == "255.0.0.0" && entry.up;
  }
  EXPECT_EQ(loopbacks, 1);
}

// A system that needs room for `needed` bytes (0: it fails outright), as
// WinSock's listing does: too small a buffer fails as a whole.
TEST(ListIntoGrowingBuffer, AsksAgainWithMoreRoomUpToItsBound) {
  struct Case {
    size_t needed;
    ListingAttempt outcome;
    std::vector<size_t> tried;
  } cases[] = {
      {8 * 76, ListingAttempt::Done, {380, 760}},
      {3000, ListingAttempt::Done, {380, 760, 1520, 3000}},  // the last try has the bound
      {3001, ListingAttempt::BufferTooSmall, {380, 760, 1520, 3000}},
      {0, ListingAttempt::Failed, {380}},
  };
  for (const Case& c : cases) {
    std::vector<size_t> tried;
    std::vector<uint8_t> buffer;
    const ListingAttempt outcome =
        ListIntoGrowingBuffer(buffer, 380, 3000, [&](std::vector<uint8_t>& space, size_t& used) {
          tried.push_back(space.size());
          if (c.needed == 0) return ListingAttempt::Failed;
          if (space.size() < c.needed) return ListingAttempt::BufferTooSmall;
          used = c.needed;
          return ListingAttempt::Done;
        });
    EXPECT_EQ(outcome, c.outcome) << c.needed;
    EXPECT_EQ(tried, c.tried) << c.needed;
    EXPECT_EQ(buffer.size(), outcome == ListingAttempt::Done ? c.needed : 0u);
  }
}

}  // namespace
}  // namespace veltraw
