// Reads any text as a .def file; what it reads, written again, reads back
// the same, or the writer says why it cannot be written.
#include <cstdlib>

#include "fuzz/fuzz_support.h"
#include "files/fichier_lib.h"

namespace {

bool HasLineBreak(const AnsiString& text) {
  return text.find_first_of("\r\n") != AnsiString::npos;
}

// An entry whose import says nothing but its DLL is written as the old
// lists were, without its convention: it reads back as Name, 0, _pascal.
bool Same(const TFonctionLib& a, const TFonctionLib& b) {
  const ImportBinding& x = a.Import;
  const ImportBinding& y = b.Import;
  ImportBinding rest = x;
  rest.Dll.clear();
  if (rest.Empty())
    return a.Name == b.Name && b.ArgLength == 0 && b.IsPascal && x.Dll == y.Dll &&
           y.Empty() == x.Dll.empty();
  return a.Name == b.Name && a.ArgLength == b.ArgLength && a.IsPascal == b.IsPascal &&
         x.Dll == y.Dll && x.ExportName == y.ExportName && x.ByOrdinal == y.ByOrdinal &&
         x.NoName == y.NoName && x.Ordinal == y.Ordinal && x.Kind == y.Kind &&
         x.Symbol == y.Symbol && x.Private == y.Private && x.ForwardTo == y.ForwardTo;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  SilenceMessageBoxes();
  TFichierLib lib;
  if (!lib.ReadDefFile(ScratchFile(data, size))) std::abort();
  for (std::uint32_t i = 0; i < lib.Fonctions.Count; ++i) {
    const TFonctionLib& e = lib.Fonctions.Item(i);
    if (HasLineBreak(e.Name) || HasLineBreak(e.Import.Symbol) || HasLineBreak(e.Import.Dll) ||
        HasLineBreak(e.Import.ExportName) || HasLineBreak(e.Import.ForwardTo))
      std::abort();
  }
  const Outcome written = lib.WriteDefFile(ScratchOutput());
  if (!written) {
    if (written.Kind != OutcomeKind::Refused || written.Detail.empty()) std::abort();
    return 0;
  }
  TFichierLib back;
  if (!back.ReadDefFile(ScratchOutput()) || back.Fonctions.Count != lib.Fonctions.Count)
    std::abort();
  for (std::uint32_t i = 0; i < lib.Fonctions.Count; ++i)
    if (!Same(lib.Fonctions.Item(i), back.Fonctions.Item(i))) std::abort();
  return 0;
}
