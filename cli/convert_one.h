// The steps of convert that a single conversion and a batch share.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "model/conventions.h"

namespace cli {

// The conventions files first, in the order given, a later one winning
// over an earlier one; then the names given one by one, which win over the
// files. False when a file could not be read (the reason is on stderr).
bool GatherConventions(const std::vector<std::string>& conventionFiles, const ConventionTable& overrides,
                       ConventionTable& table);

// False, having said why, when --delay is asked with a form other than
// GNU's.
bool DelayFormAllowed(const ConvertArguments& arguments);

// Reads arguments.input, applies the machine and the table (when there
// is one), reports, and writes arguments.output. When unusedNames is
// given, the names of the table that match no entry go there once the
// table is applied, for the caller to report; otherwise they are reported
// here. Answers the exit status.
int ConvertOne(const ConvertArguments& arguments, const ConventionTable* table,
               std::optional<std::vector<AnsiString>>* unusedNames);

}  // namespace cli
