// The window's looks that are not tied to one control: the "宋体" font, the tool's icon and the title of
// the application's own boxes.
#pragma once

#include <QFont>
#include <QIcon>
#include <QString>

namespace lut::app {

// The family the window's texts are set in ("宋体"); the machine renders it with AR PL UMing.
QString SongTiFamily();

// Maps "宋体" to the installed UMing font, so that the Chinese texts render. Safe to call again.
void InstallFontSubstitution();

// "宋体" at the given pixel height, regular.
QFont SongTiFont(int pixelSize);

// The tool's icon, drawn here at 128, 64, 48, 32 and 16 pixels square.
QIcon ToolIcon();

// The caption of the application's own boxes, made from the program file's path.
QString ApplicationTitle(const QString& programPath);

}  // namespace lut::app
