// The window as the technician sees it: every control at its place with its texts and properties, the
// window's own looks, how it follows a resize, and the small pieces the window is made of.
#include <map>
#include <stdexcept>
#include <thread>

#include <QAbstractItemView>
#include <QFontInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>

#include "app/Appearance.h"
#include "app/FrmmainLayout.h"
#include "app/FrmmainOperations.h"
#include "app/OpenFileDialog.h"
#include "app/WindowDisplay.h"
#include "form/FrmmainForm.h"
#include "form/ProgressText.h"
#include "tests/gui/FrmmainHarness.h"
#include "update/Messages.h"
#include "update/dialogue/DialoguePresenter.h"

using lut::test::Ports;
using lut::test::WindowUnderTest;

class FrmmainLayoutTest : public QObject {
    Q_OBJECT

  private slots:
    void controlFollowsTheForm_data();
    void controlFollowsTheForm();
    void formSeedValues();
    void controlsInsideTheirParentsAndApart();
    void tabOrder();
    void loggerListColumns();
    void windowLooks();
    void resizeMovesListStatusBarAndProgressBar_data();
    void resizeMovesListStatusBarAndProgressBar();
    void localAddressMenuOffersMachineAddresses();
    void boxesCarryTheirCaptions();
    void plainMessageIsCentredOnTheScreen_data();
    void plainMessageIsCentredOnTheScreen();
    void listKeepsTheLoggersBytes();
    void workerCallsArriveQueuedAndInOrder();
    void progressText_data();
    void progressText();
    void applicationTitle_data();
    void applicationTitle();
};

namespace {

// What each kind of control of the form is in this window.
using Kind = lut::form::Kind;
const std::map<Kind, const char*> QtClasses{
    {Kind::Panel, "QWidget"},      {Kind::ListView, "QTreeWidget"}, {Kind::GroupBox, "QGroupBox"},
    {Kind::Label, "QLabel"},       {Kind::Edit, "QLineEdit"},       {Kind::RichEdit, "QTextEdit"},
    {Kind::Button, "QPushButton"}, {Kind::StatusBar, "QStatusBar"}, {Kind::ProgressBar, "QProgressBar"}};

QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void FrmmainLayoutTest::controlFollowsTheForm_data() {
    QTest::addColumn<QString>("name");
    for (const lut::form::Control* design : lut::form::Controls) {
        QTest::newRow(std::string(design->name).c_str()) << ToQString(design->name);
    }
}

void FrmmainLayoutTest::controlFollowsTheForm() {
    QFETCH(QString, name);
    const lut::form::Control* design = &lut::form::FindControl(name.toStdString());
    WindowUnderTest w(Ports::AnyFree);

    const auto* control = w.window->findChild<QWidget*>(name);
    QVERIFY(control != nullptr);
    QVERIFY(control->inherits(QtClasses.at(design->kind)));
    QCOMPARE(control->parentWidget()->objectName(), ToQString(design->parent));
    const QRect place = lut::app::ToQRect(design->place);
    if (design->sizing == lut::form::Sizing::ToText) {
        const auto* label = static_cast<const QLabel*>(control);
        QCOMPARE(control->pos(), place.topLeft());
        QVERIFY(control->width() >= label->fontMetrics().horizontalAdvance(label->text()));
    } else {
        QCOMPARE(control->geometry(), place);
    }
    QCOMPARE(control->font().family(), lut::app::SongTiFamily());
    QCOMPARE(control->font().pixelSize(), design->font.pixelHeight);
    QCOMPARE(control->isEnabled(), design->enabled);
    const QString text = ToQString(design->text);
    if (const auto* label = qobject_cast<const QLabel*>(control)) {
        QCOMPARE(label->text(), text);
        QCOMPARE(label->alignment() == Qt::AlignCenter, design->centred);
        QCOMPARE(label->wordWrap(), design->sizing == lut::form::Sizing::Wrap);
    } else if (const auto* edit = qobject_cast<const QLineEdit*>(control)) {
        QCOMPARE(edit->text(), text);
        QCOMPARE(edit->isReadOnly(), design->readOnly);
    } else if (const auto* richEdit = qobject_cast<const QTextEdit*>(control)) {
        QCOMPARE(richEdit->toPlainText(), text);
        QCOMPARE(richEdit->isReadOnly(), design->readOnly);
        QCOMPARE(richEdit->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    } else if (const auto* button = qobject_cast<const QPushButton*>(control)) {
        QCOMPARE(button->text(), text);
    } else if (const auto* bar = qobject_cast<const QProgressBar*>(control)) {
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 100);
        QCOMPARE(bar->value(), 0);
    } else if (const auto* statusBar = qobject_cast<const QStatusBar*>(control)) {
        QVERIFY(statusBar->isSizeGripEnabled());
    }
}

// The form table's values are data no code derives: a few spot-checked, so that a slip in the table shows.
void FrmmainLayoutTest::formSeedValues() {
    WindowUnderTest w(Ports::AnyFree);
    const auto geometry = [&w](const char* name) {
        return w.window->findChild<QWidget*>(QLatin1String(name))->geometry();
    };
    QCOMPARE(geometry("lv1"), QRect(0, 0, 398, 382));
    QCOMPARE(geometry("grp1"), QRect(400, -1, 201, 98));
    QCOMPARE(geometry("btnUPG"), QRect(472, 352, 75, 25));
    QCOMPARE(geometry("stat1"), QRect(0, 382, 607, 19));
    QCOMPARE(w.window->findChild<QWidget*>(QStringLiteral("btn1"))->font().pixelSize(), 16);
    QCOMPARE(w.window->findChild<QLineEdit*>(QStringLiteral("edtHostPort"))->text(), QStringLiteral("8000"));
    QCOMPARE(w.window->findChild<QLabel*>(QStringLiteral("lbl5"))->text(),
             QStringLiteral("Filename begin with \"S\"\r\nextesion is \".bin\""));
}

// The shown window: every control lies inside its parent (a frame may reach one pixel past it, as the group
// box's top line does by design) and apart from its siblings, also once the progress bar sits in the status
// bar.
void FrmmainLayoutTest::controlsInsideTheirParentsAndApart() {
    WindowUnderTest w(Ports::AnyFree);
    QVERIFY(w.Start());
    QList<const QWidget*> controls;
    for (const lut::form::Control* design : lut::form::Controls) {
        controls << w.window->findChild<QWidget*>(ToQString(design->name));
    }
    for (const QWidget* control : controls) {
        QVERIFY2(control->parentWidget()->rect().adjusted(-1, -1, 1, 1).contains(control->geometry()),
                 qPrintable(control->objectName()));
        for (const QWidget* other : controls) {
            if (other != control && other->parentWidget() == control->parentWidget()) {
                QVERIFY2(!control->geometry().intersects(other->geometry()),
                         qPrintable(control->objectName() + " overlaps " + other->objectName()));
            }
        }
    }
}

// Tab walks the controls a technician works with in the form's order, skipping the fixed port, and wraps.
void FrmmainLayoutTest::tabOrder() {
    WindowUnderTest w(Ports::AnyFree);
    QVERIFY(w.Start());
    w.window->findChild<QWidget*>(QStringLiteral("lv1"))->setFocus();
    QStringList visited;
    for (int press = 0; press < 7; ++press) {
        visited << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(visited, QStringList({"lv1", "btnsearch", "btnUPG", "btn1", "edt1", "redt2", "lv1"}));
}

void FrmmainLayoutTest::loggerListColumns() {
    WindowUnderTest w(Ports::AnyFree);
    const auto* lv1 = w.window->findChild<QTreeWidget*>(QStringLiteral("lv1"));
    QCOMPARE(lv1->columnCount(), 3);
    for (int column = 0; column < 3; ++column) {
        const lut::form::Column& design = lut::form::LoggerColumns[static_cast<std::size_t>(column)];
        QCOMPARE(lv1->headerItem()->text(column), ToQString(design.title));
        QCOMPARE(lv1->columnWidth(column), design.width);
    }
    QCOMPARE(lv1->headerItem()->text(0), QStringLiteral("SN"));
    QCOMPARE(lv1->columnWidth(0), 130);
    QCOMPARE(lv1->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(lv1->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(lv1->editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(!lv1->rootIsDecorated());
    const QPalette palette = lv1->palette();
    QCOMPARE(palette.color(QPalette::Inactive, QPalette::Highlight),
             palette.color(QPalette::Active, QPalette::Highlight));
}

void FrmmainLayoutTest::windowLooks() {
    WindowUnderTest w(Ports::AnyFree);
    const lut::app::TFrmmain& window = *w.window;
    QCOMPARE(window.objectName(), QStringLiteral("Frmmain"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Logger Update Tool"));
    QCOMPARE(window.size(), QSize(607, 401));
    QVERIFY((window.geometry().center() - window.screen()->availableGeometry().center()).manhattanLength() <=
            2);
    QVERIFY(window.windowFlags().testFlags(Qt::WindowMinMaxButtonsHint | Qt::WindowSystemMenuHint));
    QCOMPARE(window.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    QVERIFY2(QFontInfo(window.font()).family().contains(QStringLiteral("UMing")),
             qPrintable(QFontInfo(window.font()).family()));
    const QList<QSize> sizes = window.windowIcon().availableSizes();
    for (const int side : {128, 64, 48, 32, 16}) {
        QVERIFY2(sizes.contains(QSize(side, side)), qPrintable(QString::number(side)));
    }
}

void FrmmainLayoutTest::resizeMovesListStatusBarAndProgressBar_data() {
    QTest::addColumn<QSize>("client");
    QTest::newRow("larger") << QSize(900, 600);
    QTest::newRow("smaller") << QSize(500, 300);
}

// The list takes the height above the status bar, the status bar the bottom at the whole width, the progress
// bar the status bar but a gap at its right end (as at the start, with the grip there); the rest stays put.
void FrmmainLayoutTest::resizeMovesListStatusBarAndProgressBar() {
    QFETCH(QSize, client);
    WindowUnderTest w(Ports::AnyFree);
    QVERIFY(w.Start());
    const auto* stat1 = w.window->findChild<QStatusBar*>(QStringLiteral("stat1"));
    const auto* bar = w.window->findChild<QProgressBar*>(QStringLiteral("ProgressBar1"));
    const auto* pnl1 = w.window->findChild<QWidget*>(QStringLiteral("pnl1"));
    const auto* lv1 = w.window->findChild<QWidget*>(QStringLiteral("lv1"));
    QCOMPARE(bar->parentWidget(), stat1);
    QCOMPARE(bar->geometry(), QRect(0, 0, 597, 19));
    const int listWidth = pnl1->width();
    QList<QPair<const QWidget*, QRect>> unmoved;
    for (const char* name : {"grp1", "lbl5", "btnUPG", "btn1", "edt1", "redt2"}) {
        const auto* control = w.window->findChild<QWidget*>(QLatin1String(name));
        unmoved.append({control, control->geometry()});
    }

    w.window->resize(client);
    QTRY_COMPARE(w.window->size(), client);
    QCOMPARE(stat1->geometry(), QRect(0, client.height() - stat1->height(), client.width(), stat1->height()));
    QCOMPARE(pnl1->geometry(), QRect(0, 0, listWidth, stat1->y()));
    QCOMPARE(lv1->geometry(), pnl1->rect());
    QCOMPARE(bar->geometry(), QRect(0, 0, client.width() - 10, stat1->height()));
    for (const auto& [control, place] : unmoved) {
        QCOMPARE(control->geometry(), place);
    }
}

void FrmmainLayoutTest::localAddressMenuOffersMachineAddresses() {
    WindowUnderTest w(Ports::AnyFree);
    QVERIFY(w.Start());
    auto* lbl3 = w.window->findChild<QLabel*>(QStringLiteral("lbl3"));
    QVERIFY(!lbl3->toolTip().isEmpty());
    QStringList offered;
    QTimer chooser;
    // Picks the loopback entry once the menu is up: the only address a test may sweep.
    connect(&chooser, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr) {
            return;
        }
        chooser.stop();
        for (QAction* action : menu->actions()) {
            offered << action->text();
            if (action->data() == QStringLiteral("127.0.0.1")) {
                menu->setActiveAction(action);
            }
        }
        QTest::keyClick(menu, Qt::Key_Return);
    });
    chooser.start(10);
    lbl3->setText(QStringLiteral("127.0.0.99"));
    QTest::mouseClick(lbl3, Qt::LeftButton);
    QVERIFY2(offered.contains(QStringLiteral("127.0.0.1  (lo)")), qPrintable(offered.join(u',')));
    QCOMPARE(lbl3->text(), QStringLiteral("127.0.0.1"));
}

void FrmmainLayoutTest::boxesCarryTheirCaptions() {
    WindowUnderTest w(Ports::AnyFree);
    lut::WindowOperations& operations = w.window->Operations();
    operations.ShowWarning(std::string(lut::text::SameVersion));
    operations.ShowPlainMessage(std::string(lut::text::VersionMustBeginWithS));
    operations.ShowError("Cannot open file");
    const QString title = lut::app::ApplicationTitle(QCoreApplication::applicationFilePath());
    QCOMPARE(w.boxes.size(), 3u);
    QVERIFY(w.boxes[0].kind == lut::app::BoxKind::Warning);
    QCOMPARE(w.boxes[0].caption, QStringLiteral("Hint"));
    QCOMPARE(w.boxes[0].text, QStringLiteral("Same Version"));
    QVERIFY(w.boxes[1].kind == lut::app::BoxKind::Plain);
    QCOMPARE(w.boxes[1].caption, title);
    QVERIFY(w.boxes[2].kind == lut::app::BoxKind::Error);
    QCOMPARE(w.boxes[2].caption, title);
}

void FrmmainLayoutTest::plainMessageIsCentredOnTheScreen_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("onScreenCentre");
    QTest::newRow("plain message") << int(lut::app::BoxKind::Plain) << true;
    QTest::newRow("warning") << int(lut::app::BoxKind::Warning) << false;
}

// The window sits in the screen's corner, so a box centred over it is not centred on the screen.
void FrmmainLayoutTest::plainMessageIsCentredOnTheScreen() {
    QFETCH(int, kind);
    QFETCH(bool, onScreenCentre);
    WindowUnderTest w(Ports::AnyFree);
    QVERIFY(w.Start());
    const QRect screen = w.window->screen()->availableGeometry();
    w.window->move(screen.topLeft());
    QTRY_COMPARE(w.window->pos(), screen.topLeft());
    QRect shownAt;
    QTimer closer;
    connect(&closer, &QTimer::timeout, [&] {
        QWidget* box = QApplication::activeModalWidget();
        if (box == nullptr || !box->isVisible()) {
            return;
        }
        closer.stop();
        shownAt = box->frameGeometry();
        QTest::keyClick(box, Qt::Key_Return);
    });
    closer.start(10);
    lut::app::ModalBoxes(w.window.get())(
        {lut::app::BoxKind(kind), QStringLiteral("Caption"), QStringLiteral("Version must be begin with S")});
    QVERIFY(shownAt.isValid());
    const QPoint offCentre = shownAt.center() - screen.center();
    QCOMPARE(offCentre.manhattanLength() <= 2, onScreenCentre);
}

void FrmmainLayoutTest::listKeepsTheLoggersBytes() {
    WindowUnderTest w(Ports::AnyFree);
    lut::app::FrmmainOperations& operations = w.window->Operations();
    const lut::LoggerRow odd{"SN\xC0\xFF", "127.0.0.2", "S1.0\xB5"};
    operations.AppendRow(odd);
    operations.AppendRow({"B", "127.0.0.3", "S2"});
    operations.SetRowCaption(1, "\xE9t\xE9");
    QCOMPARE(operations.RowCount(), 2);
    QVERIFY(operations.Row(0) == odd);
    QCOMPARE(operations.Row(1).sn, std::string("\xE9t\xE9"));
    // Shown byte for character (Latin-1): a byte above 127 never becomes U+FFFD.
    auto* list = w.window->findChild<QTreeWidget*>(QStringLiteral("lv1"));
    QCOMPARE(list->topLevelItem(0)->text(lut::form::VersionColumn), QStringLiteral("S1.0\u00B5"));
    QCOMPARE(list->topLevelItem(1)->text(lut::form::SnColumn), QStringLiteral("\u00E9t\u00E9"));
    // A version typed in edt1 goes out as the same 8-bit bytes.
    w.window->findChild<QLineEdit*>(QStringLiteral("edt1"))->setText(QStringLiteral("S1.0\u00B5"));
    QCOMPARE(operations.VersionText(), std::string("S1.0\xB5"));
    // A typed character with no byte of its own is refused, never sent as "?".
    w.window->findChild<QLineEdit*>(QStringLiteral("edt1"))->setText(QStringLiteral("S1.0\u20AC"));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, operations.VersionText());
    // Browse's version is the file name's bytes, even those that do not decode.
    operations.SetVersionText("S\xE9");
    QCOMPARE(operations.VersionText(), std::string("S\xE9"));
    QVERIFY(!operations.SelectedRow().has_value());
    w.window->findChild<QTreeWidget*>(QStringLiteral("lv1"))
        ->setCurrentItem(w.window->findChild<QTreeWidget*>(QStringLiteral("lv1"))->topLevelItem(1));
    QCOMPARE(operations.SelectedRow(), std::optional<int>(1));
}

void FrmmainLayoutTest::workerCallsArriveQueuedAndInOrder() {
    WindowUnderTest w(Ports::AnyFree);
    auto* bar = w.window->findChild<QProgressBar*>(QStringLiteral("ProgressBar1"));
    auto* status = w.window->findChild<QLabel*>(QStringLiteral("lbl6"));
    lut::WorkerReports* reports = nullptr;
    lut::app::WindowDisplay waker(*w.window, [&] {
        for (const lut::DialogueEvent& event : reports->Take()) {
            lut::Present(event, w.window->Operations());
        }
    });
    lut::WorkerReports queue(waker);
    reports = &queue;
    std::thread worker([&queue] {
        queue.Report(1, lut::dialogue::RunBegins{4, 0, false});
        for (int block = 0; block < 3; ++block) {
            queue.Report(1, lut::dialogue::BlockSent{block, false, false});
        }
        queue.Report(1, lut::dialogue::QuerySent{1, false});
    });
    worker.join();
    QCOMPARE(bar->maximum(), 100);  // nothing was done on the worker's thread
    QTRY_COMPARE(status->text(), QStringLiteral("Query Update result"));
    QCOMPARE(bar->maximum(), 4);
    QCOMPARE(bar->value(), 3);
    QVERIFY(bar->isTextVisible());
    QCOMPARE(bar->format(), QStringLiteral("3 of 4 blocks, 0:05 left"));

    // The run ends: the bar claims no blocks or time left.
    queue.Report(1, lut::dialogue::RunEnds{});
    QTRY_COMPARE(bar->value(), 0);
    QCOMPARE(bar->text(), QString());
    // A resend list of no blocks ("R0000"): an empty bar, never the endless busy animation.
    queue.Report(2, lut::dialogue::RunBegins{0, 0, true});
    QTRY_COMPARE(bar->format(), QStringLiteral("0 of 0 blocks sent"));
    QVERIFY(bar->maximum() > bar->minimum());
}

void FrmmainLayoutTest::progressText_data() {
    QTest::addColumn<int>("sent");
    QTest::addColumn<int>("total");
    QTest::addColumn<QString>("text");
    QTest::newRow("start") << 0 << 300 << "0 of 300 blocks, 1:05 left";
    QTest::newRow("minutes past ten") << 10 << 3000 << "10 of 3000 blocks, 10:03 left";
    QTest::newRow("last block") << 299 << 300 << "299 of 300 blocks, 0:05 left";
    QTest::newRow("all sent") << 300 << 300 << "300 of 300 blocks sent";
}

void FrmmainLayoutTest::progressText() {
    QFETCH(int, sent);
    QFETCH(int, total);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(lut::form::ProgressText(sent, total)), text);
}

void FrmmainLayoutTest::applicationTitle_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("title");
    QTest::newRow("installed, first letter as it is") << "/usr/bin/logger-update-tool"
                                                      << "logger-update-tool";
    QTest::newRow("upper case, extension") << "/opt/LUT.EXE"
                                           << "Lut";
    QTest::newRow("up to the first full stop") << "/x/tool.v2.bin"
                                               << "tool";
    QTest::newRow("full stop in the folder") << "/a.b/MyTool"
                                             << "Mytool";
}

void FrmmainLayoutTest::applicationTitle() {
    QFETCH(QString, program);
    QFETCH(QString, title);
    QCOMPARE(lut::app::ApplicationTitle(program), title);
    QCOMPARE(lut::app::DialogFilter(lut::text::FileFilter), QStringLiteral("程序文件 (*.bin)"));
}

QTEST_MAIN(FrmmainLayoutTest)
#include "tst_frmmain_layout.moc"
