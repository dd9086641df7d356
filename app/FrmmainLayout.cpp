#include "app/FrmmainLayout.h"

#include <algorithm>

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTextEdit>
#include <QTreeWidget>

#include "app/Appearance.h"

namespace lut::app {

namespace {

template <typename Control>
Control* Make(QWidget& parent, const char* name, QRect geometry) {
    auto* control = new Control(&parent);
    control->setObjectName(QLatin1String(name));
    control->setGeometry(geometry);
    return control;
}

QLabel* MakeLabel(QWidget& parent, const char* name, QRect geometry, const QString& text) {
    auto* label = Make<QLabel>(parent, name, geometry);
    label->setText(text);
    return label;
}

QPushButton* MakeButton(QWidget& parent, const char* name, QRect geometry, const QString& text) {
    auto* button = Make<QPushButton>(parent, name, geometry);
    button->setText(text);
    return button;
}

QTreeWidget* MakeLoggerList(QWidget& parent) {
    auto* list = Make<QTreeWidget>(parent, "lv1", parent.rect());
    list->setHeaderLabels({QStringLiteral("SN"), QStringLiteral("IP"), QStringLiteral("Version")});
    list->header()->setStretchLastSection(false);
    list->setColumnWidth(SnColumn, 130);
    list->setColumnWidth(IpColumn, 105);
    list->setColumnWidth(VersionColumn, 140);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The chosen logger stays marked while the user works with the buttons.
    QPalette palette = list->palette();
    for (const auto role : {QPalette::Highlight, QPalette::HighlightedText}) {
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    }
    list->setPalette(palette);
    return list;
}

}  // namespace

FrmmainControls BuildFrmmainControls(QWidget& form) {
    InstallFontSubstitution();
    form.setFont(SongTiFont(13));
    FrmmainControls c;
    c.pnl1 = Make<QWidget>(form, "pnl1", {0, 0, 398, 382});
    c.lv1 = MakeLoggerList(*c.pnl1);

    c.grp1 = Make<QGroupBox>(form, "grp1", {400, -1, 201, 98});
    c.lbl1 = MakeLabel(*c.grp1, "lbl1", {10, 16, 73, 13}, QStringLiteral("LocalPort"));
    c.edtHostPort = Make<QLineEdit>(*c.grp1, "edtHostPort", {85, 11, 49, 21});
    c.edtHostPort->setText(QStringLiteral("8000"));
    c.edtHostPort->setReadOnly(true);
    c.edtHostPort->setEnabled(false);
    c.edtHostPort->setFocusPolicy(Qt::NoFocus);
    c.lbl2 = MakeLabel(*c.grp1, "lbl2", {10, 39, 65, 17}, QStringLiteral("Local IP"));
    c.lbl3 = MakeLabel(*c.grp1, "lbl3", {84, 39, 28, 13}, QStringLiteral("lbl3"));
    c.btnsearch = MakeButton(*c.grp1, "btnsearch", {58, 65, 79, 22}, QStringLiteral("Search"));

    c.lbl4 = MakeLabel(form, "lbl4", {400, 198, 146, 13}, QStringLiteral("Update File Version："));
    c.lbl6 = MakeLabel(form, "lbl6", {408, 254, 185, 13}, QString());
    c.lbl6->setAlignment(Qt::AlignCenter);
    c.lbl7 = MakeLabel(form, "lbl7", {398, 105, 90, 13}, QStringLiteral("Update File："));
    c.lbl5 = MakeLabel(form, "lbl5", {419, 312, 161, 26},
                       QStringLiteral("Filename begin with \"S\"\r\nextesion is \".bin\""));
    c.lbl5->setAlignment(Qt::AlignCenter);
    c.lbl5->setWordWrap(true);
    c.btnUPG = MakeButton(form, "btnUPG", {472, 352, 75, 25}, QStringLiteral("Update"));

    c.stat1 = Make<QStatusBar>(form, "stat1", {0, 382, 607, StatusBarHeight});
    c.stat1->setSizeGripEnabled(true);
    c.ProgressBar1 = Make<QProgressBar>(form, "ProgressBar1", {264, 184, 89, 17});
    c.ProgressBar1->setRange(0, 100);
    c.ProgressBar1->setValue(0);
    c.ProgressBar1->setTextVisible(false);
    c.ProgressBar1->setAlignment(Qt::AlignCenter);

    c.btn1 = MakeButton(form, "btn1", {528, 99, 65, 22}, QStringLiteral("Browse"));
    c.btn1->setFont(SongTiFont(16));
    c.edt1 = Make<QLineEdit>(form, "edt1", {400, 220, 200, 21});
    c.redt2 = Make<QTextEdit>(form, "redt2", {399, 128, 202, 61});
    c.redt2->setReadOnly(true);
    c.redt2->setAcceptRichText(false);
    c.redt2->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    c.redt2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    c.redt2->setFont(SongTiFont(13));

    for (QLabel* label : {c.lbl3, c.lbl4, c.lbl7}) {
        label->adjustSize();
    }
    return c;
}

void ArrangeFrmmain(const FrmmainControls& controls, QSize client) {
    const int listHeight = std::max(0, client.height() - StatusBarHeight);
    controls.pnl1->resize(controls.pnl1->width(), listHeight);
    controls.lv1->setGeometry(controls.pnl1->rect());
    controls.stat1->setGeometry(0, listHeight, client.width(), StatusBarHeight);
}

QRect StatusPanelRect(const QStatusBar& bar) {
    return bar.rect();
}

void SetAutoSizeText(QLabel& label, const QString& text) {
    label.setText(text);
    label.adjustSize();
}

}  // namespace lut::app
