#include "model/hybrid_views.h"

#include <utility>
#include <vector>

namespace {

// One function, imported alike: everything but the view.
bool SameImport(const TFonctionLib& a, const TFonctionLib& b) {
  const ImportBinding& x = a.Import;
  const ImportBinding& y = b.Import;
  return a.Name == b.Name && a.ArgLength == b.ArgLength && a.IsPascal == b.IsPascal && x.Dll == y.Dll &&
         x.ExportName == y.ExportName && x.ByOrdinal == y.ByOrdinal && x.NoName == y.NoName &&
         x.Ordinal == y.Ordinal && x.Kind == y.Kind && x.Symbol == y.Symbol && x.Private == y.Private &&
         x.ForwardTo == y.ForwardTo;
}

}  // namespace

bool InView(const TFonctionLib& entry, HybridView view) {
  return entry.Import.View == HybridView::Both || entry.Import.View == view;
}

void JoinViews(ExportList& ec, ExportList& native, ExportList& out) {
  std::vector<TFonctionLib> joined;
  joined.reserve(ec.Fonctions.Count + native.Fonctions.Count);
  std::vector<TFonctionLib> waiting;  // native entries met before their EC neighbours
  std::uint32_t next = 0;             // the first EC entry not yet placed
  auto place = [&joined](TFonctionLib& entry, HybridView view) {
    entry.Import.View = view;
    joined.push_back(std::move(entry));
  };
  for (std::uint32_t n = 0; n < native.Fonctions.Count; ++n) {
    TFonctionLib& entry = native.Fonctions.Item(n);
    std::uint32_t twin = next;
    while (twin < ec.Fonctions.Count && !SameImport(ec.Fonctions.Item(twin), entry)) ++twin;
    if (twin == ec.Fonctions.Count) {
      waiting.push_back(std::move(entry));
      continue;
    }
    // The EC entries before the twin, then the native ones before it:
    // both orders hold.
    for (; next < twin; ++next) place(ec.Fonctions.Item(next), HybridView::Arm64ec);
    for (TFonctionLib& w : waiting) place(w, HybridView::Arm64);
    waiting.clear();
    place(ec.Fonctions.Item(next++), HybridView::Both);
  }
  for (; next < ec.Fonctions.Count; ++next) place(ec.Fonctions.Item(next), HybridView::Arm64ec);
  for (TFonctionLib& w : waiting) place(w, HybridView::Arm64);

  ExportList result;
  result.Fonctions.Reserve(static_cast<std::uint32_t>(joined.size()));
  for (std::size_t i = 0; i < joined.size(); ++i)
    result.Fonctions.Item(static_cast<std::uint32_t>(i)) = std::move(joined[i]);
  result.SourceMachine = Machine::Arm64x;
  result.LeftOutObjects = std::move(ec.LeftOutObjects);
  result.LeftOutObjects.insert(result.LeftOutObjects.end(), native.LeftOutObjects.begin(),
                               native.LeftOutObjects.end());
  result.CodePacked = ec.CodePacked || native.CodePacked;
  result.Dll = !ec.Dll.empty() ? ec.Dll : native.Dll;
  Swap(out, result);
}

void CopyView(const ExportList& list, HybridView view, ExportList& out) {
  ExportList copy;
  for (std::uint32_t i = 0; i < list.Fonctions.Count; ++i) {
    const TFonctionLib& entry = list.Fonctions.Data[i];
    if (!InView(entry, view)) continue;
    TFonctionLib& kept = copy.Fonctions.Item(copy.Fonctions.Count);
    kept = entry;
    kept.Import.View = HybridView::Both;
  }
  copy.SourceMachine = view == HybridView::Arm64 ? Machine::Arm64 : Machine::Arm64ec;
  copy.CodePacked = list.CodePacked;
  copy.Dll = list.Dll;
  Swap(out, copy);
}

void KeepView(ExportList& list, HybridView view) {
  ExportList kept;
  CopyView(list, view, kept);
  kept.LeftOutObjects = std::move(list.LeftOutObjects);
  Swap(list, kept);
}

std::string_view ViewWord(HybridView view) {
  switch (view) {
    case HybridView::Arm64: return "arm64";
    case HybridView::Arm64ec: return "arm64ec";
    case HybridView::Both: break;
  }
  return "both";
}
