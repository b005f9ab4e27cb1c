#include "platform/clock.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <utility>


namespace platform {

namespace {

std::int64_t DefaultClock() {
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) {
    char* end = nullptr;
    errno = 0;
    long long seconds = std::strtoll(epoch, &end, 10);
    if (end != epoch && *end == '\0' && errno == 0) return seconds;
  }
  return static_cast<std::int64_t>(std::time(nullptr));
}

Clock& CurrentClock() {
  static Clock clock = DefaultClock;
  return clock;
}

}  // namespace

std::int32_t TimeStampNow() {
  // Past 2038 the 32-bit field wraps, as the format's own time stamps do.
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(CurrentClock()()));
}

Clock SetClock(Clock clock) {
  Clock previous = std::move(CurrentClock());
  CurrentClock() = clock ? std::move(clock) : Clock(DefaultClock);
  return previous;
}

FixedClock::FixedClock(std::int64_t seconds)
    : previous_(SetClock([seconds] { return seconds; })) {}

FixedClock::~FixedClock() { SetClock(std::move(previous_)); }

}  // namespace platform
