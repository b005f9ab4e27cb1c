// The processors a list of exports can be for. Every machine outside the
// on-disk records is a Machine; its number is the one COFF objects,
// import members and PE images carry in their headers, so a header's
// field converts with MachineOfNumber and back with MachineNumber.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

enum class Machine : std::uint16_t {
  Unknown = 0,  // no file gave one: taken as 32-bit Intel
  I386 = 0x014C,
  Amd64 = 0x8664,
  Arm64 = 0xAA64,
  Arm64ec = 0xA641,
  Arm64x = 0xA64E,
};

constexpr std::uint16_t MachineNumber(Machine m) { return static_cast<std::uint16_t>(m); }
// A header's number as a Machine; one this program does not know keeps
// its number, and MachineName says it.
constexpr Machine MachineOfNumber(std::uint16_t number) { return static_cast<Machine>(number); }

// What one machine is, in one place.
struct MachineFacts {
  Machine machine;
  std::string_view word;     // on the command line: "i386", "x64", "arm64", ...
  std::string_view english;  // "32-bit Intel", "x64", ...
  std::string_view french;   // the window's: "Intel 32 bits (x86)", ...
  bool decorates;            // symbols carry a convention's "_f", "_f@8"
  std::uint8_t pointerSize;  // bytes of an address slot
};

// The machines this program knows, 32-bit Intel first.
std::span<const MachineFacts> KnownMachines();
// The facts of a known machine (Unknown: those of 32-bit Intel, as a list
// no file gave a machine is taken); none for a number this program does
// not know.
const MachineFacts* FactsOf(Machine machine);
// The machine a command-line word names.
std::optional<Machine> MachineOfWord(std::string_view word);

// "32-bit Intel", "x64", "ARM64", "ARM64EC", "ARM64X", or "machine 0x1C0"
// for a number this program does not know.
std::string MachineName(Machine machine);

// True for the machines whose pointers are 64 bits wide.
bool Is64Bit(Machine machine);

// True where symbols carry a calling convention's decoration ("_f",
// "_f@8"): 32-bit Intel, and Unknown, the machine of a list no file named
// one for, which is taken as 32-bit Intel. Elsewhere a client links
// against the export's own name.
bool Decorates(Machine machine);

// A known machine, or Unknown.
bool IsKnown(Machine machine);

