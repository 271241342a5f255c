#include "sim/program_clock.h"

#include <algorithm>
#include <chrono>
#include <ctime>

namespace quorix {

ClockReading HostClock::Now() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto fraction = now - std::chrono::system_clock::from_time_t(seconds);
  const long long hundredths =
      std::chrono::duration_cast<std::chrono::milliseconds>(fraction).count() / 10;
  ClockReading r;
  const std::tm* local = std::localtime(&seconds);
  if (local == nullptr) return r;
  r.year = static_cast<uint16_t>(local->tm_year + 1900);
  r.month = static_cast<uint8_t>(local->tm_mon + 1);
  r.day = static_cast<uint8_t>(local->tm_mday);
  r.weekday = static_cast<uint8_t>(local->tm_wday);
  r.hour = static_cast<uint8_t>(local->tm_hour);
  r.minute = static_cast<uint8_t>(local->tm_min);
  r.second = static_cast<uint8_t>(std::min(local->tm_sec, 59));
  r.hundredths = static_cast<uint8_t>(hundredths < 0 ? 0 : hundredths > 99 ? 99 : hundredths);
  return r;
}

HostClock& HostClock::Instance() {
  static HostClock clock;
  return clock;
}

}  // namespace quorix
