// What a form of file cannot hold of a list, named before anything is
// written: a save that drops lengths or DATA without a word makes a
// library that links and then fails at run time.
//
// Each front end says it in its own words (a question in French in the
// window; a warning, or an error under --strict, on the command line).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "model/fonction_lib.h"
#include "model/machine.h"
#include "model/tableau.h"

// The forms the list is written in: Gnu is a COFF library in GNU's long
// format (a head object per DLL, an object per import, a tail).
enum class ListForm : std::uint8_t { Coff, Omf, Def, Gnu };

// One thing a form loses. A front end that meets a kind it does not know
// says so in general words.
enum class LossKind : std::uint8_t {
  ArgumentLength,  // a length that the export name does not spell
  DataImport,      // DATA or CONSTANT imports that would become code
  ExportName,      // a name the loader looks up that the form cannot say
  ConstImport,     // CONSTANT imports that would become DATA
  DelayLoad,       // delay-loaded imports that would be loaded with the program
};

struct FormLoss {
  LossKind Kind;
  // The entries concerned, by Name, in list order.
  std::vector<AnsiString> Names;
};

// What saving the list of the given machine (its SourceMachine) in the
// form loses; nothing when the form keeps the whole list. Kinds come in
// the order of the enumeration, each at most once. A list for another
// processor is no loss: the writers refuse it with the reason.
std::vector<FormLoss> LossesOf(TTableau<TFonctionLib>& list, ListForm form, Machine machine);

// A .def file can write text as one word: in double quotes, or, for text
// that holds a quote, bare when nothing else in it ends a word (a blank,
// '=', ',', ';', a quote first). Never a line break.
bool DefWordCanHold(std::string_view text);

// The entries whose length contradicts the one their export name spells
// ("_Foo@4" or "Foo@4" exported, 12 set): a client pushes one size, the
// DLL's function pops another. By Name, in list order.
std::vector<AnsiString> LengthDisagreements(TTableau<TFonctionLib>& list);
// The same for one entry: true, with the length the export name spells,
// when the entry's length contradicts it.
bool LengthDisagrees(const TFonctionLib& entry, std::int32_t& spelled);
