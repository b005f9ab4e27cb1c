#include "app/fonts.h"

#include <QFontMetrics>
#include <QLabel>

#include <algorithm>

#include <QFontDatabase>
#include <QStringList>

namespace {

// The first family installed, else the last one named (the font matcher
// then picks whatever comes closest).
QString FirstInstalled(const QStringList& families) {
  const QStringList installed = QFontDatabase::families();
  for (const QString& family : families)
    if (installed.contains(family, Qt::CaseInsensitive)) return family;
  return families.back();
}

QFont MakeFont(const QStringList& families, bool bold, QFont::StyleHint hint) {
  QFont font(FirstInstalled(families));
  font.setStyleHint(hint);
  font.setPixelSize(kFontPixelSize);
  font.setBold(bold);
  return font;
}

}  // namespace

QFont WindowFont() {
  static const QFont font =
      MakeFont({"MS Sans Serif", "Liberation Sans", "DejaVu Sans"}, false, QFont::SansSerif);
  return font;
}

QFont SymbolFont() {
  static const QFont font =
      MakeFont({"Courier New", "Liberation Mono", "DejaVu Sans Mono"}, true, QFont::Monospace);
  return font;
}

QLabel* CaptionLabel(QWidget* parent, const char* caption, int left, int top, int width, int height) {
  auto* label = new QLabel(QString::fromUtf8(caption), parent);
  label->setTextFormat(Qt::PlainText);
  const QFontMetrics metrics(label->font());
  const int textWidth = metrics.horizontalAdvance(label->text()) + 1;
  label->setGeometry(left, top, std::max(width, textWidth), std::max(height, metrics.height()));
  return label;
}
