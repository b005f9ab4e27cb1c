// How a 32-bit function returns, found by following its code from its
// first instruction: through jumps (a tail call is the same function as
// far as its caller's stack goes), along both ways of every conditional
// branch, never into calls. The walk is bounded in instructions and in
// paths, so a hostile image costs no more than a well-behaved one.
#pragma once

#include <cstdint>
#include <unordered_map>

#include "pe/pe_image.h"

namespace pe {

enum class ReturnKind : std::uint8_t {
  PopsArguments,        // every return is "ret N": the callee pops N bytes
  PlainReadsArguments,  // plain "ret" and the code reads its stack arguments
  PlainNoArguments,     // plain "ret", no stack argument read: 0 bytes either way
  Unknown,              // no return found, returns that disagree, or the walk gave up
};

struct WalkResult {
  ReturnKind Kind = ReturnKind::Unknown;
  std::uint16_t Popped = 0;  // for PopsArguments
};

class CodeWalker {
 public:
  explicit CodeWalker(const Image& image);
  ~CodeWalker();
  CodeWalker(const CodeWalker&) = delete;
  CodeWalker& operator=(const CodeWalker&) = delete;

  // The same address is walked once however many exports lead to it.
  WalkResult Walk(std::uint32_t rva);

 private:
  WalkResult WalkUncached(std::uint32_t rva);

  const Image& image_;
  struct Decoder;
  Decoder* decoder_;
  std::unordered_map<std::uint32_t, WalkResult> cache_;
  std::int64_t budgetUsed_ = 0;  // instructions decoded for the whole image
};

}  // namespace pe
