// The window's two fonts, with the nearest families this system holds.
#pragma once

#include <QFont>

// The design's pixel size of its 8-point fonts at 96 dots per inch.
inline constexpr int kFontPixelSize = 11;

// "MS Sans Serif" 8 point, else a sans serif of close metrics.
QFont WindowFont();
// "Courier New" bold 8 point, else a monospaced font of close metrics.
QFont SymbolFont();
