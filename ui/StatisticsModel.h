// What the statistics dialog shows, as plain data: the drift line, the list
// items with their heights, and every line, shape and text of an item's
// charts. The dialog's view measures text for it and replays the drawing one
// operation per GDI call; nothing here touches the platform.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace veltraw {

class ServerStats;
struct Histogram;

// "Gaining 12 ms/day", or "Losing ..." with the magnitude for a negative drift.
std::string driftText(int32_t msPerDay);
// The drift line for the current estimate; none while there is not enough
// data. Prunes old samples, so call it under the application's lock.
std::optional<std::string> driftLine(ServerStats& stats);

// Item data of the list's first item, the axes.
constexpr int32_t kHeaderItem = -1;

struct ListItem {
  int32_t data;    // kHeaderItem or a server index
  int32_t height;  // pixels
};

// The header item, then one item per server. textHeight: of the dialog's font.
std::vector<ListItem> statisticsListItems(int32_t serverCount, int32_t textHeight);

struct Point {
  int32_t x;
  int32_t y;
};

enum class PenKind { Black, GridA, GridB, Bar };
enum class BrushKind { Hollow, Front, Top, Side, Outlier };
// Where a text's anchor point lies on it, horizontally and vertically.
enum class TextAlign { Left, Center, Right };
enum class TextAnchor { Top, Baseline, Bottom };

struct DrawOp {
  enum class Kind { Line, Rectangle, Polygon, Text };

  Kind kind = Kind::Line;
  // Line: from points[0] to points[1], the end point not drawn. Rectangle:
  // points[0] is the left top corner, points[1] the right bottom one, outside
  // the rectangle. Polygon: its four corners. Text: its anchor, points[0].
  std::array<Point, 4> points{};
  PenKind pen = PenKind::Black;
  BrushKind brush = BrushKind::Hollow;
  std::string text;
  TextAlign align = TextAlign::Left;
  TextAnchor anchor = TextAnchor::Top;
};

using DrawList = std::vector<DrawOp>;

// The area of one chart and what it shows.
struct ChartLayout {
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t labelStep = 0;   // ms between ticks and between grid lines
  bool belowSlot = false;  // a bar for the samples under the histogram's range
  bool aboveSlot = false;  // a bar for the samples at or over its end
};

struct ChartPair {
  ChartLayout latency;
  ChartLayout delta;
};

// The two charts' columns in a row from rowLeft to rowRight whose name column
// is nameColumnWidth wide; top and height are left 0.
ChartPair chartColumns(int32_t rowLeft, int32_t rowRight, int32_t nameColumnWidth);

// A chart's title, ticks with their labels, baseline and range markers, with
// the baseline at baselineY. A chart without a pixel per slot draws nothing.
void drawAxis(const ChartLayout& chart, const Histogram& histogram, const std::string& title,
              int32_t baselineY, int32_t textHeight, DrawList& out);
// The frame, grid lines and one bar per shown slot.
void drawBars(const ChartLayout& chart, const Histogram& histogram, DrawList& out);
// The statistics under a chart, when it has samples; withCount adds "n=".
void drawLabelLine(const ChartLayout& chart, const Histogram& histogram, bool withCount,
                   DrawList& out);

struct ItemRect {
  int32_t left;
  int32_t top;
  int32_t right;   // outside the item
  int32_t bottom;  // outside the item
};

// The dialog's font as the view measures it.
struct TextMeasure {
  int32_t height = 0;
  std::function<int32_t(const std::string&)> width;
};

// The drawing of the list's items during one opening of the dialog.
class StatisticsModel {
 public:
  // A new opening: the server names are measured again.
  void startOpening() { m_nameColumnWidth = -1; }

  // Everything item itemData shows in rect: the axes for kHeaderItem, or the
  // charts of that server; nothing for a server that no longer exists. Reads
  // stats, so call it under the application's lock.
  DrawList drawItem(ServerStats& stats, int32_t itemData, const ItemRect& rect,
                    const TextMeasure& text);

  // The widest server name plus a gap; -1 until the first drawing measures it.
  int32_t nameColumnWidth() const { return m_nameColumnWidth; }

 private:
  void measureNames(const ServerStats& stats, const TextMeasure& text);
  void drawHeader(ServerStats& stats, const ItemRect& rect, const TextMeasure& text, DrawList& out);
  void drawServer(ServerStats& stats, int32_t index, const ItemRect& rect, const TextMeasure& text,
                  DrawList& out);

  int32_t m_nameColumnWidth = -1;
};

}  // namespace veltraw
