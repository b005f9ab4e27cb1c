#include "fuzz/fuzz_support.h"
#include "model/fichier_lib.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  SilenceMessageBoxes();
  TFichierLib lib;
  if (!lib.ReadOmfLibrary(ScratchFile(data, size))) std::abort();
  // An import definition takes at least a few bytes of the file.
  if (lib.Fonctions.Count > size) std::abort();
  for (std::uint32_t i = 0; i < lib.Fonctions.Count; ++i)
    if (lib.Fonctions.Item(i).ArgLength != 0) std::abort();
  return 0;
}
