#include "model/fichier_lib.h"
#include "platform/safe_save.h"

namespace {

constexpr char kHeaderLine[] = "EXPORTS\r\n";
constexpr char kIndent[] = "    ";
constexpr char kLineEnd[] = "\r\n";

}  // namespace

Outcome TFichierLib::WriteDefFile(const std::string& fileName) {
  SafeSave file(fileName);
  if (!file.IsOpen()) return Outcome::CannotOpen(file.Error());
  file.Write(kHeaderLine, sizeof kHeaderLine - 1);
  AnsiString line;
  for (std::uint32_t i = 0; i < Fonctions.Count; ++i) {
    const AnsiString& name = Fonctions.Item(i).Name;
    line.assign(kIndent);
    line += name;
    line += '=';
    line += name;
    line += kLineEnd;
    if (!file.Write(line.data(), static_cast<std::uint32_t>(line.size()))) break;
  }
  if (!file.Commit()) return Outcome::CannotWrite(file.Error());
  return Outcome::Done();
}
