// Build-time tool: writes the tool's icon, as the window draws it, as one PNG a drawn size in the layout of
// an icon theme: OUTDIR/NxN/apps/logger-update-tool.png. Runs without a display (Qt's offscreen platform).
//
//     make-icon-pngs OUTDIR
#include <cstdio>

#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>
#include <QString>

#include "app/Appearance.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-icon-pngs OUTDIR\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QGuiApplication application(argc, argv);
    const QIcon icon = lut::app::ToolIcon();
    const QString root = QString::fromLocal8Bit(argv[1]);
    for (const QSize size : icon.availableSizes()) {
        const QString folder = QStringLiteral("%1/%2x%3/apps").arg(root).arg(size.width()).arg(size.height());
        const QString path = folder + QStringLiteral("/logger-update-tool.png");
        if (!QDir().mkpath(folder) || !icon.pixmap(size).save(path, "PNG")) {
            std::fprintf(stderr, "make-icon-pngs: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
