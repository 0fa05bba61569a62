#pragma once

#include <cstdint>

#include <QColor>
#include <QFont>
#include <QRect>

class QWidget;

namespace kestrova::ui {

/// Twips per inch: the window's design unit (15 twips a pixel at 96 dpi).
inline constexpr double kTwipsPerInch = 1440.0;

/// Converts design twips to pixels at `dpi` dots per inch.
int twipsToPixels(double twips, double dpi);
double pixelsToTwips(int pixels, double dpi);

/// A design rectangle (left, top, width, height in twips) in pixels.
QRect twipsRect(int left, int top, int width, int height, double dpi);

/// The logical dpi of the screen `widget` is on (96 when there is none).
double screenDpi(const QWidget* widget);

/// "ＭＳ ゴシック" (fixed pitch) or "ＭＳ Ｐゴシック" (proportional), with the installed Japanese
/// fonts standing in where the Windows fonts are missing.
QFont fixedPitchFont(double points);
QFont proportionalFont(double points);

/// A colour in the platform's &H00BBGGRR form.
QColor colourFromBgr(std::uint32_t bgr);

/// Puts `widget` at a design rectangle.
void placeAt(QWidget* widget, int left, int top, int width, int height, double dpi);

}  // namespace kestrova::ui
