#include "pe/code_walk.h"

#include <Zydis/Zydis.h>

#include <deque>
#include <optional>
#include <unordered_set>

namespace pe {
namespace {

// Enough for the prologue, the argument reads and the returns of any
// ordinary function; a walk that needs more gives up.
constexpr int kMaxInstructions = 4096;
constexpr int kMaxPaths = 256;
// For all the walks of one image together: 65,536 exports of hostile code
// cost no more than this, and the walks past it give up.
constexpr std::int64_t kMaxImageInstructions = std::int64_t{1} << 22;

// Where a path stands: the next instruction, and the stack and frame
// pointers as offsets from the stack pointer at the function's entry
// (which points at the return address, so arguments start at +4).
struct PathState {
  std::uint32_t Rva = 0;
  std::optional<std::int64_t> Esp = 0;
  std::optional<std::int64_t> Ebp;
};

bool IsRegister(const ZydisDecodedOperand& op, ZydisRegister reg) {
  return op.type == ZYDIS_OPERAND_TYPE_REGISTER && op.reg.value == reg;
}

std::optional<std::int64_t> Immediate(const ZydisDecodedOperand& op) {
  if (op.type != ZYDIS_OPERAND_TYPE_IMMEDIATE) return std::nullopt;
  return op.imm.is_signed ? op.imm.value.s : static_cast<std::int64_t>(op.imm.value.u);
}

}  // namespace

struct CodeWalker::Decoder {
  ZydisDecoder zydis;
};

CodeWalker::CodeWalker(const Image& image) : image_(image), decoder_(new Decoder) {
  ZydisDecoderInit(&decoder_->zydis, ZYDIS_MACHINE_MODE_LEGACY_32, ZYDIS_STACK_WIDTH_32);
}

CodeWalker::~CodeWalker() { delete decoder_; }

WalkResult CodeWalker::Walk(std::uint32_t rva) {
  if (auto it = cache_.find(rva); it != cache_.end()) return it->second;
  const WalkResult result = WalkUncached(rva);
  cache_.emplace(rva, result);
  return result;
}

WalkResult CodeWalker::WalkUncached(std::uint32_t start) {
  std::deque<PathState> paths;
  paths.push_back(PathState{start, 0, std::nullopt});
  int pathsTaken = 1;
  int instructions = 0;
  std::unordered_set<std::uint32_t> visited;

  bool readsArguments = false;
  bool plainReturn = false;
  std::optional<std::uint16_t> popped;

  ZydisDecodedInstruction ins;
  ZydisDecodedOperand ops[ZYDIS_MAX_OPERAND_COUNT];
  // A "ret N", or a plain "ret" in code that reads its arguments, settles
  // it; the paths left would only cost time.
  auto settled = [&] { return popped || (plainReturn && readsArguments); };
  while (!paths.empty() && !settled()) {
    PathState s = paths.front();
    paths.pop_front();
    for (;;) {
      if (settled() || !visited.insert(s.Rva).second) break;  // settled, or joined a walked path
      if (++instructions > kMaxInstructions || ++budgetUsed_ > kMaxImageInstructions) {
        paths.clear();
        break;
      }
      const std::string_view code = image_.BytesAt(s.Rva);
      if (code.empty() || !image_.IsExecutable(s.Rva) ||
          ZYAN_FAILED(ZydisDecoderDecodeFull(&decoder_->zydis, code.data(), code.size(), &ins, ops))) {
        break;  // out of the code, or no instruction: this path tells nothing
      }
      const std::uint32_t next = s.Rva + ins.length;
      const std::uint8_t visible = ins.operand_count_visible;

      for (std::uint8_t i = 0; i < visible; ++i) {
        const ZydisDecodedOperand& op = ops[i];
        if (op.type != ZYDIS_OPERAND_TYPE_MEMORY || op.mem.index != ZYDIS_REGISTER_NONE) continue;
        std::optional<std::int64_t> base;
        if (op.mem.base == ZYDIS_REGISTER_ESP) base = s.Esp;
        if (op.mem.base == ZYDIS_REGISTER_EBP) base = s.Ebp;
        const std::int64_t disp = op.mem.disp.has_displacement ? op.mem.disp.value : 0;
        if (base && *base + disp >= 4) readsArguments = true;
      }

      const std::int64_t width = ins.operand_width / 8;
      auto moveEsp = [&s](std::int64_t delta) {
        if (s.Esp) *s.Esp += delta;
      };
      bool endPath = false;
      switch (ins.mnemonic) {
        case ZYDIS_MNEMONIC_RET: {
          const std::optional<std::int64_t> n = visible > 0 ? Immediate(ops[0]) : std::nullopt;
          if (n && *n != 0) {
            popped = static_cast<std::uint16_t>(*n);
          } else {
            plainReturn = true;
          }
          endPath = true;
          break;
        }
        case ZYDIS_MNEMONIC_JMP:
          if (visible > 0 && ops[0].type == ZYDIS_OPERAND_TYPE_IMMEDIATE) {
            ZyanU64 target = 0;
            if (ZYAN_FAILED(ZydisCalcAbsoluteAddress(&ins, &ops[0], s.Rva, &target))) {
              endPath = true;
            } else {
              s.Rva = static_cast<std::uint32_t>(target);
              continue;
            }
          } else {
            // An import thunk or a jump table: where it leads is not in
            // this image's code, or not known without running it.
            endPath = true;
          }
          break;
        case ZYDIS_MNEMONIC_INT3:
        case ZYDIS_MNEMONIC_UD2:
        case ZYDIS_MNEMONIC_HLT:
        case ZYDIS_MNEMONIC_INT:
        case ZYDIS_MNEMONIC_IRETD:
        case ZYDIS_MNEMONIC_SYSENTER:
          endPath = true;
          break;
        case ZYDIS_MNEMONIC_PUSH:
          moveEsp(-width);
          break;
        case ZYDIS_MNEMONIC_POP:
          moveEsp(width);
          if (visible > 0 && IsRegister(ops[0], ZYDIS_REGISTER_EBP)) s.Ebp.reset();
          if (visible > 0 && IsRegister(ops[0], ZYDIS_REGISTER_ESP)) s.Esp.reset();
          break;
        case ZYDIS_MNEMONIC_PUSHAD:
        case ZYDIS_MNEMONIC_PUSHA:
          moveEsp(-32);
          break;
        case ZYDIS_MNEMONIC_POPAD:
        case ZYDIS_MNEMONIC_POPA:
          moveEsp(32);
          s.Ebp.reset();
          break;
        case ZYDIS_MNEMONIC_PUSHFD:
          moveEsp(-4);
          break;
        case ZYDIS_MNEMONIC_POPFD:
          moveEsp(4);
          break;
        case ZYDIS_MNEMONIC_LEAVE:
          s.Esp = s.Ebp ? std::optional<std::int64_t>(*s.Ebp + 4) : std::nullopt;
          s.Ebp.reset();
          break;
        case ZYDIS_MNEMONIC_ENTER: {
          moveEsp(-4);
          s.Ebp = s.Esp;
          const std::optional<std::int64_t> n = visible > 0 ? Immediate(ops[0]) : std::nullopt;
          if (n) moveEsp(-*n); else s.Esp.reset();
          break;
        }
        case ZYDIS_MNEMONIC_CALL:
          // The callee's own stack use is its business; what it pops of
          // its arguments is not known here, so the offset stays as it
          // was, which only ever makes an argument look like a local.
          break;
        default:
          if (ins.meta.category == ZYDIS_CATEGORY_COND_BR) {
            ZyanU64 target = 0;
            if (visible > 0 && ZYAN_SUCCESS(ZydisCalcAbsoluteAddress(&ins, &ops[0], s.Rva, &target))) {
              // Past the bound the branch is left out: what the other
              // paths found still stands.
              if (pathsTaken < kMaxPaths) {
                ++pathsTaken;
                PathState branch = s;
                branch.Rva = static_cast<std::uint32_t>(target);
                paths.push_back(branch);
              }
            }
            break;
          }
          if (visible >= 1 && ops[0].type == ZYDIS_OPERAND_TYPE_REGISTER &&
              (ops[0].actions & ZYDIS_OPERAND_ACTION_MASK_WRITE) != 0) {
            const ZydisRegister target = ops[0].reg.value;
            const std::optional<std::int64_t> imm = visible >= 2 ? Immediate(ops[1]) : std::nullopt;
            if (target == ZYDIS_REGISTER_ESP) {
              if (ins.mnemonic == ZYDIS_MNEMONIC_SUB && imm) {
                moveEsp(-*imm);
              } else if (ins.mnemonic == ZYDIS_MNEMONIC_ADD && imm) {
                moveEsp(*imm);
              } else if (ins.mnemonic == ZYDIS_MNEMONIC_MOV && visible >= 2 &&
                         IsRegister(ops[1], ZYDIS_REGISTER_EBP)) {
                s.Esp = s.Ebp;
              } else if (ins.mnemonic == ZYDIS_MNEMONIC_LEA && ops[1].type == ZYDIS_OPERAND_TYPE_MEMORY &&
                         ops[1].mem.base == ZYDIS_REGISTER_EBP && ops[1].mem.index == ZYDIS_REGISTER_NONE &&
                         s.Ebp) {
                s.Esp = *s.Ebp + ops[1].mem.disp.value;
              } else {
                s.Esp.reset();
              }
            } else if (target == ZYDIS_REGISTER_EBP) {
              if (ins.mnemonic == ZYDIS_MNEMONIC_MOV && visible >= 2 && IsRegister(ops[1], ZYDIS_REGISTER_ESP))
                s.Ebp = s.Esp;
              else
                s.Ebp.reset();
            }
          }
          break;
      }
      if (endPath) break;
      s.Rva = next;
    }
  }

  WalkResult result;
  if (popped && plainReturn) return result;  // returns that disagree
  if (popped) {
    result.Kind = ReturnKind::PopsArguments;
    result.Popped = *popped;
  } else if (plainReturn) {
    result.Kind = readsArguments ? ReturnKind::PlainReadsArguments : ReturnKind::PlainNoArguments;
  }
  return result;
}

}  // namespace pe
