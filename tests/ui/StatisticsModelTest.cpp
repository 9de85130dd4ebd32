// The statistics dialog's texts and chart drawing. The figures are worked out
// by hand for a row from x 10 to 878 with a 97-pixel name column and a 16-pixel
// font: latency chart at 107, 250 wide (slots of 20, bars of 15); delta chart
// at 377, 500 wide (slots of 21, bars of 15).
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "app/AppTestSupport.h"
#include "app/ServerStats.h"
#include "ui/StatisticsModel.h"

namespace veltraw {
namespace {

using Kind = DrawOp::Kind;

std::string at(const Point& p) { return std::to_string(p.x) + "," + std::to_string(p.y); }

// One operation as figures: kind, points, pen and brush; a text as its anchor,
// alignment (left, centre, right), vertical anchor (top, baseline, bottom)
// and the text.
std::string describe(const DrawOp& op) {
  if (op.kind == Kind::Text) {
    return at(op.points[0]) + " " + "lcr"[int(op.align)] + "tsb"[int(op.anchor)] + " " + op.text;
  }
  const char* kinds[] = {"line", "rect", "poly"};
  const char* pens[] = {" black", " gridA", " gridB", " bar"};
  const char* brushes[] = {" hollow", " front", " top", " side", " outlier"};
  std::string text = kinds[int(op.kind)];
  for (int i = 0; i < (op.kind == Kind::Polygon ? 4 : 2); ++i) text += " " + at(op.points[i]);
  return text + (op.kind == Kind::Polygon ? "" : pens[int(op.pen)]) +
         (op.kind == Kind::Line ? "" : brushes[int(op.brush)]);
}

// The operations that pass keep, described and separated by "; ".
std::string described(const DrawList& ops, bool (*keep)(const DrawOp&) = nullptr) {
  std::string text;
  for (const DrawOp& op : ops) {
    if (!keep || keep(op)) text += (text.empty() ? "" : "; ") + describe(op);
  }
  return text;
}
bool isText(const DrawOp& op) { return op.kind == Kind::Text; }
// Bar fronts that rise above the chart's bottom.
bool raisedBar(const DrawOp& op) {
  return op.kind == Kind::Rectangle && op.pen == PenKind::Bar && op.points[0].y != op.points[1].y;
}

constexpr ItemRect kHeaderRect{10, 0, 878, 48};
constexpr ItemRect kServerRect{10, 48, 878, 128};  // charts from y 53 to 107

// Servers "ntp.example", the widest name at 77 pixels, and "alpha".
class StatisticsItems : public ::testing::Test {
 protected:
  StatisticsItems() : stats(clock) {
    stats.addServer("ntp.example");
    stats.addServer("alpha");
  }
  DrawList draw(int32_t item, const ItemRect& rect) {
    const TextMeasure font{16, [](const std::string& s) { return int32_t(7 * s.size()); }};
    return model.drawItem(stats, item, rect, font);
  }

  test::FakeClock clock;
  ServerStats stats;
  StatisticsModel model;
};

TEST_F(StatisticsItems, DriftLineAndListItems) {
  EXPECT_EQ(driftText(-5), "Losing 5 ms/day");
  EXPECT_EQ(driftText(0), "Gaining 0 ms/day");
  EXPECT_EQ(driftText(std::numeric_limits<int32_t>::min()), "Losing 2147483648 ms/day");
  stats.add(0, 0, 20, 3);
  EXPECT_FALSE(driftLine(stats).has_value());  // no time has passed
  clock.advanceMs(10000);
  stats.add(0, 0, 20, 3);
  EXPECT_EQ(driftLine(stats).value_or("none"), "Gaining 25920 ms/day");

  std::string items;  // data:height, the header's from a 13-pixel font
  for (const ListItem& item : statisticsListItems(2, 13)) {
    items += std::to_string(item.data) + ":" + std::to_string(item.height) + " ";
  }
  EXPECT_EQ(items, "-1:42 0:80 1:80 ");
}

// Two bins of 25 ms and both outlier slots in 100 pixels: slots of 20, bars
// of 15, room for 15 pixels of bar. The grid lines stand on the ticks; 0
// falls on a short tick and is labelled all the same. Counters near 2^31
// give heights without overflow.
TEST(StatisticsLayout, SmallChartAxisGridAndBars) {
  const ChartLayout chart{40, 0, 100, 20, 25, true, true};
  Histogram histogram(2, -25, 25);
  DrawList ops;
  drawAxis(chart, histogram, "T", 50, 10, ops);
  EXPECT_EQ(described(ops),
            "90,34 cb T; line 67,50 67,46 black; 67,46 cb -25; line 87,50 87,48 black; "
            "87,46 cb 0; line 107,50 107,46 black; 107,46 cb 25; line 67,50 108,50 black; "
            "40,46 lb <<; 141,46 rb >>");

  histogram.below = histogram.tallest = std::numeric_limits<int32_t>::max();
  histogram.bins[0] = histogram.above = 1 << 30;
  histogram.bins[1] = 1;
  ops.clear();
  drawBars(chart, histogram, ops);
  ASSERT_EQ(ops.size(), 1 + 3 + 3 * 4u);
  EXPECT_EQ(described(DrawList(ops.begin(), ops.begin() + 10)),
            "rect 40,0 140,20 black hollow; line 67,0 67,20 gridA; line 87,0 87,20 gridB; "
            "line 107,0 107,20 gridA; rect 51,5 66,20 bar outlier; "
            "poly 51,5 55,1 70,1 66,5 outlier; poly 66,5 70,1 70,16 66,20 outlier; "
            "rect 71,13 86,20 bar front; poly 71,13 75,9 90,9 86,13 top; "
            "poly 86,13 90,9 90,16 86,20 side");
  EXPECT_EQ(
      described(ops, raisedBar),
      "rect 51,5 66,20 bar outlier; rect 71,13 86,20 bar front; rect 111,13 126,20 bar outlier");
}

TEST_F(StatisticsItems, HeaderMeasuresTheNamesAndLabelsBothAxes) {
  const DrawList ops = draw(kHeaderItem, kHeaderRect);
  EXPECT_EQ(model.nameColumnWidth(), 97);
  EXPECT_EQ(described(ops, isText),
            "10,46 lb Server; 232,25 cb Roundtrip latency (ms); 114,43 cb 0; 154,43 cb 100; "
            "194,43 cb 200; 234,43 cb 300; 274,43 cb 400; 314,43 cb 500; 348,43 rb >>; "
            "627,25 cb Delta from Primary Server (ms); 405,43 cb -250; 447,43 cb -200; "
            "489,43 cb -150; 531,43 cb -100; 573,43 cb -50; 615,43 cb 0; 657,43 cb 50; "
            "699,43 cb 100; 741,43 cb 150; 783,43 cb 200; 825,43 cb 250; 377,43 lb <<; "
            "861,43 rb >>");
}

// Texts only where there is nothing to chart: items of servers removed while
// the dialog is open, rows too narrow for a pixel per slot, no servers.
TEST_F(StatisticsItems, OnlyTextsWhereThereIsNothingToChart) {
  const auto drawing = [](const DrawOp& op) { return op.kind != Kind::Text; };
  for (int32_t item : {2, 7, -2}) EXPECT_EQ(described(draw(item, kServerRect)), "") << item;
  stats.add(0, 0, 30);
  for (int32_t right : {10, 130, 160}) {
    for (int32_t item : {kHeaderItem, 0}) {
      const ItemRect rect{10, 48 * (item + 1), right, 48 * (item + 1) + 80};
      EXPECT_EQ(described(draw(item, rect), drawing), "") << right << " " << item;
    }
  }
  stats.clear();
  EXPECT_EQ(described(draw(kHeaderItem, kHeaderRect)),
            "10,46 lb No servers are configured.  Use Settings to configure a server.");
  stats.addServer("one");  // one server is enough for the axes
  EXPECT_EQ(described(draw(kHeaderItem, kHeaderRect), isText).substr(0, 15), "10,46 lb Server");
}

// Without samples (so the tallest counter is 0 too) a chart has its frame,
// grid and flat bars, and no label line. Then the primary's round trips 30,
// 30 and 120 ms, its deltas always 0, in the delta chart's 12th slot; and a
// secondary once below the delta range.
TEST_F(StatisticsItems, ServerChartsBarsAndLabelLines) {
  DrawList ops = draw(0, kServerRect);
  EXPECT_EQ(described(ops, isText), "10,88 ls ntp.example");
  EXPECT_EQ(described(ops, raisedBar), "");

  for (int32_t roundTrip : {30, 30, 120}) stats.add(0, 0, roundTrip);
  stats.add(1, -300, 40);
  ops = draw(0, kServerRect);
  EXPECT_EQ(described(ops, isText),
            "10,88 ls ntp.example; 107,109 lt ave=60 std=42.4 max=120 min=30; "
            "377,109 lt ave=0 std=0.0 max=0 min=0; 877,109 rt n=3");
  EXPECT_EQ(described(ops, raisedBar),
            "rect 118,58 133,107 bar front; rect 158,83 173,107 bar front; "
            "rect 619,58 634,107 bar front");
  EXPECT_EQ(described(draw(1, kServerRect), raisedBar),
            "rect 118,58 133,107 bar front; rect 388,58 403,107 bar outlier");
}

}  // namespace
}  // namespace veltraw
