// What a command reports about the list beyond its files: names that
// matched nothing, conventions that were guessed. Warnings, or under
// --strict errors.
#pragma once

#include <string>
#include <vector>

#include "model/conventions.h"
#include "model/form_losses.h"

namespace cli {

// Every message of a conversion goes through Print: to stderr at once,
// or, while a Capture lives on the calling thread, into its text, so that
// a batch prints each input's lines together, in the inputs' order,
// however the threads interleave.
[[gnu::format(printf, 1, 2)]] void Print(const char* format, ...);

class Capture {
 public:
  Capture();
  ~Capture();
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
  std::string* previous_;
};

// At most this many names are spelled out; "…" stands for the rest.
inline constexpr std::size_t kNamesShown = 20;

// "A, B, C", cut after kNamesShown names with ", …". Names are their bytes.
std::string NameListText(const std::vector<AnsiString>& names);

// Prints one line on stderr for each side of the report that is not
// empty, as warnings or, when asErrors, as errors. Answers whether
// anything was printed.
bool ReportUnmatched(const ConventionReport& report, bool asErrors);

// The names of the entries whose convention was guessed, in list order.
std::vector<AnsiString> GuessedNames(TTableau<TFonctionLib>& list);

// One line for all of them, as a warning or an error; nothing when there
// is none. Answers whether anything was printed.
bool ReportGuessed(const std::vector<AnsiString>& names, bool asErrors);

// What the form cannot hold of the list, one line per kind, as warnings
// or errors. Answers whether anything was printed.
bool ReportLosses(const std::vector<FormLoss>& losses, bool asErrors);

// One warning for the entries whose length contradicts their export name.
void WarnLengthDisagreements(const std::vector<AnsiString>& names);

// One warning for the object modules of a library that were left out.
void WarnLeftOut(const std::string& fileName, const std::vector<std::string>& modules);

// One warning line for one entry, as list prints them.
void WarnGuessed(const AnsiString& name);

}  // namespace cli
