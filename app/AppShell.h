// What the time-keeping core needs from the window side: the notification-area
// icon, the update timer, the message loop and the dialogs it opens. The tray
// window implements it; tests bring a recording one.
#pragma once

#include <cstdint>
#include <string>

#include "app/MessageBox.h"

namespace veltraw {

// Icon resources of the notification area.
enum TrayIconId : int32_t {
  IconGood = 201,          // last result of the primary good; also at start-up
  IconNoResponse = 202,    // no response or failure
  IconBadReference = 203,  // bad time reference
  IconRequesting = 204,    // an update is under way
};

class AppShell {
 public:
  virtual ~AppShell() = default;
  // Makes the loaded picture of this resource id the icon (added or modified).
  virtual void showIcon(int32_t iconId) = 0;
  // Sets the tooltip; the notification area shows its first 63 characters.
  virtual void showTip(const std::string& text) = 0;
  // A repeating timer (identifier 1001 on the tray window) that calls the
  // core's runUpdateCycle on the main thread. False when none could be made.
  virtual bool startTimer(uint32_t periodMs) = 0;
  virtual void stopTimer() = 0;
  // A one-shot timer (identifier 1002) that calls the core's onResyncTimer on
  // the main thread after delayMs; a new one replaces a running one. Called
  // from any thread.
  virtual void startResyncTimer(uint32_t delayMs) = 0;
  // Milliseconds since an arbitrary start, never set back with the clock.
  virtual uint32_t tickCount() = 0;
  // Ends the message loop with exit code 0.
  virtual void postQuit() = 0;
  // The window that owns the core's message boxes (the tray window), or null.
  virtual void* ownerWindow() = 0;
  // The first-run offer to search the local network was accepted.
  virtual void openServerSearch() = 0;
  // A notice from the icon (a balloon) that the user should read once, such
  // as that the clock cannot be set. Called on a request thread, under the
  // core's lock.
  virtual void showNotification(const std::string& title, const std::string& text) = 0;
  // A result changed the statistics; an open statistics view redraws. Called
  // on a request thread, outside the core's lock.
  virtual void statisticsChanged() = 0;
  // Tells the user of a failure the program runs on past. Returns at once:
  // the box comes up from the message loop, so that updates go on meanwhile.
  // Called on the main thread.
  virtual void showNotice(const MessageBoxRequest& box) = 0;
};

}  // namespace veltraw
