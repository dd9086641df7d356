// The controls of the main window under their form names, built at their design places, and how they
// follow a resize.
#pragma once

#include <QRect>
#include <QSize>

#include "form/FrmmainForm.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTextEdit;
class QTreeWidget;
class QWidget;

namespace lut::app {

inline constexpr QSize ClientSize{form::ClientSize.width, form::ClientSize.height};

// A place of the form as a Qt rectangle.
constexpr QRect ToQRect(form::Rect r) {
    return {r.left, r.top, r.width, r.height};
}

struct FrmmainControls {
    QWidget* pnl1 = nullptr;
    QTreeWidget* lv1 = nullptr;
    QGroupBox* grp1 = nullptr;
    QLabel* lbl1 = nullptr;
    QLineEdit* edtHostPort = nullptr;
    QLabel* lbl2 = nullptr;
    QLabel* lbl3 = nullptr;
    QPushButton* btnsearch = nullptr;
    QLabel* lbl4 = nullptr;
    QLabel* lbl6 = nullptr;
    QLabel* lbl7 = nullptr;
    QLabel* lbl5 = nullptr;
    QPushButton* btnUPG = nullptr;
    QStatusBar* stat1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QPushButton* btn1 = nullptr;
    QLineEdit* edt1 = nullptr;
    QTextEdit* redt2 = nullptr;
};

// Sets the form's font and creates every control as a child of the form (or of its panel or group box),
// named, placed, with its texts, fonts and properties.
FrmmainControls BuildFrmmainControls(QWidget& form);

// After a resize of the form's client area: the list takes the height above the status bar, the status
// bar the whole width at the bottom; everything on the right stays where it is.
void ArrangeFrmmain(const FrmmainControls& controls, QSize client);

// The status bar's one panel, which reaches to the bar's right end.
QRect StatusPanelRect(const QStatusBar& bar);

// Sets a label's text and lets the label take the size of its text, keeping its top-left corner.
void SetAutoSizeText(QLabel& label, const QString& text);

}  // namespace lut::app
