// "Veltraw Statistics": the drift line and an owner-drawn list with the axes
// and, per server, the latency and delta charts. What each item shows comes
// from StatisticsModel; this view measures the font, replays the model's
// drawing with the charts' pens and brushes, and redraws when results arrive.
#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "app/SntpClientApp.h"
#include "ui/Dialogs_win32.h"
#include "ui/GdiObjects_win32.h"
#include "ui/ModalDialog_win32.h"
#include "ui/StatisticsDialogIds.h"
#include "ui/StatisticsModel.h"

namespace veltraw {

namespace {

// A list box refuses items taller than this.
constexpr int32_t kMaxItemHeight = 255;

// How request threads reach the open dialog: its list while it is open, under
// a lock the dialog takes as it goes, so that nothing touches a window that is
// being destroyed or already gone. A result marks the list for repainting;
// the system folds a burst of results into one WM_PAINT on the dialog's
// thread, and there is no notice of ours that could get lost on the way.
class DialogLink {
 public:
  void open(HWND list) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_list = list;
  }
  void close() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_list = nullptr;
  }
  // From any thread.
  void notify() {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_list) InvalidateRect(m_list, nullptr, TRUE);
  }

 private:
  std::mutex m_lock;
  HWND m_list = nullptr;
};

DialogLink& dialogLink() {
  static DialogLink link;
  return link;
}

// The charts' pens and brushes, made for one opening of the dialog.
class ChartPalette {
 public:
  ChartPalette()
      : m_gridA(dashedPen(1, 1)),
        m_gridB(dashedPen(1, 2)),
        m_bar(CreatePen(PS_SOLID, 1, RGB(0, 0, 64))),
        m_front(CreateSolidBrush(RGB(0, 0, 255))),
        m_top(CreateSolidBrush(RGB(0, 0, 192))),
        m_side(CreateSolidBrush(RGB(0, 0, 128))),
        m_outlier(CreateSolidBrush(RGB(255, 64, 64))) {}

  // A stock object stands in for one that could not be made: the charts
  // lose a colour, not their shape.
  HGDIOBJ pen(PenKind kind) const {
    const GdiObject* made = kind == PenKind::GridA   ? &m_gridA
                            : kind == PenKind::GridB ? &m_gridB
                            : kind == PenKind::Bar   ? &m_bar
                                                     : nullptr;
    return made && made->get() ? made->get() : GetStockObject(BLACK_PEN);
  }
  HGDIOBJ brush(BrushKind kind) const {
    const GdiObject* made = kind == BrushKind::Front     ? &m_front
                            : kind == BrushKind::Top     ? &m_top
                            : kind == BrushKind::Side    ? &m_side
                            : kind == BrushKind::Outlier ? &m_outlier
                                                         : nullptr;
    if (made && made->get()) return made->get();
    return GetStockObject(kind == BrushKind::Hollow ? NULL_BRUSH : GRAY_BRUSH);
  }

 private:
  // A one-pixel black pen, dashed: on style units drawn, off left out, in turn.
  static HGDIOBJ dashedPen(DWORD on, DWORD off) {
    LOGBRUSH black = {BS_SOLID, RGB(0, 0, 0), 0};
    const DWORD pattern[] = {on, off};
    return ExtCreatePen(PS_COSMETIC | PS_USERSTYLE, 1, &black, 2, pattern);
  }

  GdiObject m_gridA;
  GdiObject m_gridB;
  GdiObject m_bar;
  GdiObject m_front;
  GdiObject m_top;
  GdiObject m_side;
  GdiObject m_outlier;
};

UINT textAlignFlags(const DrawOp& op) {
  const UINT horizontal = op.align == TextAlign::Left     ? TA_LEFT
                          : op.align == TextAlign::Center ? TA_CENTER
                                                          : TA_RIGHT;
  const UINT vertical = op.anchor == TextAnchor::Top        ? TA_TOP
                        : op.anchor == TextAnchor::Baseline ? TA_BASELINE
                                                            : TA_BOTTOM;
  return horizontal | vertical | TA_NOUPDATECP;
}

void replay(HDC dc, const DrawList& ops, const ChartPalette& palette) {
  for (const DrawOp& op : ops) {
    const Point* p = op.points.data();
    switch (op.kind) {
      case DrawOp::Kind::Line: {
        SelectedObject pen(dc, palette.pen(op.pen));
        MoveToEx(dc, p[0].x, p[0].y, nullptr);
        LineTo(dc, p[1].x, p[1].y);
        break;
      }
      case DrawOp::Kind::Rectangle: {
        SelectedObject pen(dc, palette.pen(op.pen));
        SelectedObject brush(dc, palette.brush(op.brush));
        ::Rectangle(dc, p[0].x, p[0].y, p[1].x, p[1].y);
        break;
      }
      case DrawOp::Kind::Polygon: {
        SelectedObject pen(dc, palette.pen(op.pen));
        SelectedObject brush(dc, palette.brush(op.brush));
        POINT corners[4];
        for (size_t i = 0; i < 4; ++i) corners[i] = POINT{p[i].x, p[i].y};
        ::Polygon(dc, corners, 4);
        break;
      }
      case DrawOp::Kind::Text:
        SetTextAlign(dc, textAlignFlags(op));
        TextOutA(dc, p[0].x, p[0].y, op.text.data(), static_cast<int>(op.text.size()));
        break;
    }
  }
}

int32_t textHeight(HDC dc) {
  TEXTMETRICA metrics = {};
  GetTextMetricsA(dc, &metrics);
  return metrics.tmHeight;
}

class StatisticsDialog : public ModalDialog {
 public:
  explicit StatisticsDialog(SntpClientApp& core) : m_core(core) {}

  void bringForward() {
    if (window()) SetForegroundWindow(window());
  }

 protected:
  bool onInit() override {
    centreOnScreen();
    int32_t serverCount = 0;
    {
      // The estimate prunes the drift samples; the line stays as it is now.
      std::lock_guard<std::recursive_mutex> hold(m_core.lock());
      if (auto line = driftLine(m_core.stats())) setText(IDC_STATISTICS_DRIFT, *line);
      serverCount = m_core.stats().count();
    }
    m_model.startOpening();
    m_items = statisticsListItems(serverCount, dialogTextHeight());
    for (const ListItem& entry : m_items) {
      // Without stored strings the list keeps lParam as the item's data.
      SendMessageA(list(), LB_ADDSTRING, 0, static_cast<LPARAM>(entry.data));
    }
    dialogLink().open(list());
    SetForegroundWindow(window());
    return true;
  }

  bool onCommand(int controlId, int notification) override {
    if (controlId != IDC_RESET_STATISTICS || notification != BN_CLICKED) return false;
    m_core.resetStatistics();
    // The drift line keeps its text: it is not updated while the dialog is open.
    InvalidateRect(list(), nullptr, TRUE);
    return true;
  }

  // Closing the dialog is as good as OK: there is nothing to take back.
  void onCancel() override { end(IDOK); }

  bool onMessage(UINT message, WPARAM, LPARAM lParam, INT_PTR& result) override {
    switch (message) {
      case WM_MEASUREITEM: {
        auto& measure = *reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        if (measure.CtlID != IDC_STATISTICS_LIST) return false;
        if (measure.itemID < m_items.size()) {
          measure.itemHeight =
              static_cast<UINT>(std::clamp(m_items[measure.itemID].height, 1, kMaxItemHeight));
        }
        result = TRUE;
        return true;
      }
      case WM_DRAWITEM: {
        const auto& draw = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (draw.CtlID != IDC_STATISTICS_LIST) return false;
        drawItem(draw);
        result = TRUE;
        return true;
      }
      default:
        return false;
    }
  }

  void onDestroy() override { dialogLink().close(); }

 private:
  HWND list() const { return item(IDC_STATISTICS_LIST); }
  HGDIOBJ dialogFont() const {
    return reinterpret_cast<HGDIOBJ>(SendMessageA(window(), WM_GETFONT, 0, 0));
  }

  int32_t dialogTextHeight() const {
    WindowDc dc(list());
    SelectedObject font(dc.get(), dialogFont());
    return textHeight(dc.get());
  }

  void drawItem(const DRAWITEMSTRUCT& draw) {
    // An empty list asks for its focus rectangle only.
    if (draw.itemID == static_cast<UINT>(-1)) return;
    if ((draw.itemAction & (ODA_DRAWENTIRE | ODA_SELECT)) == 0) return;
    HDC dc = draw.hDC;
    const RECT& r = draw.rcItem;
    SavedDcState saved(dc);
    IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
    SelectObject(dc, dialogFont());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    // A selected item looks like any other: the list only shows charts.
    FillRect(dc, &r, GetSysColorBrush(COLOR_WINDOW));

    TextMeasure text;
    text.height = textHeight(dc);
    text.width = [dc](const std::string& s) {
      SIZE extent = {};
      GetTextExtentPoint32A(dc, s.data(), static_cast<int>(s.size()), &extent);
      return static_cast<int32_t>(extent.cx);
    };
    const auto itemData = static_cast<int32_t>(static_cast<LONG_PTR>(draw.itemData));
    DrawList ops;
    {
      std::lock_guard<std::recursive_mutex> hold(m_core.lock());
      ops = m_model.drawItem(m_core.stats(), itemData, ItemRect{r.left, r.top, r.right, r.bottom},
                             text);
    }
    replay(dc, ops, m_palette);
  }

  SntpClientApp& m_core;
  StatisticsModel m_model;
  ChartPalette m_palette;
  std::vector<ListItem> m_items;
};

// The dialog while it is open; only the main thread, which runs the dialog
// and the tray's clicks, reads or writes it.
StatisticsDialog* g_openDialog = nullptr;

}  // namespace

void openStatisticsDialog(HINSTANCE module, SntpClientApp& core) {
  // The tray still answers clicks while the dialog's own loop runs.
  if (g_openDialog) {
    g_openDialog->bringForward();
    return;
  }
  StatisticsDialog dialog(core);
  g_openDialog = &dialog;
  dialog.run(module, IDD_STATISTICS);
  g_openDialog = nullptr;
}

void refreshStatisticsDialog() { dialogLink().notify(); }

}  // namespace veltraw
