#include "fuzz/fuzz_support.h"
#include "files/fichier_lib.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  SilenceMessageBoxes();
  TFichierLib lib;
  // Any outcome may come of any bytes; but never a file that cannot be
  // opened, never more entries than bytes.
  const Outcome outcome = lib.ReadCoffLibrary(ScratchFile(data, size));
  if (outcome.Kind == OutcomeKind::CannotOpen || outcome.Kind == OutcomeKind::CannotWrite)
    std::abort();
  // A library that mixes machines is refused, with the reason.
  if (outcome.Kind == OutcomeKind::Refused && (outcome.Detail.empty() || lib.Fonctions.Count != 0))
    std::abort();
  if (lib.Fonctions.Count > size) std::abort();
  // A cut-short count is the number of entries kept, or, for a library
  // whose import member the file cuts off (refused whole, keeping none),
  // at most as many as the bytes could name.
  if (outcome.Kind == OutcomeKind::CutShort &&
      (lib.Fonctions.Count != 0 ? outcome.Count != lib.Fonctions.Count : outcome.Count > size))
    std::abort();
  if (outcome.Kind == OutcomeKind::StaticLibrary &&
      (outcome.Count == 0 || lib.Fonctions.Count != 0))
    std::abort();
  return 0;
}
