#include "model/outcome.h"

#include "platform/system_error.h"

std::string Describe(const Outcome& outcome) {
  switch (outcome.Kind) {
    case OutcomeKind::Done:
      return "done";
    case OutcomeKind::CannotOpen:
      return outcome.Error != 0 ? platform::SystemErrorText(outcome.Error) : "cannot open";
    case OutcomeKind::NotImportLibrary:
      return outcome.Detail.empty() ? "not an import library"
                                    : "not an import library (" + outcome.Detail + ")";
    case OutcomeKind::StaticLibrary:
      return "a static library of " + std::to_string(outcome.Count) +
             (outcome.Count == 1 ? " object module" : " object modules") +
             " and no import, not an import library";
    case OutcomeKind::CutShort:
      return "the file is cut short: only " + std::to_string(outcome.Count) +
             (outcome.Count == 1 ? " entry" : " entries") + " could be read" +
             (outcome.Detail.empty() ? "" : " (" + outcome.Detail + ")");
    case OutcomeKind::Refused:
      return outcome.Detail;
    case OutcomeKind::CannotWrite:
      if (outcome.Error != 0)
        return std::string("cannot write: ") + platform::SystemErrorText(outcome.Error) +
               (outcome.Detail.empty() ? "" : " (" + outcome.Detail + ")");
      return "cannot write" + (outcome.Detail.empty() ? std::string() : ": " + outcome.Detail);
    case OutcomeKind::Unproven:
      return "internal error, nothing was written: " + outcome.Detail;
  }
  return "unknown outcome";
}
