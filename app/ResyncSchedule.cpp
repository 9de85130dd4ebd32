#include "app/ResyncSchedule.h"

namespace veltraw {

bool ResyncSchedule::request() {
  if (pending()) return false;
  m_attempt = 1;
  m_waiting = true;
  return true;
}

int32_t ResyncSchedule::startAttempt() {
  m_waiting = false;
  return m_attempt;
}

bool ResyncSchedule::cycleEnded(bool anyServerAnswered) {
  if (m_attempt == 0 || m_waiting) return false;  // not a cycle of ours
  if (anyServerAnswered || m_attempt >= kAttempts) {
    m_attempt = 0;
    return false;
  }
  ++m_attempt;
  m_waiting = true;
  return true;
}

}  // namespace veltraw
