#include "model/machine.h"

#include <array>

namespace {

constexpr std::array<MachineFacts, 5> kMachines = {{
    {Machine::I386, "i386", "32-bit Intel", "Intel 32 bits (x86)", true, 4},
    {Machine::Amd64, "x64", "x64", "x64", false, 8},
    {Machine::Arm64, "arm64", "ARM64", "ARM64", false, 8},
    {Machine::Arm64ec, "arm64ec", "ARM64EC", "ARM64EC", false, 8},
    {Machine::Arm64x, "arm64x", "ARM64X", "ARM64X", false, 8},
}};

}  // namespace

std::span<const MachineFacts> KnownMachines() { return kMachines; }

const MachineFacts* FactsOf(Machine machine) {
  if (machine == Machine::Unknown) machine = Machine::I386;
  for (const MachineFacts& facts : kMachines)
    if (facts.machine == machine) return &facts;
  return nullptr;
}

std::optional<Machine> MachineOfWord(std::string_view word) {
  for (const MachineFacts& facts : kMachines)
    if (facts.word == word) return facts.machine;
  return std::nullopt;
}

std::string MachineName(Machine machine) {
  if (machine != Machine::Unknown)
    if (const MachineFacts* facts = FactsOf(machine)) return std::string(facts->english);
  constexpr char kDigits[] = "0123456789ABCDEF";
  const std::uint16_t number = MachineNumber(machine);
  std::string hex;
  for (int shift = 12; shift >= 0; shift -= 4) hex += kDigits[(number >> shift) & 0xF];
  return "machine 0x" + hex;
}

bool Is64Bit(Machine machine) {
  const MachineFacts* facts = FactsOf(machine);
  return facts != nullptr && facts->pointerSize == 8;
}

bool Decorates(Machine machine) {
  const MachineFacts* facts = FactsOf(machine);
  return facts != nullptr && facts->decorates;
}

bool IsKnown(Machine machine) { return machine == Machine::Unknown || FactsOf(machine) != nullptr; }
