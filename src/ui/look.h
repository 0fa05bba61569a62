#pragma once

#include <cstdint>

#include <QColor>
#include <QFont>
#include <QRect>

class QPushButton;
class QString;
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

/// Paints `caption` onto the face of `button` (colour &H00BBGGRR; alignment 0 left,
/// 1 right, 2 centre; any other alignment becomes 0, also in the caller's variable).
void paintButtonCaption(QPushButton& button, const QString& caption, std::uint32_t colour,
                        int& alignment, int coloured);

}  // namespace kestrova::ui
