#include "fuzz/fuzz_support.h"
#include "model/fichier_lib.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  SilenceMessageBoxes();
  TFichierLib lib;
  try {
    if (!lib.ReadCoffLibrary(ScratchFile(data, size))) std::abort();
  } catch (const ERangeError&) {
    // A string table that runs out is reported this way; the entries read
    // before it stay.
  }
  if (lib.Fonctions.Count > size) std::abort();
  return 0;
}
