#include "model/fichier_lib.h"

Outcome TFichierLib::WriteBorlandLibrary(const std::string&) {
  return Outcome::Refused("not implemented");
}
