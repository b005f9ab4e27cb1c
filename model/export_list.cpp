#include "model/export_list.h"

#include <cerrno>

#include "model/machine.h"

std::string WrongMachine(const ExportList& list, ListForm form) {
  const std::uint16_t machine = list.SourceMachine;
  if (machine == 0 || machine == MachineNumber(Machine::I386) || form == ListForm::Def) return {};
  return "the list is for another processor (" + MachineName(machine) + ")" +
         (form == ListForm::Omf ? ", and OMF import libraries are for 32-bit Intel code only"
                                : ", and the COFF writer makes 32-bit Intel libraries only");
}

Outcome MakeRoom(TTableau<TFonctionLib>& list, std::uint64_t count) {
  if (count > 0xFFFFFFFFu || list.Reserve(static_cast<std::uint32_t>(count)) != 0)
    return Outcome::CannotOpen(ENOMEM);
  return Outcome::Done();
}
