// Reads the export table of a PE image.
#include "model/fichier_lib.h"

Outcome TFichierLib::ReadDllFile(const std::string&) {
  return Outcome::Refused("reading DLLs is not built yet");
}
