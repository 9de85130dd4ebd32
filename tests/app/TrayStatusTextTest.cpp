#include <gtest/gtest.h>

#include <string>

#include "app/TrayStatusText.h"
#include "sntp/NtpResult.h"
#include "support/ScratchKey.h"

namespace veltraw {
namespace {

TEST(TrayStatusTextTest, StatusAndOffsetPhrasesNameTheServer) {
  const struct {
    int32_t status;
    const char* name;
    int32_t offset;
    const char* text;
  } cases[] = {
      {Ok, "ntp1", kNoOffsetShown, " using ntp1"},
      {NoResponse, "ntp1", 5, " no response received from ntp1"},
      {5, "ntp1", 5, ""},
      {Ok, "", 5, ""},
      {Ok, "ntp1", 0, " using ntp1\rPC accurate to +/-1 ms"},
      {Ok, "n", -2147483647, " using n\rPC fast by 2147483647 ms"},
  };
  // Every other status's phrase shows in the core's tooltip tests.
  for (const auto& c : cases) EXPECT_EQ(statusText(c.status, c.name, c.offset), c.text);

  EXPECT_EQ(trayTipText(NoResponse, "", 12), "Veltraw unconfigured");
  EXPECT_EQ(trayTipText(Requesting, "ntp1", -120), "Veltraw requesting from ntp1");
  EXPECT_EQ(fallbackTipText("ntp1", "ntp2", 12), "Bad ntp1; using ntp2\rPC slow by 12 ms");
  EXPECT_EQ(uncorrectedTipText("", 12), "Veltraw unconfigured");  // nothing to mark
}

TEST(TrayStatusTextTest, LongNamesGiveWaySoTheOffsetStaysVisible) {
  const std::string name(200, 'n');
  const std::string tip = trayTipText(Ok, name, -2147483647);
  EXPECT_EQ(tip, "Veltraw using " + std::string(21, 'n') + "...\rPC fast by 2147483647 ms");
  EXPECT_EQ(fallbackTipText(name, name + "x", 12), "Bad " + std::string(14, 'n') + "...; using " +
                                                       std::string(14, 'n') +
                                                       "...\rPC slow by 12 ms");
  // Only the name gives way, down to its shortest form.
  EXPECT_EQ(trayTipText(NoResponse, name, 0, 40), "Veltraw no response received from nnn...");
  // A name that just fits is left whole; a wider field takes longer names.
  const std::string fits(63 - 14, 'a');
  EXPECT_EQ(trayTipText(Ok, fits, kNoOffsetShown), "Veltraw using " + fits);
  EXPECT_EQ(trayTipText(Ok, fits + "b", kNoOffsetShown).size(), 63u);
  EXPECT_EQ(trayTipText(Ok, name, 0, 300), "Veltraw using " + name + "\rPC accurate to +/-1 ms");
  // Whatever the limit, the tip never exceeds it.
  for (size_t limit : {size_t{0}, size_t{5}, size_t{20}}) {
    EXPECT_LE(trayTipText(NoResponse, name, 0, limit).size(), limit);
  }
}

TEST(TrayStatusTextTest, SettingsNameTheServers) {
  test::ScratchKey scratch;
  auto settings = scratch.open();
  EXPECT_EQ(trayTipText(*settings, Ok, 3), "Veltraw unconfigured");
  settings->writeText("Server1", "ntp1");
  settings->writeText("Server2", "ntp2");
  EXPECT_EQ(trayTipText(*settings, BadReference, 3), "Veltraw got bad time reference from ntp1");
  EXPECT_EQ(statusText(*settings, Ok, 2, 3), " using ntp2\rPC slow by 3 ms");
  EXPECT_EQ(statusText(*settings, Ok, 3, 3), "");
}

}  // namespace
}  // namespace veltraw
