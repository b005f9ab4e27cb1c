// The time written into the files the program makes.
//
// By default it is the current time, unless SOURCE_DATE_EPOCH holds a
// whole number of seconds: then that, so that a build which fixes it gets
// the same bytes on every run. Tests install a clock of their own.
#pragma once

#include <cstdint>
#include <functional>

namespace platform {

// Seconds since 1970-01-01 00:00 UTC.
using Clock = std::function<std::int64_t()>;

// The installed clock's time, as the 32-bit signed time stamp files carry.
std::int32_t TimeStampNow();

// Installs a clock and returns the one it replaces; an empty clock
// restores the default.
Clock SetClock(Clock clock);

// Fixes the time while it lives; for tests.
class FixedClock {
 public:
  explicit FixedClock(std::int64_t seconds);
  ~FixedClock();
  FixedClock(const FixedClock&) = delete;
  FixedClock& operator=(const FixedClock&) = delete;

 private:
  Clock previous_;
};

}  // namespace platform
