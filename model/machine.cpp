#include "model/machine.h"

std::string MachineName(std::uint16_t number) {
  switch (static_cast<Machine>(number)) {
    case Machine::I386: return "32-bit Intel";
    case Machine::Amd64: return "x64";
    case Machine::Arm64: return "ARM64";
    case Machine::Arm64ec: return "ARM64EC";
    case Machine::Arm64x: return "ARM64X";
    case Machine::Unknown: break;
  }
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (int shift = 12; shift >= 0; shift -= 4) hex += kDigits[(number >> shift) & 0xF];
  return "machine 0x" + hex;
}

bool Is64Bit(std::uint16_t number) {
  switch (static_cast<Machine>(number)) {
    case Machine::Amd64:
    case Machine::Arm64:
    case Machine::Arm64ec:
    case Machine::Arm64x: return true;
    default: return false;
  }
}

bool Decorates(std::uint16_t number) {
  return number == 0 || number == MachineNumber(Machine::I386);
}
