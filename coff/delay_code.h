// The code of a delay-load library, assembled once (nasm -f win32 / -f
// win64, clang --target=aarch64-windows) and kept as bytes beside their
// assembly. Each import's code is its jump through its address slot and,
// after it, the load stub the slot first points to: it hands the slot's
// address to its DLL's trampoline. The trampoline ("tail merge") keeps
// every register a call may carry arguments in, calls the delay-load
// helper with the DLL's descriptor and the slot, and jumps to the address
// the helper wrote there, as if the call had gone there first.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "coff/coff_records.h"
#include "model/machine.h"

namespace coff {

// Where a piece of code needs an address: at `at`, of the symbol `target`
// names, by relocation `type`.
enum class CodeTarget : std::uint8_t { ImportSlot, TailMerge, Descriptor, Helper, Unwind };
struct CodeFixup {
  std::uint32_t at;
  CodeTarget target;
  std::uint16_t type;
};

struct DelayCode {
  std::span<const std::uint8_t> import;  // the jump, then the load stub
  std::uint32_t loadStubAt;
  std::span<const CodeFixup> importFixups;
  std::span<const std::uint8_t> tailMerge;
  std::span<const CodeFixup> tailMergeFixups;
  // The trampoline's function table entry (.pdata) and the unwind
  // information it points to (.xdata), so that an exception the helper
  // raises (a DLL or function not found) unwinds through the trampoline to
  // the caller; none on 32-bit Intel, whose exceptions need no tables.
  std::span<const std::uint8_t> functionEntry;
  std::span<const CodeFixup> functionEntryFixups;  // TailMerge: the trampoline's start
  std::span<const std::uint8_t> unwind;
};

// ---- 32-bit Intel: eax, ecx and edx may carry arguments (fastcall,
// register conventions); the rest are on the stack, which the trampoline
// leaves as it found it.
inline constexpr std::array<std::uint8_t, 16> kI386DelayImport = {
    0xFF, 0x25, 0x00, 0x00, 0x00, 0x00,  // jmp dword [__imp_S]
    0x68, 0x00, 0x00, 0x00, 0x00,        // push __imp_S           (the load stub)
    0xE9, 0x00, 0x00, 0x00, 0x00,        // jmp __tailMerge_L
};
inline constexpr std::array<CodeFixup, 3> kI386DelayImportFixups = {{
    {2, CodeTarget::ImportSlot, kRelocI386Dir32},
    {7, CodeTarget::ImportSlot, kRelocI386Dir32},
    {12, CodeTarget::TailMerge, kRelocI386Rel32},
}};
inline constexpr std::array<std::uint8_t, 25> kI386TailMerge = {
    0x50,                          // push eax
    0x51,                          // push ecx
    0x52,                          // push edx
    0xFF, 0x74, 0x24, 0x0C,        // push dword [esp+12]     (the slot)
    0x68, 0x00, 0x00, 0x00, 0x00,  // push __DELAY_IMPORT_DESCRIPTOR_L
    0xE8, 0x00, 0x00, 0x00, 0x00,  // call ___delayLoadHelper2@8 (pops both)
    0x5A,                          // pop edx
    0x59,                          // pop ecx
    0x87, 0x04, 0x24,              // xchg eax, [esp]         (eax back, the target on the stack)
    0xC2, 0x04, 0x00,              // ret 4                   (to the target, the slot dropped)
};
inline constexpr std::array<CodeFixup, 2> kI386TailMergeFixups = {{
    {8, CodeTarget::Descriptor, kRelocI386Dir32},
    {13, CodeTarget::Helper, kRelocI386Rel32},
}};

// ---- x64: rcx, rdx, r8, r9 and xmm0-xmm5 (vectorcall's too); rax holds
// the slot's address. The stack is 16-byte aligned at the call.
inline constexpr std::array<std::uint8_t, 19> kAmd64DelayImport = {
    0xFF, 0x25, 0x00, 0x00, 0x00, 0x00,        // jmp [rel __imp_S]
    0x48, 0x8D, 0x05, 0x00, 0x00, 0x00, 0x00,  // lea rax, [rel __imp_S] (the load stub)
    0xE9, 0x00, 0x00, 0x00, 0x00,              // jmp __tailMerge_L
};
inline constexpr std::array<CodeFixup, 3> kAmd64DelayImportFixups = {{
    {2, CodeTarget::ImportSlot, kRelocAmd64Rel32},
    {9, CodeTarget::ImportSlot, kRelocAmd64Rel32},
    {14, CodeTarget::TailMerge, kRelocAmd64Rel32},
}};
inline constexpr std::array<std::uint8_t, 115> kAmd64TailMerge = {
    0x51,                                      // push rcx
    0x52,                                      // push rdx
    0x41, 0x50,                                // push r8
    0x41, 0x51,                                // push r9
    0x48, 0x81, 0xEC, 0x88, 0x00, 0x00, 0x00,  // sub rsp, 0x88
    0x66, 0x0F, 0x7F, 0x44, 0x24, 0x20,        // movdqa [rsp+0x20], xmm0
    0x66, 0x0F, 0x7F, 0x4C, 0x24, 0x30,        // movdqa [rsp+0x30], xmm1
    0x66, 0x0F, 0x7F, 0x54, 0x24, 0x40,        // movdqa [rsp+0x40], xmm2
    0x66, 0x0F, 0x7F, 0x5C, 0x24, 0x50,        // movdqa [rsp+0x50], xmm3
    0x66, 0x0F, 0x7F, 0x64, 0x24, 0x60,        // movdqa [rsp+0x60], xmm4
    0x66, 0x0F, 0x7F, 0x6C, 0x24, 0x70,        // movdqa [rsp+0x70], xmm5
    0x48, 0x89, 0xC2,                          // mov rdx, rax
    0x48, 0x8D, 0x0D, 0x00, 0x00, 0x00, 0x00,  // lea rcx, [rel __DELAY_IMPORT_DESCRIPTOR_L]
    0xE8, 0x00, 0x00, 0x00, 0x00,              // call __delayLoadHelper2
    0x66, 0x0F, 0x6F, 0x44, 0x24, 0x20,        // movdqa xmm0, [rsp+0x20]
    0x66, 0x0F, 0x6F, 0x4C, 0x24, 0x30,        // movdqa xmm1, [rsp+0x30]
    0x66, 0x0F, 0x6F, 0x54, 0x24, 0x40,        // movdqa xmm2, [rsp+0x40]
    0x66, 0x0F, 0x6F, 0x5C, 0x24, 0x50,        // movdqa xmm3, [rsp+0x50]
    0x66, 0x0F, 0x6F, 0x64, 0x24, 0x60,        // movdqa xmm4, [rsp+0x60]
    0x66, 0x0F, 0x6F, 0x6C, 0x24, 0x70,        // movdqa xmm5, [rsp+0x70]
    0x48, 0x81, 0xC4, 0x88, 0x00, 0x00, 0x00,  // add rsp, 0x88
    0x41, 0x59,                                // pop r9
    0x41, 0x58,                                // pop r8
    0x5A,                                      // pop rdx
    0x59,                                      // pop rcx
    0xFF, 0xE0,                                // jmp rax
};
inline constexpr std::array<CodeFixup, 2> kAmd64TailMergeFixups = {{
    {0x37, CodeTarget::Descriptor, kRelocAmd64Rel32},
    {0x3C, CodeTarget::Helper, kRelocAmd64Rel32},
}};

// The trampoline's start, end and unwind information.
inline constexpr std::array<std::uint8_t, 12> kAmd64TailMergeEntry = {
    0, 0, 0, 0, static_cast<std::uint8_t>(kAmd64TailMerge.size()), 0, 0, 0, 0, 0, 0, 0};
inline constexpr std::array<CodeFixup, 3> kAmd64TailMergeEntryFixups = {{
    {0, CodeTarget::TailMerge, kRelocAmd64Rva32},
    {4, CodeTarget::TailMerge, kRelocAmd64Rva32},
    {8, CodeTarget::Unwind, kRelocAmd64Rva32},
}};
// Version 1, a 13-byte prologue, 6 code slots, then the codes from the
// last prologue instruction back.
inline constexpr std::array<std::uint8_t, 16> kAmd64TailMergeUnwind = {
    0x01, 0x0D, 0x06, 0x00,  // version 1, no flags; prologue 13 bytes; 6 slots; no frame register
    0x0D, 0x01, 0x11, 0x00,  // at 13: sub rsp, 0x88 (large allocation, 17 * 8)
    0x06, 0x90,              // at 6: push r9
    0x04, 0x80,              // at 4: push r8
    0x02, 0x20,              // at 2: push rdx
    0x01, 0x10,              // at 1: push rcx
};

// ---- ARM64: x0-x7, x8 (where a large struct is returned) and q0-q7;
// x17 holds the slot's address, as the intra-call registers may.
inline constexpr std::array<std::uint8_t, 24> kArm64DelayImport = {
    0x10, 0x00, 0x00, 0x90,  // adrp x16, __imp_S
    0x10, 0x02, 0x40, 0xF9,  // ldr x16, [x16, :lo12:__imp_S]
    0x00, 0x02, 0x1F, 0xD6,  // br x16
    0x11, 0x00, 0x00, 0x90,  // adrp x17, __imp_S             (the load stub)
    0x31, 0x02, 0x00, 0x91,  // add x17, x17, :lo12:__imp_S
    0x00, 0x00, 0x00, 0x14,  // b __tailMerge_L
};
inline constexpr std::array<CodeFixup, 5> kArm64DelayImportFixups = {{
    {0, CodeTarget::ImportSlot, kRelocArm64PageBase21},
    {4, CodeTarget::ImportSlot, kRelocArm64PageOffset12L},
    {12, CodeTarget::ImportSlot, kRelocArm64PageBase21},
    {16, CodeTarget::ImportSlot, kRelocArm64PageOffset12A},
    {20, CodeTarget::TailMerge, kRelocArm64Branch26},
}};
inline constexpr std::array<std::uint8_t, 108> kArm64TailMerge = {
    0xFD, 0x7B, 0xB2, 0xA9,  // stp x29, x30, [sp, #-224]!
    0xFD, 0x03, 0x00, 0x91,  // mov x29, sp
    0xE0, 0x07, 0x01, 0xA9,  // stp x0, x1, [sp, #16]
    0xE2, 0x0F, 0x02, 0xA9,  // stp x2, x3, [sp, #32]
    0xE4, 0x17, 0x03, 0xA9,  // stp x4, x5, [sp, #48]
    0xE6, 0x1F, 0x04, 0xA9,  // stp x6, x7, [sp, #64]
    0xE8, 0x2B, 0x00, 0xF9,  // str x8, [sp, #80]
    0xE0, 0x07, 0x03, 0xAD,  // stp q0, q1, [sp, #96]
    0xE2, 0x0F, 0x04, 0xAD,  // stp q2, q3, [sp, #128]
    0xE4, 0x17, 0x05, 0xAD,  // stp q4, q5, [sp, #160]
    0xE6, 0x1F, 0x06, 0xAD,  // stp q6, q7, [sp, #192]
    0xE1, 0x03, 0x11, 0xAA,  // mov x1, x17
    0x00, 0x00, 0x00, 0x90,  // adrp x0, __DELAY_IMPORT_DESCRIPTOR_L
    0x00, 0x00, 0x00, 0x91,  // add x0, x0, :lo12:__DELAY_IMPORT_DESCRIPTOR_L
    0x00, 0x00, 0x00, 0x94,  // bl __delayLoadHelper2
    0xF0, 0x03, 0x00, 0xAA,  // mov x16, x0
    0xE6, 0x1F, 0x46, 0xAD,  // ldp q6, q7, [sp, #192]
    0xE4, 0x17, 0x45, 0xAD,  // ldp q4, q5, [sp, #160]
    0xE2, 0x0F, 0x44, 0xAD,  // ldp q2, q3, [sp, #128]
    0xE0, 0x07, 0x43, 0xAD,  // ldp q0, q1, [sp, #96]
    0xE8, 0x2B, 0x40, 0xF9,  // ldr x8, [sp, #80]
    0xE6, 0x1F, 0x44, 0xA9,  // ldp x6, x7, [sp, #64]
    0xE4, 0x17, 0x43, 0xA9,  // ldp x4, x5, [sp, #48]
    0xE2, 0x0F, 0x42, 0xA9,  // ldp x2, x3, [sp, #32]
    0xE0, 0x07, 0x41, 0xA9,  // ldp x0, x1, [sp, #16]
    0xFD, 0x7B, 0xCE, 0xA8,  // ldp x29, x30, [sp], #224
    0x00, 0x02, 0x1F, 0xD6,  // br x16
};
inline constexpr std::array<CodeFixup, 3> kArm64TailMergeFixups = {{
    {0x30, CodeTarget::Descriptor, kRelocArm64PageBase21},
    {0x34, CodeTarget::Descriptor, kRelocArm64PageOffset12A},
    {0x38, CodeTarget::Helper, kRelocArm64Branch26},
}};

// The trampoline's start and unwind information.
inline constexpr std::array<std::uint8_t, 8> kArm64TailMergeEntry = {};
inline constexpr std::array<CodeFixup, 2> kArm64TailMergeEntryFixups = {{
    {0, CodeTarget::TailMerge, kRelocArm64Rva32},
    {4, CodeTarget::Unwind, kRelocArm64Rva32},
}};
// One code per instruction of the prologue, from its last back, and of the
// epilogue, in order; the end code stands for the closing br. The stores
// of argument registers are nops: the unwinder gives back only what the
// caller keeps (sp, fp, lr), and a save_regp or save_fregp would name x19
// and up or d8 and up, which the trampoline never touches. The epilogue
// closes the function, so the header gives where its codes start instead
// of a scope of its own. Padded to whole words with a nop, as clang
// assembles the same .seh_ directives.
inline constexpr std::array<std::uint8_t, 28> kArm64TailMergeUnwind = {
    0x1B, 0x00, 0x20, 0x33,  // 27 instructions; one epilogue at the end, its codes at 12; 6 code words
    0xE3, 0xE3, 0xE3, 0xE3,  // nop: stp q6, q7 / stp q4, q5 / stp q2, q3 / stp q0, q1
    0xE3, 0xE3, 0xE3, 0xE3,  // nop: str x8 / stp x6, x7 / stp x4, x5 / stp x2, x3
    0xE3,                    // nop: stp x0, x1
    0xE1,                    // set_fp: mov x29, sp
    0x9B,                    // save_fplr_x: stp x29, x30, [sp, #-224]! ((27 + 1) * 8)
    0xE4,                    // end
    0xE3, 0xE3, 0xE3, 0xE3,  // epilogue, nop: ldp q6, q7 / ldp q4, q5 / ldp q2, q3 / ldp q0, q1
    0xE3, 0xE3, 0xE3, 0xE3,  // nop: ldr x8 / ldp x6, x7 / ldp x4, x5 / ldp x2, x3
    0xE3,                    // nop: ldp x0, x1
    0x9B,                    // save_fplr_x: ldp x29, x30, [sp], #224
    0xE4,                    // end: br x16
    0xE3,                    // padding
};
static_assert(kArm64TailMergeUnwind[0] == kArm64TailMerge.size() / 4 && kArm64TailMergeUnwind[1] == 0,
              "the function length is the trampoline's");

inline DelayCode DelayCodeFor(Machine machine) {
  switch (machine) {
    case Machine::Amd64:
      return {kAmd64DelayImport, 6, kAmd64DelayImportFixups, kAmd64TailMerge, kAmd64TailMergeFixups,
              kAmd64TailMergeEntry, kAmd64TailMergeEntryFixups, kAmd64TailMergeUnwind};
    case Machine::Arm64:
      return {kArm64DelayImport, 12, kArm64DelayImportFixups, kArm64TailMerge, kArm64TailMergeFixups,
              kArm64TailMergeEntry, kArm64TailMergeEntryFixups, kArm64TailMergeUnwind};
    default:
      return {kI386DelayImport, 6, kI386DelayImportFixups, kI386TailMerge, kI386TailMergeFixups, {}, {}, {}};
  }
}

}  // namespace coff
