// The processors a list of exports can be for, numbered as COFF objects,
// import members and PE images number them in their headers.
#pragma once

#include <cstdint>
#include <string>

enum class Machine : std::uint16_t {
  Unknown = 0,
  I386 = 0x014C,
  Amd64 = 0x8664,
  Arm64 = 0xAA64,
  Arm64ec = 0xA641,
  Arm64x = 0xA64E,
};

constexpr std::uint16_t MachineNumber(Machine m) { return static_cast<std::uint16_t>(m); }

// "32-bit Intel", "x64", "ARM64", "ARM64EC", "ARM64X", or "machine 0x1C0"
// for a number this program does not know.
std::string MachineName(std::uint16_t number);

// True for the machines whose pointers are 64 bits wide.
bool Is64Bit(std::uint16_t number);

// True where symbols carry a calling convention's decoration ("_f",
// "_f@8"): 32-bit Intel, and 0, the machine of a list no file named one
// for, which is taken as 32-bit Intel. Elsewhere a client links against
// the export's own name.
bool Decorates(std::uint16_t number);
