// The date and time a program reads through INT 21h functions 2Ah and 2Ch.
// The host's local clock by default; tests hand a DosProgram a fixed one.
#pragma once

#include <cstdint>

namespace quorix {

struct ClockReading {
  uint16_t year = 1980;
  uint8_t month = 1;    // 1 to 12
  uint8_t day = 1;      // 1 to 31
  uint8_t weekday = 2;  // 0 Sunday to 6 Saturday
  uint8_t hour = 0;
  uint8_t minute = 0;
  uint8_t second = 0;
  uint8_t hundredths = 0;
};

class ProgramClock {
 public:
  virtual ~ProgramClock() = default;
  virtual ClockReading Now() = 0;
};

// The host's local date and time.
class HostClock : public ProgramClock {
 public:
  ClockReading Now() override;
  static HostClock& Instance();
};

}  // namespace quorix
