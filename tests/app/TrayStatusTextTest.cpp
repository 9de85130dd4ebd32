#include <gtest/gtest.h>

#include <string>

#include "app/TrayStatusText.h"
#include "sntp/NtpResult.h"
#include "support/ScratchKey.h"

namespace veltraw {
namespace {

TEST(TrayStatusTextTest, StatusPhrasesNameTheServer) {
  EXPECT_EQ(statusText(Ok, "ntp1", kNoOffsetShown), " using ntp1");
  EXPECT_EQ(statusText(NoResponse, "ntp1", 5), " no response received from ntp1");
  EXPECT_EQ(statusText(Failed, "ntp1", 5), " no response received from ntp1");
  EXPECT_EQ(statusText(BadReference, "ntp1", 5), " got bad time reference from ntp1");
  EXPECT_EQ(statusText(Requesting, "ntp1", 5), " requesting from ntp1");
  EXPECT_EQ(statusText(5, "ntp1", 5), "");
  EXPECT_EQ(statusText(-1, "ntp1", 5), "");
  EXPECT_EQ(statusText(Ok, "", 5), "");
}

TEST(TrayStatusTextTest, OffsetLineSaysWhichWayThePcIsOff) {
  EXPECT_EQ(statusText(Ok, "ntp1", -37), " using ntp1\rPC fast by 37 ms");
  EXPECT_EQ(statusText(Ok, "ntp1", 0), " using ntp1\rPC accurate to +/-1 ms");
  EXPECT_EQ(statusText(Ok, "ntp1", 12), " using ntp1\rPC slow by 12 ms");
  EXPECT_EQ(statusText(Ok, "n", -2147483647), " using n\rPC fast by 2147483647 ms");
  EXPECT_EQ(statusText(Ok, "n", 2147483647), " using n\rPC slow by 2147483647 ms");
}

TEST(TrayStatusTextTest, TipStartsWithTheProduct) {
  for (int32_t status : {Ok, NoResponse, BadReference, Failed, Requesting}) {
    EXPECT_EQ(trayTipText(status, "", 12), "Veltraw unconfigured");
  }
  EXPECT_EQ(trayTipText(Ok, "ntp1", kNoOffsetShown), "Veltraw using ntp1");
  EXPECT_EQ(trayTipText(Ok, "ntp1", -120), "Veltraw using ntp1\rPC fast by 120 ms");
  EXPECT_EQ(trayTipText(Requesting, "ntp1", -120), "Veltraw requesting from ntp1");
  EXPECT_EQ(fallbackTipText("ntp1", "ntp2", 12), "Bad ntp1; using ntp2\rPC slow by 12 ms");
}

TEST(TrayStatusTextTest, LongNamesGiveWaySoTheOffsetStaysVisible) {
  const std::string name(200, 'n');
  const std::string tip = trayTipText(Ok, name, -2147483647);
  EXPECT_EQ(tip.size(), kTrayTipMaxLength);
  EXPECT_EQ(tip.rfind("Veltraw using nnn", 0), 0u);
  EXPECT_NE(tip.find("...\rPC fast by 2147483647 ms"), std::string::npos) << tip;

  const std::string fallback = fallbackTipText(name, name + "x", 12);
  EXPECT_EQ(fallback.size(), kTrayTipMaxLength);
  EXPECT_NE(fallback.find("...; using "), std::string::npos) << fallback;
  EXPECT_NE(fallback.find("...\rPC slow by 12 ms"), std::string::npos) << fallback;

  // A name that just fits is left whole; a wider field takes longer names.
  const std::string fits(63 - 14, 'a');
  EXPECT_EQ(trayTipText(Ok, fits, kNoOffsetShown), "Veltraw using " + fits);
  EXPECT_EQ(trayTipText(Ok, fits + "b", kNoOffsetShown).size(), 63u);
  EXPECT_EQ(trayTipText(Ok, name, 0, 300), "Veltraw using " + name + "\rPC accurate to +/-1 ms");

  // Whatever the limit, the tip never exceeds it.
  for (size_t limit : {size_t{0}, size_t{5}, size_t{20}, size_t{127}}) {
    EXPECT_LE(trayTipText(NoResponse, name, 0, limit).size(), limit);
    EXPECT_LE(fallbackTipText(name, name, -5, limit).size(), limit);
  }
}

TEST(TrayStatusTextTest, SettingsNameTheServers) {
  test::ScratchKey scratch;
  auto settings = scratch.open();
  EXPECT_EQ(trayTipText(*settings, Ok, 3), "Veltraw unconfigured");
  EXPECT_EQ(statusText(*settings, Ok, 2, 3), "");
  settings->writeText("Server1", "ntp1");
  settings->writeText("Server2", "ntp2");
  EXPECT_EQ(trayTipText(*settings, BadReference, 3), "Veltraw got bad time reference from ntp1");
  EXPECT_EQ(statusText(*settings, Ok, 2, 3), " using ntp2\rPC slow by 3 ms");
  EXPECT_EQ(statusText(*settings, Ok, 3, 3), "");
}

}  // namespace
}  // namespace veltraw
