#include "ui/StatisticsModel.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <utility>

#include "app/ServerStats.h"

namespace veltraw {

namespace {

constexpr int32_t kServerItemHeight = 80;
constexpr int32_t kNameGap = 20;     // between the name column and the first chart
constexpr int32_t kChartGap = 20;    // between the two charts
constexpr int32_t kChartInset = 5;   // from a server item's top to its charts
constexpr int32_t kChartBlock = 70;  // a chart and its label line
constexpr int32_t kBarHeadroom = 5;  // the tallest bar stays this far below the top
constexpr int32_t kDepth = 4;        // how far the top and side faces recede
constexpr int32_t kLongTick = 4;
constexpr int32_t kShortTick = 2;
constexpr int32_t kLatencyStepMs = 50;
constexpr int32_t kDeltaStepMs = 25;

const char kNoServersText[] = "No servers are configured.  Use Settings to configure a server.";
const char kServerColumnTitle[] = "Server";
const char kLatencyTitle[] = "Roundtrip latency (ms)";
const char kDeltaTitle[] = "Delta from Primary Server (ms)";

// Geometry is worked out in 64 bits and only the results narrowed, so that no
// row width or text extent can wrap a coordinate.
int32_t narrow(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

Point at(int64_t x, int64_t y) { return Point{narrow(x), narrow(y)}; }

void addLine(DrawList& out, Point from, Point to, PenKind pen = PenKind::Black) {
  DrawOp op;
  op.kind = DrawOp::Kind::Line;
  op.points[0] = from;
  op.points[1] = to;
  op.pen = pen;
  out.push_back(op);
}

void addRectangle(DrawList& out, Point leftTop, Point rightBottom, PenKind pen, BrushKind brush) {
  DrawOp op;
  op.kind = DrawOp::Kind::Rectangle;
  op.points[0] = leftTop;
  op.points[1] = rightBottom;
  op.pen = pen;
  op.brush = brush;
  out.push_back(op);
}

void addPolygon(DrawList& out, const std::array<Point, 4>& corners, BrushKind brush) {
  DrawOp op;
  op.kind = DrawOp::Kind::Polygon;
  op.points = corners;
  op.pen = PenKind::Bar;
  op.brush = brush;
  out.push_back(op);
}

void addText(DrawList& out, std::string text, Point anchorPoint, TextAlign align,
             TextAnchor anchor) {
  DrawOp op;
  op.kind = DrawOp::Kind::Text;
  op.points[0] = anchorPoint;
  op.text = std::move(text);
  op.align = align;
  op.anchor = anchor;
  out.push_back(op);
}

// A chart is divided into equal slots: one per bar, and one more that is
// shared out as margins. The bins' slots follow the below-range one.
struct Slots {
  int64_t width = 0;
  int64_t count = 0;  // the slots the chart is divided into
  int64_t binCount = 0;
  int64_t firstBin = 0;  // offset of the first bin's slot from the chart's left
  int64_t barWidth = 0;
};

Slots slotsOf(const ChartLayout& chart, const Histogram& histogram) {
  Slots slots;
  slots.binCount = static_cast<int64_t>(histogram.bins.size());
  slots.count = slots.binCount + (chart.belowSlot ? 1 : 0) + (chart.aboveSlot ? 1 : 0) + 1;
  slots.width = chart.width > 0 ? chart.width / slots.count : 0;
  slots.firstBin = chart.belowSlot ? slots.width : 0;
  slots.barWidth = 3 * slots.width / 4;
  return slots;
}

// How many values run from the histogram's low to its high by step.
int64_t valueCount(const Histogram& histogram, int32_t step) {
  if (step <= 0 || histogram.high < histogram.low) return 0;
  return (int64_t{histogram.high} - histogram.low) / step + 1;
}

// A counter's bar height within the chart: the tallest counter reaches
// kBarHeadroom below the top. 64 bits: a count near 2^31 times the height
// would wrap 32.
int64_t barExtent(int32_t value, int32_t tallest, int64_t chartHeight) {
  const int64_t room = std::max<int64_t>(chartHeight - kBarHeadroom, 0);
  if (tallest <= 0) return 0;
  return std::clamp<int64_t>(value, 0, tallest) * room / tallest;
}

void drawBar(DrawList& out, int64_t x, int64_t width, int64_t top, int64_t bottom, bool outlier) {
  const int64_t right = x + width;
  addRectangle(out, at(x, top), at(right, bottom), PenKind::Bar,
               outlier ? BrushKind::Outlier : BrushKind::Front);
  addPolygon(
      out,
      {at(x, top), at(x + kDepth, top - kDepth), at(right + kDepth, top - kDepth), at(right, top)},
      outlier ? BrushKind::Outlier : BrushKind::Top);
  addPolygon(out,
             {at(right, top), at(right + kDepth, top - kDepth), at(right + kDepth, bottom - kDepth),
              at(right, bottom)},
             outlier ? BrushKind::Outlier : BrushKind::Side);
}

std::string formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string formatted(const char* format, ...) {
  // Room for any float in %.0f (39 digits) several times over.
  char text[256];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  return text;
}

}  // namespace

std::string driftText(int32_t msPerDay) {
  // The magnitude in 64 bits: that of the lowest 32-bit value does not fit 32.
  const int64_t magnitude = msPerDay < 0 ? -int64_t{msPerDay} : int64_t{msPerDay};
  return (msPerDay < 0 ? "Losing " : "Gaining ") + std::to_string(magnitude) + " ms/day";
}

std::optional<std::string> driftLine(ServerStats& stats) {
  int32_t msPerDay = 0;
  if (!stats.driftPerDay(msPerDay)) return std::nullopt;
  return driftText(msPerDay);
}

std::vector<ListItem> statisticsListItems(int32_t serverCount, int32_t textHeight) {
  // The header holds a title line and a label line above the axes.
  std::vector<ListItem> items{{kHeaderItem, narrow(2 * int64_t{textHeight} + 16)}};
  for (int32_t index = 0; index < serverCount; ++index) {
    items.push_back({index, kServerItemHeight});
  }
  return items;
}

ChartPair chartColumns(int32_t rowLeft, int32_t rowRight, int32_t nameColumnWidth) {
  // The delta chart gets twice the latency chart's width, for twice the bins.
  const int64_t latencyLeft = int64_t{rowLeft} + nameColumnWidth;
  const int64_t latencyWidth =
      std::max<int64_t>((int64_t{rowRight} - nameColumnWidth - rowLeft - kChartGap) / 3, 0);
  ChartPair charts;
  charts.latency.left = narrow(latencyLeft);
  charts.latency.width = narrow(latencyWidth);
  charts.latency.labelStep = kLatencyStepMs;
  charts.latency.aboveSlot = true;
  charts.delta.left = narrow(latencyLeft + latencyWidth + kChartGap);
  charts.delta.width = narrow(2 * latencyWidth);
  charts.delta.labelStep = kDeltaStepMs;
  charts.delta.belowSlot = true;
  charts.delta.aboveSlot = true;
  return charts;
}

void drawAxis(const ChartLayout& chart, const Histogram& histogram, const std::string& title,
              int32_t baselineY, int32_t textHeight, DrawList& out) {
  const Slots slots = slotsOf(chart, histogram);
  if (slots.width < 1) return;
  const int64_t baseline = baselineY;
  const int64_t labelBottom = baseline - kLongTick;

  addText(out, title, at(int64_t{chart.left} + chart.width / 2, baseline - textHeight - 6),
          TextAlign::Center, TextAnchor::Bottom);

  // Ticks sit on the boundaries between the bins' slots.
  const int64_t firstTick = chart.left + slots.firstBin + 3 * slots.width / 8;
  const int64_t values = valueCount(histogram, chart.labelStep);
  for (int64_t k = 0; k < values; ++k) {
    const int64_t x = firstTick + k * slots.width;
    const int64_t value = histogram.low + k * chart.labelStep;
    const bool isLong = k % 2 == 0;
    addLine(out, at(x, baseline), at(x, baseline - (isLong ? kLongTick : kShortTick)));
    if (isLong || value == 0) {
      addText(out, std::to_string(value), at(x, labelBottom), TextAlign::Center,
              TextAnchor::Bottom);
    }
  }

  const int64_t baselineEnd = firstTick + slots.binCount * slots.width + 1;
  addLine(out, at(firstTick, baseline), at(baselineEnd, baseline));
  if (chart.belowSlot) {
    addText(out, "<<", at(chart.left, labelBottom), TextAlign::Left, TextAnchor::Bottom);
  }
  if (chart.aboveSlot) {
    addText(out, ">>", at(baselineEnd + 2 * slots.width - 3 * slots.width / 8, labelBottom),
            TextAlign::Right, TextAnchor::Bottom);
  }
}

void drawBars(const ChartLayout& chart, const Histogram& histogram, DrawList& out) {
  const Slots slots = slotsOf(chart, histogram);
  if (slots.width < 1) return;
  const int64_t left = chart.left;
  const int64_t top = chart.top;
  const int64_t height = std::max<int32_t>(chart.height, 0);
  const int64_t bottom = top + height;

  addRectangle(out, at(left, top), at(left + slots.width * slots.count, bottom), PenKind::Black,
               BrushKind::Hollow);

  const int64_t firstGrid = left + slots.firstBin + slots.barWidth / 2;
  const int64_t lines = valueCount(histogram, chart.labelStep);
  for (int64_t k = 0; k < lines; ++k) {
    const int64_t x = firstGrid + k * slots.width;
    addLine(out, at(x, top), at(x, bottom), k % 2 == 0 ? PenKind::GridA : PenKind::GridB);
  }

  int64_t slot = 0;
  auto bar = [&](int32_t value, bool outlier) {
    const int64_t x = left + 1 + slots.width / 2 + slot * slots.width;
    drawBar(out, x, slots.barWidth, bottom - barExtent(value, histogram.tallest, height), bottom,
            outlier);
    ++slot;
  };
  if (chart.belowSlot) bar(histogram.below, true);
  for (int32_t counter : histogram.bins) bar(counter, false);
  if (chart.aboveSlot) bar(histogram.above, true);
}

void drawLabelLine(const ChartLayout& chart, const Histogram& histogram, bool withCount,
                   DrawList& out) {
  if (histogram.count == 0) return;
  const int64_t y = int64_t{chart.top} + std::max<int32_t>(chart.height, 0) + 2;
  addText(out,
          formatted("ave=%.0f std=%.1f max=%d min=%d", static_cast<double>(histogram.mean),
                    static_cast<double>(histogram.stdDev), static_cast<int>(histogram.max),
                    static_cast<int>(histogram.min)),
          at(chart.left, y), TextAlign::Left, TextAnchor::Top);
  if (withCount) {
    addText(out, formatted("n=%d", static_cast<int>(histogram.count)),
            at(int64_t{chart.left} + chart.width, y), TextAlign::Right, TextAnchor::Top);
  }
}

DrawList StatisticsModel::drawItem(ServerStats& stats, int32_t itemData, const ItemRect& rect,
                                   const TextMeasure& text) {
  DrawList out;
  if (itemData == kHeaderItem) {
    drawHeader(stats, rect, text, out);
  } else {
    drawServer(stats, itemData, rect, text, out);
  }
  return out;
}

void StatisticsModel::measureNames(const ServerStats& stats, const TextMeasure& text) {
  int64_t widest = 0;
  for (int32_t index = 0; index < stats.count(); ++index) {
    if (text.width) widest = std::max<int64_t>(widest, text.width(stats.name(index)));
  }
  m_nameColumnWidth = narrow(widest + kNameGap);
}

void StatisticsModel::drawHeader(ServerStats& stats, const ItemRect& rect, const TextMeasure& text,
                                 DrawList& out) {
  Histogram delta(0, 0, 0);
  Histogram latency(0, 0, 0);
  const Point columnTitle = at(rect.left, int64_t{rect.bottom} - 2);
  if (!stats.get(0, delta, latency)) {
    addText(out, kNoServersText, columnTitle, TextAlign::Left, TextAnchor::Bottom);
    return;
  }
  if (m_nameColumnWidth < 0) measureNames(stats, text);
  addText(out, kServerColumnTitle, columnTitle, TextAlign::Left, TextAnchor::Bottom);

  // The item's last pixel row, so that the baseline is drawn with its item.
  const int32_t baseline = narrow(int64_t{rect.bottom} - 1);
  const ChartPair charts = chartColumns(rect.left, rect.right, m_nameColumnWidth);
  drawAxis(charts.latency, latency, kLatencyTitle, baseline, text.height, out);
  drawAxis(charts.delta, delta, kDeltaTitle, baseline, text.height, out);
}

void StatisticsModel::drawServer(ServerStats& stats, int32_t index, const ItemRect& rect,
                                 const TextMeasure& text, DrawList& out) {
  Histogram delta(0, 0, 0);
  Histogram latency(0, 0, 0);
  // The server list may have changed since the items were added.
  if (!stats.get(index, delta, latency)) return;
  if (m_nameColumnWidth < 0) measureNames(stats, text);

  addText(out, stats.name(index), at(rect.left, (int64_t{rect.top} + rect.bottom) / 2),
          TextAlign::Left, TextAnchor::Baseline);

  ChartPair charts = chartColumns(rect.left, rect.right, m_nameColumnWidth);
  for (ChartLayout* chart : {&charts.latency, &charts.delta}) {
    chart->top = narrow(int64_t{rect.top} + kChartInset);
    chart->height = narrow(std::max<int64_t>(kChartBlock - int64_t{text.height}, 0));
  }
  drawBars(charts.latency, latency, out);
  drawLabelLine(charts.latency, latency, false, out);
  drawBars(charts.delta, delta, out);
  drawLabelLine(charts.delta, delta, true, out);
}

}  // namespace veltraw
