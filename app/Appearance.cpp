#include "app/Appearance.h"

#include <QImage>
#include <QPixmap>

#include "form/ApplicationTitle.h"
#include "form/FrmmainForm.h"
#include "form/ToolIcon.h"

namespace lut::app {

namespace {

constexpr char16_t UMing[] = u"AR PL UMing CN";

}  // namespace

QString SongTiFamily() {
    return QString::fromUtf8(form::FontFamily.data(), static_cast<qsizetype>(form::FontFamily.size()));
}

void InstallFontSubstitution() {
    const QString family = SongTiFamily();
    if (!QFont::substitutes(family).contains(QString::fromUtf16(UMing))) {
        QFont::insertSubstitution(family, QString::fromUtf16(UMing));
    }
}

QFont SongTiFont(int pixelSize) {
    QFont font(SongTiFamily());
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Normal);
    font.setStyle(QFont::StyleNormal);
    return font;
}

QIcon ToolIcon() {
    QIcon icon;
    for (const int size : form::ToolIconSizes) {
        const form::IconImage image = form::DrawToolIcon(size);
        icon.addPixmap(QPixmap::fromImage(
            QImage(image.rgba.data(), size, size, size * 4, QImage::Format_RGBA8888).copy()));
    }
    return icon;
}

QString ApplicationTitle(const QString& programPath) {
    return QString::fromStdString(form::ApplicationTitle(programPath.toStdString()));
}

}  // namespace lut::app
