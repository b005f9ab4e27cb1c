#include "model/fichier_lib.h"

bool TFichierLib::WriteBorlandLibrary(const std::string&) {
  MessageBoxA(nullptr, "Non implémenté", "Erreur", MB_ICONERROR);
  return false;
}
