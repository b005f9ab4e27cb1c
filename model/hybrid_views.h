// The two views of a hybrid (ARM64X) list: what ARM64 clients import and
// what ARM64EC clients import, kept in one list whose entries each say
// their view (ImportBinding::View). A function both views import alike is
// one entry of view Both.
#pragma once

#include <string_view>

#include "model/export_list.h"

// True when the entry belongs to the view (Both belongs to each).
bool InView(const TFonctionLib& entry, HybridView view);

// The ARM64X list of two lists read apart: ec (its ARM64EC view) and
// native (its ARM64 view). Each view's entries keep their own order in the
// result, so that filtering the result by view gives each list back; an
// entry of native equal to one of ec, met in the same order, becomes one
// entry of view Both. The result's machine is ARM64X.
void JoinViews(ExportList& ec, ExportList& native, ExportList& out);

// The one view (Arm64 or Arm64ec) of an ARM64X list, as a list of that
// view's machine whose entries are Both again.
void CopyView(const ExportList& list, HybridView view, ExportList& out);

// Keeps of an ARM64X list the one view (Arm64 or Arm64ec), its entries
// marked Both again, and gives the list that view's machine.
void KeepView(ExportList& list, HybridView view);

// "arm64", "arm64ec" or "both", as `list` prints it.
std::string_view ViewWord(HybridView view);
