#include "fuzz/fuzz_support.h"
#include "files/fichier_lib.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  SilenceMessageBoxes();
  TFichierLib lib;
  const Outcome outcome = lib.ReadDllFile(ScratchFile(data, size));
  if (!outcome) {
    // A refusal says why, and leaves the list empty as it found it.
    if (outcome.Kind != OutcomeKind::CutShort && outcome.Detail.empty()) std::abort();
    if (lib.Fonctions.Count != 0) std::abort();
    return 0;
  }
  // Ordinals are 16 bits: no export directory holds more exports than
  // that, plus as many names again; an ARM64X DLL has two directories.
  const std::uint32_t directories = lib.SourceMachine == Machine::Arm64x ? 2 : 1;
  if (lib.Fonctions.Count > directories * 2 * 65536) std::abort();
  for (std::uint32_t i = 0; i < lib.Fonctions.Count; ++i) {
    const TFonctionLib& e = lib.Fonctions.Item(i);
    if (e.Name.empty() || (e.Import.NoName && !e.Import.ByOrdinal)) std::abort();
  }
  return 0;
}
