// Reads any text as a .def file, or refuses it with the line that the
// librarians would refuse; what it reads, written again, reads back the
// same but for what the writer said before that a .def file cannot hold,
// or the writer says why it cannot be written.
#include <cstdlib>
#include <set>

#include "fuzz/fuzz_support.h"
#include "files/fichier_lib.h"
#include "model/form_losses.h"

namespace {

bool HasLineBreak(const AnsiString& text) {
  return text.find_first_of("\r\n") != AnsiString::npos;
}

// A list that names no DLL comes back naming the one the file's LIBRARY
// line gives, named after the output.
bool Same(const TFonctionLib& a, const TFonctionLib& b) {
  const ImportBinding& x = a.Import;
  const ImportBinding& y = b.Import;
  if (!x.Dll.empty() && x.Dll != y.Dll) return false;
  return a.Name == b.Name && a.ArgLength == b.ArgLength && a.IsPascal == b.IsPascal &&
         x.ExportName == y.ExportName && x.ByOrdinal == y.ByOrdinal &&
         x.NoName == y.NoName && x.Ordinal == y.Ordinal && x.Kind == y.Kind &&
         x.Symbol == y.Symbol && x.Private == y.Private && x.ForwardTo == y.ForwardTo;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  SilenceMessageBoxes();
  TFichierLib lib;
  if (const Outcome read = lib.ReadDefFile(ScratchFile(data, size)); !read) {
    if (read.Kind != OutcomeKind::Refused || !read.Detail.starts_with("line ")) std::abort();
    return 0;
  }
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
  std::set<AnsiString> lost;
  for (const FormLoss& loss : LossesOf(lib.Fonctions, ListForm::Def, lib.SourceMachine))
    lost.insert(loss.Names.begin(), loss.Names.end());
  for (std::uint32_t i = 0; i < lib.Fonctions.Count; ++i)
    if (!lost.count(lib.Fonctions.Item(i).Name) && !Same(lib.Fonctions.Item(i), back.Fonctions.Item(i)))
      std::abort();
  return 0;
}
