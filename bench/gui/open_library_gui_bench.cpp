// Opening a library of 100,000 entries in the window: the command from the
// confirmed dialog to the refilled list box and the emptied panel, then
// the first paint of the list. Once for a COFF library, once for an OMF
// one. Also the selection display with every line selected.
#include <QApplication>
#include <QListWidget>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/dialogs.h"
#include "app/list_box.h"
#include "app/unit1.h"
#include "tests/support/omf_builder.h"
#include "tests/support/test_files.h"

namespace {

constexpr int kEntries = 100000;
constexpr int kRuns = 5;
// The OMF library in modules of a hundred import definitions each.
constexpr int kImportsPerModule = 100;
constexpr std::uint32_t kOmfPageSize = 512;
constexpr double kTargetSeconds = 1.0;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// Answers every dialog with the same path and filter.
class FixedDialogs : public TDialogs {
 public:
  FixedDialogs(std::string path, int filter) : path_(std::move(path)), filter_(filter) {}
  bool Execute(TFileDialog& dialog, QWidget*) override {
    dialog.FileName = QString::fromStdString(path_);
    dialog.FilterIndex = filter_;
    return true;
  }

 private:
  std::string path_;
  int filter_;
};

std::string FunctionName(int i) { return "WidgetFunction" + std::to_string(i); }

struct Figures {
  double open;   // the Open command
  double paint;  // the list's first paint afterwards
};

Figures OpenOnce(const std::string& path) {
  FixedDialogs dialogs(path, 1);
  TForm1 form(dialogs);
  form.show();
  QApplication::processEvents();
  const Clock::time_point start = Clock::now();
  form.Ouvrir1Click();
  const double open = Seconds(start);
  const Clock::time_point paintStart = Clock::now();
  form.ListBox1->viewport()->repaint();
  QApplication::processEvents();
  const double paint = Seconds(paintStart);
  if (form.ListBox1->count() != kEntries) std::fprintf(stderr, "wrong line count\n");
  return {open, paint};
}

void Report(const char* kind, const std::string& path) {
  std::vector<double> opens, paints;
  for (int run = 0; run < kRuns; ++run) {
    const Figures f = OpenOnce(path);
    opens.push_back(f.open);
    paints.push_back(f.paint);
  }
  std::sort(opens.begin(), opens.end());
  std::sort(paints.begin(), paints.end());
  const double total = opens[kRuns / 2] + paints[kRuns / 2];
  std::printf("%-5s %d entries: open %.3f s + first paint %.3f s = %.3f s (median of %d; target "
              "under %.1f s: %s)\n",
              kind, kEntries, opens[kRuns / 2], paints[kRuns / 2], total, kRuns, kTargetSeconds,
              total < kTargetSeconds ? "met" : "MISSED");
}

void ReportSelectAll(const std::string& path) {
  FixedDialogs dialogs(path, 1);
  TForm1 form(dialogs);
  form.show();
  form.Ouvrir1Click();
  form.ListBox1->setFocus();
  const Clock::time_point start = Clock::now();
  QTest::keyClick(form.ListBox1, Qt::Key_A, Qt::ControlModifier);  // select all, then display
  std::printf("select all %d lines and show the selection: %.3f s\n", kEntries, Seconds(start));
  const Clock::time_point removeStart = Clock::now();
  form.Button2Click();
  std::printf("remove all %d selected lines: %.3f s\n", kEntries, Seconds(removeStart));
}

// Removing the first half of the lines, selected as one range.
void ReportRemoveFirstHalf(const std::string& path) {
  FixedDialogs dialogs(path, 1);
  TForm1 form(dialogs);
  form.show();
  form.Ouvrir1Click();
  form.ListBox1->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
  form.ListBox1->selectionModel()->select(
      QItemSelection(form.ListBox1->model()->index(0, 0),
                     form.ListBox1->model()->index(kEntries / 2 - 1, 0)),
      QItemSelectionModel::Select);
  const Clock::time_point start = Clock::now();
  form.Button2Click();
  std::printf("remove the first %d lines: %.3f s\n", kEntries / 2, Seconds(start));
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  TApplication application(argc, argv);
  TempDir dir;

  TFichierLib lib;
  std::vector<omf::Import> imports;
  for (int i = 0; i < kEntries; ++i) {
    TFonctionLib& entry = lib.Fonctions.Item(static_cast<std::uint32_t>(i));
    entry.Name = FunctionName(i);
    entry.ArgLength = 4 * (i % 8);
    entry.IsPascal = i % 3 != 0;
    imports.emplace_back((entry.IsPascal ? "" : "_") + entry.Name);
  }
  const std::string coff = dir.File("coff.lib");
  lib.WriteCoffLibrary(coff);
  const std::string borland = dir.File("omf.lib");
  omf::LibraryBuilder builder(kOmfPageSize);
  for (int first = 0; first < kEntries; first += kImportsPerModule) {
    const auto from = imports.begin() + first;
    builder.AddImportModule({from, from + std::min(kImportsPerModule, kEntries - first)});
  }
  builder.WriteTo(borland);

  Report("COFF", coff);
  Report("OMF", borland);
  ReportSelectAll(coff);
  ReportRemoveFirstHalf(coff);
  return 0;
}
