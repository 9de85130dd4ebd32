// Extra update cycles after the PC wakes from sleep or its clock is changed by
// someone else: a laptop would otherwise stay wrong until the next scheduled
// update, up to a day later. The first cycle runs a few seconds after the
// event; while the network is not up yet (no server answered), it is tried
// again with a growing delay a few times, then the normal schedule takes over.
// At most one resynchronisation is pending however many events arrive.
#pragma once

#include <cstdint>

namespace veltraw {

class ResyncSchedule {
 public:
  static constexpr int32_t kAttempts = 4;
  // The delay before attempt n (1-based): 5, 10, 20, 40 s.
  static uint32_t delayBeforeMs(int32_t attempt) { return 5000u << (attempt - 1); }

  // A reason to resynchronise. True when a first attempt is now due after
  // delayBeforeMs(1); false when one is already pending or running.
  bool request();
  // The delay is over: the number of the attempt whose cycle starts now.
  int32_t startAttempt();
  // The attempt's cycle is complete. True when another attempt is due after
  // delayBeforeMs(attempt()); false when the resynchronisation is over, done
  // or given up.
  bool cycleEnded(bool anyServerAnswered);
  // The settings were applied anew: nothing pending any more.
  void cancel() { *this = ResyncSchedule(); }

  bool pending() const { return m_attempt > 0 || m_waiting; }
  int32_t attempt() const { return m_attempt; }
  bool waiting() const { return m_waiting; }

 private:
  int32_t m_attempt = 0;   // the attempt that is due or running; 0 when idle
  bool m_waiting = false;  // its delay is running
};

}  // namespace veltraw
