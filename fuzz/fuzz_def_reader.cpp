#include "fuzz/fuzz_support.h"
#include "model/fichier_lib.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  SilenceMessageBoxes();
  TFichierLib lib;
  if (!lib.ReadDefFile(ScratchFile(data, size))) std::abort();
  // Every entry is a trimmed name without line breaks.
  for (std::uint32_t i = 0; i < lib.Fonctions.Count; ++i) {
    const TFonctionLib& e = lib.Fonctions.Item(i);
    if (e.ArgLength != 0 || !e.IsPascal) std::abort();
    if (e.Name.find('\n') != AnsiString::npos || e.Name.find('\r') != AnsiString::npos)
      std::abort();
  }
  return 0;
}
