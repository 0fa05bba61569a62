#include "ui/artwork.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace kestrova::ui {

namespace {

constexpr int kIconSize = 24;

QPixmap blank(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

/// A round badge with one character, as the info and help pictures are.
QPixmap badge(QColor colour, const QString& mark) {
    QPixmap pixmap = blank(kIconSize);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient shade(QPointF(9, 8), 14);
    shade.setColorAt(0, colour.lighter(135));
    shade.setColorAt(1, colour);
    p.setPen(QPen(colour.darker(140), 1));
    p.setBrush(shade);
    p.drawEllipse(QRectF(2, 2, 20, 20));
    QFont font;
    font.setPixelSize(15);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(2, 2, 20, 20), Qt::AlignCenter, mark);
    return pixmap;
}

QPixmap quitPicture() {
    QPixmap pixmap = blank(kIconSize);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // A door left open, an arrow going out of it.
    p.setPen(QPen(QColor(0x5A, 0x3A, 0x1E), 1.2));
    p.setBrush(QColor(0xC8, 0x8A, 0x4E));
    p.drawRect(QRectF(3.5, 2.5, 11, 19));
    p.setBrush(QColor(0x8B, 0x5A, 0x2B));
    p.drawPolygon(
        QPolygonF({QPointF(3.5, 2.5), QPointF(10, 5), QPointF(10, 23.5), QPointF(3.5, 21.5)}));
    p.setPen(QPen(QColor(0xC6, 0x28, 0x28), 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(12.5, 12), QPointF(21, 12));
    p.drawPolyline(QPolygonF({QPointF(17.5, 8.5), QPointF(21, 12), QPointF(17.5, 15.5)}));
    return pixmap;
}

QPixmap settingPicture() {
    QPixmap pixmap = blank(kIconSize);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(12, 12);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x60, 0x6A, 0x74));
    for (int tooth = 0; tooth < 8; ++tooth) {
        p.drawRect(QRectF(-2, -11, 4, 5));
        p.rotate(45);
    }
    p.drawEllipse(QRectF(-8, -8, 16, 16));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(-3, -3, 6, 6));
    return pixmap;
}

QPixmap documentPicture() {
    QPixmap pixmap = blank(kIconSize);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // A page with a folded corner and lines of text: the data description document.
    QPainterPath page;
    page.moveTo(4.5, 1.5);
    page.lineTo(14.5, 1.5);
    page.lineTo(19.5, 6.5);
    page.lineTo(19.5, 22.5);
    page.lineTo(4.5, 22.5);
    page.closeSubpath();
    p.setPen(QPen(QColor(0x50, 0x5A, 0x66), 1));
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.setBrush(QColor(0xD8, 0xDE, 0xE6));
    p.drawPolygon(QPolygonF({QPointF(14.5, 1.5), QPointF(14.5, 6.5), QPointF(19.5, 6.5)}));
    p.setPen(QPen(QColor(0x1F, 0x6F, 0xB5), 1.4));
    for (double y : {9.5, 12.5, 15.5, 18.5}) {
        p.drawLine(QPointF(7, y), QPointF(y < 10 ? 12.5 : 17, y));
    }
    p.setPen(QPen(QColor(0xC6, 0x28, 0x28), 1.2));
    p.setBrush(QColor(0xC6, 0x28, 0x28));
    p.drawRect(QRectF(6.5, 19.5, 4, 1.5));
    return pixmap;
}

/// The kestrel of the artwork: wings spread, seen from below.
QPainterPath kestrel(QPointF centre, double span) {
    const double s = span / 2;
    QPainterPath bird;
    bird.moveTo(centre + QPointF(0, -0.18 * s));
    bird.cubicTo(centre + QPointF(0.25 * s, -0.32 * s), centre + QPointF(0.7 * s, -0.3 * s),
                 centre + QPointF(s, -0.05 * s));
    bird.cubicTo(centre + QPointF(0.7 * s, -0.12 * s), centre + QPointF(0.35 * s, 0),
                 centre + QPointF(0.12 * s, 0.12 * s));
    bird.lineTo(centre + QPointF(0.16 * s, 0.55 * s));
    bird.lineTo(centre + QPointF(0, 0.48 * s));
    bird.lineTo(centre + QPointF(-0.16 * s, 0.55 * s));
    bird.lineTo(centre + QPointF(-0.12 * s, 0.12 * s));
    bird.cubicTo(centre + QPointF(-0.35 * s, 0), centre + QPointF(-0.7 * s, -0.12 * s),
                 centre + QPointF(-s, -0.05 * s));
    bird.cubicTo(centre + QPointF(-0.7 * s, -0.3 * s), centre + QPointF(-0.25 * s, -0.32 * s),
                 centre + QPointF(0, -0.18 * s));
    bird.addEllipse(centre + QPointF(0, -0.24 * s), 0.08 * s, 0.08 * s);
    return bird;
}

}  // namespace

QIcon toolbarImage(const QString& key) {
    if (key == QLatin1String("I_END")) {
        return QIcon(quitPicture());
    }
    if (key == QLatin1String("I_SETTING")) {
        return QIcon(settingPicture());
    }
    if (key == QLatin1String("I_INFO")) {
        return QIcon(badge(QColor(0x1F, 0x6F, 0xB5), QStringLiteral("i")));
    }
    if (key == QLatin1String("I_HELP")) {
        return QIcon(badge(QColor(0x2E, 0x8B, 0x3E), QStringLiteral("?")));
    }
    if (key == QLatin1String("I_HELP2")) {
        return QIcon(documentPicture());
    }
    return {};
}

QPixmap folderPicture(int size) {
    QPixmap pixmap = blank(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 24.0, size / 24.0);
    p.setPen(QPen(QColor(0xA0, 0x78, 0x10), 1));
    p.setBrush(QColor(0xF0, 0xC0, 0x40));
    p.drawPolygon(QPolygonF({QPointF(2.5, 5.5), QPointF(9, 5.5), QPointF(11, 7.5),
                             QPointF(21.5, 7.5), QPointF(21.5, 19.5), QPointF(2.5, 19.5)}));
    p.setBrush(QColor(0xFF, 0xD8, 0x60));
    p.drawPolygon(QPolygonF(
        {QPointF(2.5, 19.5), QPointF(5, 10.5), QPointF(23.5, 10.5), QPointF(21.5, 19.5)}));
    return pixmap;
}

QPixmap productArtwork(QSize size) {
    QPixmap pixmap(size);
    const double w = size.width();
    const double h = size.height();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0, QColor(0x0E, 0x2A, 0x47));
    sky.setColorAt(0.55, QColor(0x1D, 0x5C, 0x7A));
    sky.setColorAt(0.56, QColor(0x1E, 0x6B, 0x3A));
    sky.setColorAt(1, QColor(0x0F, 0x3D, 0x22));
    p.fillRect(QRectF(0, 0, w, h), sky);

    // The course: an oval track on the turf, its rails in white.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 200), 1.5));
    const QRectF outer(w * 0.08, h * 0.61, w * 0.84, h * 0.27);
    p.drawEllipse(outer);
    p.setPen(QPen(QColor(255, 255, 255, 120), 1));
    p.drawEllipse(outer.adjusted(w * 0.07, h * 0.06, -w * 0.07, -h * 0.06));
    p.setPen(QPen(QColor(0xF2, 0xC1, 0x4E), 2));
    p.drawLine(QPointF(w * 0.5, h * 0.60), QPointF(w * 0.5, h * 0.66));

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xF2, 0xC1, 0x4E));
    p.drawPath(kestrel(QPointF(w * 0.80, h * 0.22), w * 0.22));

    QFont title;
    title.setFamilies({QStringLiteral("DejaVu Serif"), QStringLiteral("Noto Serif CJK JP")});
    title.setPixelSize(static_cast<int>(h * 0.2));
    title.setBold(true);
    title.setItalic(true);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRectF(w * 0.07, h * 0.14, w * 0.7, h * 0.26), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Kestrova"));
    QFont subtitle;
    subtitle.setFamilies({QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP")});
    subtitle.setPixelSize(static_cast<int>(h * 0.065));
    p.setFont(subtitle);
    p.setPen(QColor(0xDD, 0xE8, 0xF0));
    p.drawText(QRectF(w * 0.075, h * 0.40, w * 0.85, h * 0.1), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("for TARGET frontier JV"));
    return pixmap;
}

}  // namespace kestrova::ui
