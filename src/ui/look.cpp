#include "ui/look.h"

#include <cmath>

#include <QGuiApplication>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QStringList>
#include <QWidget>

namespace kestrova::ui {

int twipsToPixels(double twips, double dpi) {
    return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch));
}

double pixelsToTwips(int pixels, double dpi) {
    return pixels * kTwipsPerInch / dpi;
}

QRect twipsRect(int left, int top, int width, int height, double dpi) {
    return {twipsToPixels(left, dpi), twipsToPixels(top, dpi), twipsToPixels(width, dpi),
            twipsToPixels(height, dpi)};
}

double screenDpi(const QWidget* widget) {
    const QScreen* screen = widget ? widget->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInch() : 96.0;
}

QFont fixedPitchFont(double points) {
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic"),
                      QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans Mono CJK JP"),
                      QStringLiteral("Noto Sans CJK JP")});
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    return font;
}

QFont proportionalFont(double points) {
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                      QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    return font;
}

QColor colourFromBgr(std::uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

void paintButtonCaption(QPushButton& button, const QString& caption, std::uint32_t colour,
                        int& alignment, int coloured) {
    button.setText(QString());
    const double dpr = button.devicePixelRatioF();
    // Picture1: the invisible drawing surface, of the button's size.
    QPixmap Picture1(button.size() * dpr);
    Picture1.setDevicePixelRatio(dpr);
    QFont font = proportionalFont(button.font().pointSizeF());
    font.setFamilies(button.font().families());
    font.setItalic(button.font().italic());
    font.setUnderline(button.font().underline());
    QColor fore = Qt::black;
    if (coloured != 0) {
        fore = Qt::white;
        Picture1.fill(colourFromBgr(colour));
        font.setBold(true);
    } else {
        Picture1.fill(button.palette().color(QPalette::Button));
        font.setBold(button.font().bold());
    }
    if (alignment != 1 && alignment != 2) {
        alignment = 0;
    }
    const QFontMetrics metrics(font);
    const int textWidth = metrics.horizontalAdvance(caption);
    const int margin = twipsToPixels(100, screenDpi(&button));
    int x = margin;
    if (alignment == 1) {
        x = button.width() - textWidth - margin;
    } else if (alignment == 2) {
        x = (button.width() - textWidth) / 2;
    }
    const int y = (button.height() - metrics.height()) / 2;
    {
        QPainter painter(&Picture1);
        painter.setFont(font);
        painter.setPen(fore);
        painter.drawText(x, y + metrics.ascent(), caption);
    }
    button.setIcon(QIcon(Picture1));
    button.setIconSize(button.size());
}

}  // namespace kestrova::ui
