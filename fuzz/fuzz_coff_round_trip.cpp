// Builds a list from the input, writes it as a COFF import library and
// reads it back: every entry must come back as the reader undoes its
// Microsoft symbol, in list order.
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz/fuzz_support.h"
#include "files/fichier_lib.h"
#include "model/entry_edits.h"

namespace {

constexpr std::size_t kMaxEntries = 64;
constexpr std::size_t kMaxNameLength = 48;

TFonctionLib Expected(const TFonctionLib& written) {
  AnsiString s = MicrosoftName(written).substr(1);  // one leading underscore
  TFonctionLib e;
  auto at = s.find('@');
  if (at == AnsiString::npos) {
    e.Name = s;
    e.ArgLength = 0;
    e.IsPascal = false;
  } else {
    e.Name = s.substr(0, at);
    e.ArgLength = StrToIntDef(std::string_view(s).substr(at + 1), 0);
    e.IsPascal = true;
  }
  return e;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  SilenceMessageBoxes();
  FuzzedDataProvider input(data, size);
  TFichierLib lib;
  // Most inputs lift control characters to letters, so that the trip itself
  // is what gets fuzzed; the others keep them, to fuzz the refusal.
  const bool keepControls = input.ConsumeIntegralInRange<int>(0, 7) == 0;
  std::uint32_t count = 0;
  while (count < kMaxEntries && input.remaining_bytes() > 0) {
    TFonctionLib& e = lib.Fonctions.Item(count++);
    e.IsPascal = input.ConsumeBool();
    e.ArgLength = input.ConsumeIntegral<std::int32_t>();
    e.Name = input.ConsumeRandomLengthString(kMaxNameLength);
    // Symbols are zero-terminated in the file; a zero byte cannot be part
    // of a name that survives the trip.
    std::erase(e.Name, '\0');
    if (!keepControls)
      for (char& c : e.Name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = static_cast<char>((c & 0x1f) | 0x40);
  }
  // A name with a tab or a line break is refused before anything is built;
  // any other failure, the proof's above all, is a fault.
  bool refused = false;
  for (std::uint32_t i = 0; i < count; ++i) refused |= NameWithControlCharacter(lib.Fonctions.Item(i)) != nullptr;
  const std::string& path = ScratchOutput();
  Outcome written = lib.WriteCoffLibrary(path);
  if (refused) {
    if (written.Kind != OutcomeKind::Refused) std::abort();
    return 0;
  }
  if (!written) std::abort();

  TFichierLib back;
  if (!back.IsCoffArchive(path)) std::abort();
  if (!back.ReadCoffLibrary(path)) std::abort();
  if (back.Fonctions.Count != lib.Fonctions.Count) std::abort();
  for (std::uint32_t i = 0; i < count; ++i) {
    TFonctionLib want = Expected(lib.Fonctions.Item(i));
    const TFonctionLib& got = back.Fonctions.Item(i);
    if (got.Name != want.Name || got.ArgLength != want.ArgLength || got.IsPascal != want.IsPascal)
      std::abort();
  }
  return 0;
}
