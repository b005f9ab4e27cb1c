// The window's two fonts, with the nearest families this system holds,
// and its captions' labels.
#pragma once

#include <QFont>

class QLabel;
class QWidget;

// The design's pixel size of its 8-point fonts at 96 dots per inch.
inline constexpr int kFontPixelSize = 11;

// "MS Sans Serif" 8 point, else a sans serif of close metrics.
QFont WindowFont();
// "Courier New" bold 8 point, else a monospaced font of close metrics.
QFont SymbolFont();

// A label placed in parent that takes the width of its caption, as the
// design's labels do, so that no caption is ever cut.
QLabel* CaptionLabel(QWidget* parent, const char* caption, int left, int top, int width, int height);
