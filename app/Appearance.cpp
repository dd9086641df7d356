#include "app/Appearance.h"

#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace lut::app {

namespace {

constexpr char16_t UMing[] = u"AR PL UMing CN";

// One image of the icon: a data logger (a box with a display and a row of terminals) under an arrow
// pointing into it, on a rounded tile. Drawn on a 128-unit grid and scaled, so every size matches.
QPixmap IconImage(int size) {
    QPixmap image(size, size);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 128.0, size / 128.0);

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1F, 0x4E, 0x79));
    painter.drawRoundedRect(QRectF(4, 4, 120, 120), 22, 22);

    painter.setBrush(QColor(0xF2, 0xF2, 0xF2));
    painter.drawRoundedRect(QRectF(22, 58, 84, 52), 8, 8);
    painter.setBrush(QColor(0x3A, 0xA8, 0x5C));
    painter.drawRect(QRectF(32, 66, 64, 20));
    painter.setBrush(QColor(0x1F, 0x4E, 0x79));
    for (int terminal = 0; terminal < 4; ++terminal) {
        painter.drawEllipse(QRectF(34 + terminal * 16, 93, 9, 9));
    }

    QPainterPath arrow;
    arrow.moveTo(64, 54);
    arrow.lineTo(88, 30);
    arrow.lineTo(74, 30);
    arrow.lineTo(74, 12);
    arrow.lineTo(54, 12);
    arrow.lineTo(54, 30);
    arrow.lineTo(40, 30);
    arrow.closeSubpath();
    painter.setBrush(QColor(0xF5, 0xA6, 0x23));
    painter.drawPath(arrow);
    return image;
}

}  // namespace

void InstallFontSubstitution() {
    const QString family = QString::fromUtf16(SongTi);
    if (!QFont::substitutes(family).contains(QString::fromUtf16(UMing))) {
        QFont::insertSubstitution(family, QString::fromUtf16(UMing));
    }
}

QFont SongTiFont(int pixelSize) {
    QFont font(QString::fromUtf16(SongTi));
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Normal);
    font.setStyle(QFont::StyleNormal);
    return font;
}

QIcon ToolIcon() {
    QIcon icon;
    for (const int size : {128, 64, 48, 32, 16}) {
        icon.addPixmap(IconImage(size));
    }
    return icon;
}

QString ApplicationTitle(const QString& programPath) {
    const QString name = QFileInfo(programPath).fileName();
    const QString stem = name.left(name.indexOf(u'.'));
    return stem.left(1) + stem.mid(1).toLower();
}

}  // namespace lut::app
