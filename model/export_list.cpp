#include "model/export_list.h"

#include <cerrno>

#include "model/dll_names.h"
#include "model/machine.h"

std::string WrongMachine(const ExportList& list, ListForm form) {
  const Machine machine = list.SourceMachine;
  if (Decorates(machine) || form == ListForm::Def) return {};
  const std::string image = "a list for " + MachineName(machine);
  if (form == ListForm::Omf) return image + ", and OMF import libraries are for 32-bit Intel code only";
  if (form == ListForm::Gnu) {
    if (machine == Machine::Amd64 || machine == Machine::Arm64) return {};
    return image + ", and GNU import libraries are written for 32-bit Intel, x64 and ARM64 only";
  }
  if (machine == Machine::Amd64 || machine == Machine::Arm64 ||
      machine == Machine::Arm64ec || machine == Machine::Arm64x)
    return {};
  return image + ", and the COFF writer does not write " + MachineName(machine) +
         " libraries (it writes 32-bit Intel, x64, ARM64, ARM64EC and ARM64X)";
}

std::vector<AnsiString> DelayLoad(ExportList& list) {
  std::vector<AnsiString> data;
  for (std::uint32_t i = 0; i < list.Fonctions.Count; ++i) {
    TFonctionLib& entry = list.Fonctions.Item(i);
    if (entry.Import.Kind == ImportKind::Code) entry.Import.Delayed = true;
    else if (!entry.Import.Private) data.push_back(entry.Name);
  }
  return data;
}

Outcome MakeRoom(TTableau<TFonctionLib>& list, std::uint64_t count) {
  if (count > 0xFFFFFFFFu || list.Reserve(static_cast<std::uint32_t>(count)) != 0)
    return Outcome::CannotOpen(ENOMEM);
  return Outcome::Done();
}

void Swap(ExportList& a, ExportList& b) noexcept {
  a.Fonctions.Swap(b.Fonctions);
  std::swap(a.SourceMachine, b.SourceMachine);
  a.LeftOutObjects.swap(b.LeftOutObjects);
  std::swap(a.CodePacked, b.CodePacked);
  std::swap(a.GnuForm, b.GnuForm);
  a.Dll.swap(b.Dll);
}

std::string DllFor(const ExportList& list, const std::string& outputFile) {
  return list.Dll.empty() ? DefaultDllName(outputFile) : list.Dll;
}

std::string SoleDll(const ExportList& list) {
  if (list.Fonctions.Count == 0) return {};
  const std::string& first = list.Fonctions.Data[0].Import.Dll;
  const std::string key = DllNameKey(first);
  for (std::uint32_t i = 1; i < list.Fonctions.Count; ++i)
    if (DllNameKey(list.Fonctions.Data[i].Import.Dll) != key) return {};
  return first;
}
