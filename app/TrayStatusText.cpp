#include "app/TrayStatusText.h"

#include <vector>

#include "LIB/Registry/SettingsKey.h"
#include "app/Settings.h"
#include "sntp/NtpResult.h"

namespace veltraw {

namespace {

const char kProduct[] = "Veltraw";
const char kEllipsis[] = "...";
constexpr size_t kShortestName = 4;  // one character and the ellipsis

// A tip is built from fixed wording and server names; when it is too long,
// the names give way first, so the status and the offset stay readable.
struct TipPiece {
  std::string text;
  bool isName;
};

std::string shortened(const std::string& name, size_t length) {
  if (length >= name.size()) return name;
  return name.substr(0, length - (sizeof kEllipsis - 1)) + kEllipsis;
}

std::string fitTip(const std::vector<TipPiece>& pieces, size_t maxLength) {
  std::vector<size_t> lengths;
  size_t total = 0;
  for (const TipPiece& piece : pieces) {
    lengths.push_back(piece.text.size());
    total += piece.text.size();
  }
  // Take one character at a time from the longest name still above the
  // shortest form.
  while (total > maxLength) {
    size_t longest = pieces.size();
    for (size_t i = 0; i < pieces.size(); ++i) {
      if (pieces[i].isName && lengths[i] > kShortestName &&
          (longest == pieces.size() || lengths[i] > lengths[longest])) {
        longest = i;
      }
    }
    if (longest == pieces.size()) break;
    --lengths[longest];
    --total;
  }
  std::string tip;
  for (size_t i = 0; i < pieces.size(); ++i) {
    tip += pieces[i].isName ? shortened(pieces[i].text, lengths[i]) : pieces[i].text;
  }
  if (tip.size() > maxLength) tip.resize(maxLength);
  return tip;
}

std::string offsetPhrase(int32_t shownOffsetMs) {
  if (shownOffsetMs == kNoOffsetShown) return std::string();
  if (shownOffsetMs == 0) return "\rPC accurate to +/-1 ms";
  // A negative offset means the server is behind the PC: the PC is fast.
  const int64_t magnitude = shownOffsetMs < 0 ? -int64_t{shownOffsetMs} : shownOffsetMs;
  return (shownOffsetMs < 0 ? "\rPC fast by " : "\rPC slow by ") + std::to_string(magnitude) +
         " ms";
}

// statusText split where the name sits: before, name, after.
std::vector<TipPiece> statusPieces(int32_t status, const std::string& serverName,
                                   int32_t shownOffsetMs) {
  if (serverName.empty()) return {};
  switch (status) {
    case Ok:
      return {{" using ", false}, {serverName, true}, {offsetPhrase(shownOffsetMs), false}};
    case NoResponse:
    case Failed:
      return {{" no response received from ", false}, {serverName, true}};
    case BadReference:
      return {{" got bad time reference from ", false}, {serverName, true}};
    case Requesting:
      return {{" requesting from ", false}, {serverName, true}};
    default:
      return {};
  }
}

std::string join(const std::vector<TipPiece>& pieces) {
  std::string text;
  for (const TipPiece& piece : pieces) text += piece.text;
  return text;
}

}  // namespace

std::string statusText(int32_t status, const std::string& serverName, int32_t shownOffsetMs) {
  return join(statusPieces(status, serverName, shownOffsetMs));
}

std::string statusText(SettingsKey& settings, int32_t status, int32_t serverNumber,
                       int32_t shownOffsetMs) {
  return statusText(status, settings.readText(setting::serverValueName(serverNumber), ""),
                    shownOffsetMs);
}

std::string trayTipText(int32_t status, const std::string& primaryName, int32_t shownOffsetMs,
                        size_t maxLength) {
  return trayTipText(status, primaryName, shownOffsetMs, std::string(), maxLength);
}

std::string trayTipText(int32_t status, const std::string& primaryName, int32_t shownOffsetMs,
                        const std::string& updatedAt, size_t maxLength) {
  std::vector<TipPiece> pieces{{kProduct, false}};
  if (primaryName.empty()) {
    pieces.push_back({" unconfigured", false});
  } else {
    for (TipPiece& piece : statusPieces(status, primaryName, shownOffsetMs)) {
      pieces.push_back(piece);
    }
    if (status == Ok && shownOffsetMs != kNoOffsetShown && !updatedAt.empty()) {
      pieces.push_back({" at " + updatedAt, false});
    }
  }
  return fitTip(pieces, maxLength);
}

std::string trayTipText(SettingsKey& settings, int32_t status, int32_t shownOffsetMs,
                        size_t maxLength) {
  return trayTipText(status, settings.read(setting::Server1), shownOffsetMs, maxLength);
}

std::string uncorrectedTipText(const std::string& primaryName, int32_t shownOffsetMs,
                               size_t maxLength) {
  if (primaryName.empty() || shownOffsetMs == kNoOffsetShown) {
    return trayTipText(Ok, primaryName, shownOffsetMs, maxLength);
  }
  std::vector<TipPiece> pieces{{kProduct, false}};
  for (TipPiece& piece : statusPieces(Ok, primaryName, shownOffsetMs)) pieces.push_back(piece);
  pieces.push_back({", not corrected", false});
  return fitTip(pieces, maxLength);
}

std::string refusedTipText(const std::string& primaryName, const std::string& kissCode,
                           size_t maxLength) {
  return fitTip({{kProduct, false},
                 {" " + primaryName, true},
                 {" refused service (" + kissCode + ")", false}},
                maxLength);
}

std::string fallbackTipText(const std::string& primaryName, const std::string& secondaryName,
                            int32_t shownOffsetMs, size_t maxLength) {
  std::vector<TipPiece> pieces{{"Bad ", false}, {primaryName, true}, {";", false}};
  for (TipPiece& piece : statusPieces(Ok, secondaryName, shownOffsetMs)) pieces.push_back(piece);
  return fitTip(pieces, maxLength);
}

}  // namespace veltraw
