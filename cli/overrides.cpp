#include "cli/overrides.h"

#include "model/decorated_names.h"

namespace cli {

namespace {

TFonctionLib ParsePascal(const std::string& value) {
  const auto equals = value.rfind('=');
  if (equals == std::string::npos || equals == 0)
    throw UsageError("--pascal wants NAME=BYTES, not \"" + value + "\"");
  std::int32_t length = 0;
  const std::string bytes = value.substr(equals + 1);
  if (!TryStrToInt(bytes, length) || length < 0)
    throw UsageError("--pascal " + value + ": \"" + bytes +
                     "\" is not a number of argument bytes");
  TFonctionLib entry;
  entry.Name = value.substr(0, equals);
  entry.ArgLength = length;
  entry.IsPascal = true;
  return entry;
}

TFonctionLib ParseStdcall(const std::string& name) {
  if (name.empty()) throw UsageError("--stdcall wants a NAME");
  TFonctionLib entry;
  entry.Name = name;
  entry.ArgLength = 0;
  entry.IsPascal = false;
  return entry;
}

void Add(ConventionTable& table, const TFonctionLib& entry) {
  if (const TFonctionLib* given = table.Find(entry.Name);
      given && MicrosoftName(*given) != MicrosoftName(entry))
    throw UsageError("\"" + entry.Name + "\" is given as both " + MicrosoftName(*given) +
                     " and " + MicrosoftName(entry));
  table.Set(entry);
}

}  // namespace

ConventionTable ParseOverrides(const std::vector<std::string>& pascal,
                               const std::vector<std::string>& stdcall) {
  ConventionTable table;
  for (const std::string& value : pascal) Add(table, ParsePascal(value));
  for (const std::string& name : stdcall) Add(table, ParseStdcall(name));
  return table;
}

}  // namespace cli
