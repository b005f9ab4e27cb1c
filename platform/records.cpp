#include "platform/records.h"

void SwapBytes32(const void* source, void* destination) {
  const auto* s = static_cast<const std::uint8_t*>(source);
  const std::uint8_t swapped[4] = {s[3], s[2], s[1], s[0]};
  std::memcpy(destination, swapped, sizeof swapped);
}
