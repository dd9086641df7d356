// The window's looks that are not tied to one control: the "宋体" font, the tool's icon and the title of
// the application's own boxes.
#pragma once

#include <QFont>
#include <QIcon>
#include <QString>

namespace lut::app {

// The family the window's texts are set in; the machine renders it with AR PL UMing.
inline constexpr char16_t SongTi[] = u"宋体";

// Maps "宋体" to the installed UMing font, so that the Chinese texts render. Safe to call again.
void InstallFontSubstitution();

// "宋体" at the given pixel height, regular.
QFont SongTiFont(int pixelSize);

// The tool's icon, drawn here at 128, 64, 48, 32 and 16 pixels square.
QIcon ToolIcon();

// The program file's name without folder, up to its first full stop, its first letter as it is and every
// later letter lower case: "/opt/lut/logger-update-tool" gives "logger-update-tool", "LUT.EXE" "Lut".
QString ApplicationTitle(const QString& programPath);

}  // namespace lut::app
