#include "fuzz/fuzz_support.h"
#include "files/fichier_lib.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  SilenceMessageBoxes();
  TFichierLib lib;
  const Outcome outcome = lib.ReadOmfLibrary(ScratchFile(data, size));
  if (outcome.Kind == OutcomeKind::CannotOpen) std::abort();
  // An import definition takes at least a few bytes of the file.
  if (lib.Fonctions.Count > size) std::abort();
  if (outcome.Kind == OutcomeKind::CutShort && outcome.Count != lib.Fonctions.Count) std::abort();
  // What was read is written back, unless a name is too long for the format.
  if (lib.Fonctions.Count != 0) {
    const std::string copy = ScratchFile(data, size) + ".omf";
    const Outcome written = lib.WriteBorlandLibrary(copy);
    if (!written && written.Kind != OutcomeKind::Refused) std::abort();
    if (written) {
      TFichierLib back;
      if (!back.ReadOmfLibrary(copy) || back.Fonctions.Count != lib.Fonctions.Count) std::abort();
    }
  }
  return 0;
}
