#include "app/FrmmainLayout.h"

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

QString Text(const form::Control& design) {
    return QString::fromUtf8(design.text.data(), static_cast<qsizetype>(design.text.size()));
}

template <typename Control>
Control* Make(QWidget& parent, const form::Control& design) {
    auto* control = new Control(&parent);
    control->setObjectName(QLatin1String(design.name.data(), static_cast<qsizetype>(design.name.size())));
    control->setGeometry(ToQRect(design.place));
    if (design.font.pixelHeight != form::WindowFont.pixelHeight) {
        control->setFont(SongTiFont(design.font.pixelHeight));
    }
    control->setEnabled(design.enabled);
    return control;
}

QLabel* MakeLabel(QWidget& parent, const form::Control& design) {
    auto* label = Make<QLabel>(parent, design);
    label->setText(Text(design));
    if (design.centred) {
        label->setAlignment(Qt::AlignCenter);
    }
    label->setWordWrap(design.sizing == form::Sizing::Wrap);
    if (design.sizing == form::Sizing::ToText) {
        label->adjustSize();
    }
    return label;
}

QPushButton* MakeButton(QWidget& parent, const form::Control& design) {
    auto* button = Make<QPushButton>(parent, design);
    button->setText(Text(design));
    return button;
}

QLineEdit* MakeEdit(QWidget& parent, const form::Control& design) {
    auto* edit = Make<QLineEdit>(parent, design);
    edit->setText(Text(design));
    edit->setReadOnly(design.readOnly);
    if (!design.enabled) {
        edit->setFocusPolicy(Qt::NoFocus);
    }
    return edit;
}

QTreeWidget* MakeLoggerList(QWidget& parent) {
    auto* list = Make<QTreeWidget>(parent, form::lv1);
    QStringList titles;
    for (const form::Column& column : form::LoggerColumns) {
        titles << QString::fromUtf8(column.title.data(), static_cast<qsizetype>(column.title.size()));
    }
    list->setHeaderLabels(titles);
    list->header()->setStretchLastSection(false);
    for (int column = 0; column < static_cast<int>(form::LoggerColumns.size()); ++column) {
        list->setColumnWidth(column, form::LoggerColumns[static_cast<std::size_t>(column)].width);
    }
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
    form.setFont(SongTiFont(form::WindowFont.pixelHeight));
    FrmmainControls c;
    c.pnl1 = Make<QWidget>(form, form::pnl1);
    c.lv1 = MakeLoggerList(*c.pnl1);

    c.grp1 = Make<QGroupBox>(form, form::grp1);
    c.lbl1 = MakeLabel(*c.grp1, form::lbl1);
    c.edtHostPort = MakeEdit(*c.grp1, form::edtHostPort);
    c.lbl2 = MakeLabel(*c.grp1, form::lbl2);
    c.lbl3 = MakeLabel(*c.grp1, form::lbl3);
    c.btnsearch = MakeButton(*c.grp1, form::btnsearch);

    c.lbl4 = MakeLabel(form, form::lbl4);
    c.lbl6 = MakeLabel(form, form::lbl6);
    c.lbl7 = MakeLabel(form, form::lbl7);
    c.lbl5 = MakeLabel(form, form::lbl5);
    c.btnUPG = MakeButton(form, form::btnUPG);

    c.stat1 = Make<QStatusBar>(form, form::stat1);
    c.stat1->setSizeGripEnabled(true);
    c.ProgressBar1 = Make<QProgressBar>(form, form::ProgressBar1);
    c.ProgressBar1->setRange(0, 100);
    c.ProgressBar1->setValue(0);
    c.ProgressBar1->setTextVisible(false);
    c.ProgressBar1->setAlignment(Qt::AlignCenter);

    c.btn1 = MakeButton(form, form::btn1);
    c.edt1 = MakeEdit(form, form::edt1);
    c.redt2 = Make<QTextEdit>(form, form::redt2);
    c.redt2->setReadOnly(form::redt2.readOnly);
    c.redt2->setAcceptRichText(false);
    c.redt2->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    c.redt2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    c.redt2->setFont(SongTiFont(form::redt2.font.pixelHeight));
    return c;
}

void ArrangeFrmmain(const FrmmainControls& controls, QSize client) {
    const form::Size size{client.width(), client.height()};
    controls.pnl1->setGeometry(ToQRect(form::ListPlace(size)));
    controls.lv1->setGeometry(controls.pnl1->rect());
    controls.stat1->setGeometry(ToQRect(form::StatusBarPlace(size)));
}

QRect StatusPanelRect(const QStatusBar& bar) {
    return bar.rect();
}

void SetAutoSizeText(QLabel& label, const QString& text) {
    label.setText(text);
    label.adjustSize();
}

}  // namespace lut::app
