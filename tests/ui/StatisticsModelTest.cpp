// The statistics dialog's texts and chart drawing. The figures are worked out
// by hand for a row from x 10 to 878 with a 97-pixel name column and a 16-pixel
// font: latency chart at 107, 250 wide (slots of 20, bars of 15); delta chart
// at 377, 500 wide (slots of 21, bars of 15).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>

#include "app/AppTestSupport.h"
#include "app/ServerStats.h"
#include "ui/StatisticsModel.h"

namespace veltraw {
namespace {

using Kind = DrawOp::Kind;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::StartsWith;

std::string at(const Point& p) { return std::to_string(p.x) + "," + std::to_string(p.y); }

// One operation as figures. A text: its anchor, alignment (left, centre,
// right) and vertical anchor (top, baseline, bottom), then the text.
std::string describe(const DrawOp& op) {
  const char* pens[] = {"black", "gridA", "gridB", "bar"};
  const char* brushes[] = {"hollow", "front", "top", "side", "outlier"};
  const std::string ends = at(op.points[0]) + " " + at(op.points[1]);
  switch (op.kind) {
    case Kind::Line:
      return "line " + ends + " " + pens[static_cast<int>(op.pen)];
    case Kind::Rectangle:
      return "rect " + ends + " " + pens[static_cast<int>(op.pen)] + " " +
             brushes[static_cast<int>(op.brush)];
    case Kind::Polygon:
      return "poly " + ends + " " + at(op.points[2]) + " " + at(op.points[3]) + " " +
             brushes[static_cast<int>(op.brush)];
    case Kind::Text:
      return at(op.points[0]) + " " + "lcr"[static_cast<int>(op.align)] +
             "tsb"[static_cast<int>(op.anchor)] + " " + op.text;
  }
  return "?";
}

// The operations that pass, described and separated by "; ".
template <typename Filter>
std::string described(const DrawList& ops, Filter keep) {
  std::string text;
  for (const DrawOp& op : ops) {
    if (keep(op)) text += (text.empty() ? "" : "; ") + describe(op);
  }
  return text;
}
std::string described(const DrawList& ops) {
  return described(ops, [](const DrawOp&) { return true; });
}
std::string described(const DrawList& ops, Kind kind) {
  return described(ops, [kind](const DrawOp& op) { return op.kind == kind; });
}
// Bar fronts that rise above the chart's bottom.
std::string raisedBars(const DrawList& ops) {
  return described(ops, [](const DrawOp& op) {
    return op.kind == Kind::Rectangle && op.pen == PenKind::Bar && op.points[0].y != op.points[1].y;
  });
}
size_t countOf(const DrawList& ops, Kind kind) {
  return std::count_if(ops.begin(), ops.end(),
                       [kind](const DrawOp& op) { return op.kind == kind; });
}

constexpr ItemRect kHeaderRect{10, 0, 878, 48};
constexpr ItemRect kServerRect{10, 48, 878, 128};  // charts from y 53 to 107

class StatisticsItems : public ::testing::Test {
 protected:
  StatisticsItems() : stats(clock) {}
  void addServers() {
    stats.addServer("alpha");
    stats.addServer("ntp.example");  // the widest: 77 pixels
  }
  DrawList draw(int32_t item, const ItemRect& rect) {
    const TextMeasure font{16, [](const std::string& s) { return int32_t(7 * s.size()); }};
    return model.drawItem(stats, item, rect, font);
  }

  test::FakeClock clock;
  ServerStats stats;
  StatisticsModel model;
};

TEST_F(StatisticsItems, DriftLineNamesDirectionAndMagnitudeOnceThereIsData) {
  EXPECT_EQ(driftText(-5), "Losing 5 ms/day");
  EXPECT_EQ(driftText(0), "Gaining 0 ms/day");
  EXPECT_EQ(driftText(std::numeric_limits<int32_t>::min()), "Losing 2147483648 ms/day");

  addServers();
  stats.add(0, 0, 20, 3);
  EXPECT_FALSE(driftLine(stats).has_value());  // no time has passed
  clock.advanceMs(10000);
  EXPECT_EQ(driftLine(stats).value_or("none"), "Gaining 25920 ms/day");
}

TEST(StatisticsLayout, HeaderItemThenOneItemPerServer) {
  const std::vector<ListItem> items = statisticsListItems(2, 13);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].data, kHeaderItem);
  EXPECT_EQ(items[0].height, 42);
  EXPECT_EQ(items[2].data, 1);
  EXPECT_EQ(items[2].height, 80);
}

// Three values a slot of 20 apart; 0 falls on a short tick and is labelled.
TEST(StatisticsLayout, AxisTicksLabelsAndMarkers) {
  ChartLayout chart;
  chart.left = 40;
  chart.width = 100;
  chart.labelStep = 25;
  chart.belowSlot = chart.aboveSlot = true;
  DrawList ops;
  drawAxis(chart, Histogram(2, -25, 25), "T", 50, 10, ops);
  EXPECT_EQ(described(ops),
            "90,34 cb T; line 67,50 67,46 black; 67,46 cb -25; line 87,50 87,48 black; "
            "87,46 cb 0; line 107,50 107,46 black; 107,46 cb 25; line 67,50 108,50 black; "
            "40,46 lb <<; 141,46 rb >>");
}

TEST_F(StatisticsItems, HeaderMeasuresTheNamesAndLabelsBothAxes) {
  addServers();
  const DrawList ops = draw(kHeaderItem, kHeaderRect);
  EXPECT_EQ(model.nameColumnWidth(), 97);
  EXPECT_EQ(described(ops, Kind::Text),
            "10,46 lb Server; 232,25 cb Roundtrip latency (ms); 114,43 cb 0; 154,43 cb 100; "
            "194,43 cb 200; 234,43 cb 300; 274,43 cb 400; 314,43 cb 500; 348,43 rb >>; "
            "627,25 cb Delta from Primary Server (ms); 405,43 cb -250; 447,43 cb -200; "
            "489,43 cb -150; 531,43 cb -100; 573,43 cb -50; 615,43 cb 0; 657,43 cb 50; "
            "699,43 cb 100; 741,43 cb 150; 783,43 cb 200; 825,43 cb 250; 377,43 lb <<; "
            "861,43 rb >>");
  // The baselines, on the item's last row.
  const auto horizontal = [](const DrawOp& op) {
    return op.kind == Kind::Line && op.points[0].y == op.points[1].y;
  };
  EXPECT_EQ(described(ops, horizontal), "line 114,47 315,47 black; line 405,47 826,47 black");
  EXPECT_EQ(countOf(ops, Kind::Line), 11u + 1 + 21 + 1);
}

TEST_F(StatisticsItems, WithoutServersOnlyTheHint) {
  EXPECT_EQ(described(draw(kHeaderItem, kHeaderRect)),
            "10,46 lb No servers are configured.  Use Settings to configure a server.");
  EXPECT_TRUE(draw(0, kServerRect).empty());
}

// The primary's round trips 30, 30 and 120 ms; its deltas are always 0, in
// the delta chart's 12th slot. A secondary once below the delta range.
TEST_F(StatisticsItems, ServerChartsBarsAndLabelLines) {
  addServers();
  for (int32_t roundTrip : {30, 30, 120}) stats.add(0, 0, roundTrip);
  stats.add(1, -300, 40);
  const DrawList ops = draw(0, kServerRect);
  EXPECT_EQ(described(ops, Kind::Text),
            "10,88 ls alpha; 107,109 lt ave=60 std=42.4 max=120 min=30; "
            "377,109 lt ave=0 std=0.0 max=0 min=0; 877,109 rt n=3");
  EXPECT_EQ(raisedBars(ops),
            "rect 118,58 133,107 bar front; rect 158,83 173,107 bar front; "
            "rect 619,58 634,107 bar front");
  EXPECT_EQ(described(ops,
                      [](const DrawOp& op) {
                        return op.kind == Kind::Rectangle && op.brush == BrushKind::Hollow;
                      }),
            "rect 107,53 347,107 black hollow; rect 377,53 860,107 black hollow");

  EXPECT_EQ(raisedBars(draw(1, kServerRect)),
            "rect 118,58 133,107 bar front; rect 388,58 403,107 bar outlier");
}

// No samples, so the tallest counter is 0 too.
TEST_F(StatisticsItems, EmptyHistogramsShowFrameGridAndFlatBarsOnly) {
  addServers();
  const DrawList ops = draw(1, kServerRect);
  EXPECT_EQ(described(ops, Kind::Text), "10,88 ls ntp.example");
  EXPECT_EQ(raisedBars(ops), "");
  // Grid lines from the bins' first boundary, the delta chart's after its
  // below-range slot.
  const std::string grid = described(ops, Kind::Line);
  EXPECT_EQ(countOf(ops, Kind::Line), 11u + 21);
  EXPECT_THAT(grid, StartsWith("line 114,53 114,107 gridA; line 134,53 134,107 gridB; "));
  EXPECT_THAT(grid, HasSubstr("; line 314,53 314,107 gridA; line 405,53 405,107 gridA; "
                              "line 426,53 426,107 gridB; "));
  EXPECT_THAT(grid, EndsWith("; line 825,53 825,107 gridA"));
  EXPECT_EQ(countOf(ops, Kind::Rectangle), 2u + 11 + 22);
  EXPECT_EQ(countOf(ops, Kind::Polygon), 2 * (11u + 22));
}

// Items of servers removed while the dialog is open, and rows too narrow for
// a pixel per slot, which keep their texts only.
TEST_F(StatisticsItems, GoneServersAndNarrowRows) {
  addServers();
  for (int32_t item : {2, 7, -2}) EXPECT_TRUE(draw(item, kServerRect).empty()) << item;
  stats.add(0, 0, 30);
  for (int32_t right : {10, 130, 160}) {
    const DrawList header = draw(kHeaderItem, ItemRect{10, 0, right, 48});
    EXPECT_EQ(countOf(header, Kind::Text), header.size()) << right;
    const DrawList server = draw(0, ItemRect{10, 48, right, 128});
    EXPECT_EQ(countOf(server, Kind::Text), server.size()) << right;
  }
}

// The latency chart of a server item, with counters set directly.
DrawList latencyBars(const Histogram& histogram) {
  ChartLayout chart;
  chart.left = 107;
  chart.top = 5;
  chart.width = 250;
  chart.height = 54;
  chart.labelStep = 50;
  chart.aboveSlot = true;
  DrawList ops;
  drawBars(chart, histogram, ops);
  return ops;
}

TEST(StatisticsBars, BarsHaveThreeFaces) {
  Histogram histogram(10, 0, 500);
  histogram.bins[0] = 4;
  histogram.above = 2;
  histogram.tallest = 4;
  const DrawList ops = latencyBars(histogram);
  ASSERT_EQ(ops.size(), 1 + 11 + 3 * 11u);
  EXPECT_EQ(described(DrawList(ops.begin() + 12, ops.begin() + 15)),
            "rect 118,10 133,59 bar front; poly 118,10 122,6 137,6 133,10 top; "
            "poly 133,10 137,6 137,55 133,59 side");
  EXPECT_EQ(described(DrawList(ops.end() - 3, ops.end())),
            "rect 318,35 333,59 bar outlier; poly 318,35 322,31 337,31 333,35 outlier; "
            "poly 333,35 337,31 337,55 333,59 outlier");
}

TEST(StatisticsBars, HeightsHoldAtTheCountersExtremes) {
  Histogram histogram(10, 0, 500);
  histogram.bins[0] = std::numeric_limits<int32_t>::max();
  histogram.bins[1] = 1 << 30;
  histogram.bins[2] = 1;
  histogram.tallest = histogram.bins[0];
  EXPECT_EQ(raisedBars(latencyBars(histogram)),
            "rect 118,10 133,59 bar front; rect 138,35 153,59 bar front");
}

}  // namespace
}  // namespace veltraw
