// The window as the technician sees it: every control at its place with its texts and properties, the
// window's own looks, how it follows a resize, and the small pieces the window is made of.
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
#include "app/FrmmainOperations.h"
#include "app/OpenFileDialog.h"
#include "app/WindowDisplay.h"
#include "form/ProgressText.h"
#include "tests/gui/FrmmainHarness.h"
#include "update/DialoguePresenter.h"
#include "update/Messages.h"

using lut::test::Ports;
using lut::test::WindowUnderTest;

class FrmmainLayoutTest : public QObject {
    Q_OBJECT

  private slots:
    void controlAtDesignPlace_data();
    void controlAtDesignPlace();
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

void FrmmainLayoutTest::controlAtDesignPlace_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("place");
    QTest::addColumn<bool>("sizesToText");
    QTest::addColumn<int>("pixelSize");
    QTest::addColumn<QVariantMap>("properties");

    const auto center = QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    QTest::newRow("pnl1") << "QWidget"
                          << "Frmmain" << QRect(0, 0, 398, 382) << false << 13 << QVariantMap{};
    QTest::newRow("lv1") << "QTreeWidget"
                         << "pnl1" << QRect(0, 0, 398, 382) << false << 13
                         << QVariantMap{
                                {"selectionMode", QVariant::fromValue(QAbstractItemView::SingleSelection)},
                                {"selectionBehavior", QVariant::fromValue(QAbstractItemView::SelectRows)},
                                {"editTriggers", QVariant::fromValue(QAbstractItemView::EditTriggers())},
                                {"rootIsDecorated", false}};
    QTest::newRow("grp1") << "QGroupBox"
                          << "Frmmain" << QRect(400, -1, 201, 98) << false << 13
                          << QVariantMap{{"title", QString()}};
    QTest::newRow("lbl1") << "QLabel"
                          << "grp1" << QRect(10, 16, 73, 13) << false << 13
                          << QVariantMap{{"text", "LocalPort"}};
    QTest::newRow("edtHostPort") << "QLineEdit"
                                 << "grp1" << QRect(85, 11, 49, 21) << false << 13
                                 << QVariantMap{{"text", "8000"},
                                                {"enabled", false},
                                                {"readOnly", true},
                                                {"focusPolicy", QVariant::fromValue(Qt::NoFocus)}};
    QTest::newRow("lbl2") << "QLabel"
                          << "grp1" << QRect(10, 39, 65, 17) << false << 13
                          << QVariantMap{{"text", "Local IP"}};
    QTest::newRow("lbl3") << "QLabel"
                          << "grp1" << QRect(84, 39, 28, 13) << true << 13 << QVariantMap{{"text", "lbl3"}};
    QTest::newRow("btnsearch") << "QPushButton"
                               << "grp1" << QRect(58, 65, 79, 22) << false << 13
                               << QVariantMap{{"text", "Search"}};
    QTest::newRow("lbl4") << "QLabel"
                          << "Frmmain" << QRect(400, 198, 146, 13) << true << 13
                          << QVariantMap{{"text", QStringLiteral("Update File Version\uFF1A")}};
    QTest::newRow("lbl6") << "QLabel"
                          << "Frmmain" << QRect(408, 254, 185, 13) << false << 13
                          << QVariantMap{{"text", QString()}, {"alignment", center}};
    QTest::newRow("lbl7") << "QLabel"
                          << "Frmmain" << QRect(398, 105, 90, 13) << true << 13
                          << QVariantMap{{"text", QStringLiteral("Update File\uFF1A")}};
    QTest::newRow("lbl5") << "QLabel"
                          << "Frmmain" << QRect(419, 312, 161, 26) << false << 13
                          << QVariantMap{{"text", "Filename begin with \"S\"\r\nextesion is \".bin\""},
                                         {"alignment", center},
                                         {"wordWrap", true}};
    QTest::newRow("btnUPG") << "QPushButton"
                            << "Frmmain" << QRect(472, 352, 75, 25) << false << 13
                            << QVariantMap{{"text", "Update"}};
    QTest::newRow("stat1") << "QStatusBar"
                           << "Frmmain" << QRect(0, 382, 607, 19) << false << 13
                           << QVariantMap{{"sizeGripEnabled", true}};
    QTest::newRow("ProgressBar1") << "QProgressBar"
                                  << "Frmmain" << QRect(264, 184, 89, 17) << false << 13
                                  << QVariantMap{{"minimum", 0}, {"maximum", 100}, {"value", 0}};
    QTest::newRow("btn1") << "QPushButton"
                          << "Frmmain" << QRect(528, 99, 65, 22) << false << 16
                          << QVariantMap{{"text", "Browse"}};
    QTest::newRow("edt1") << "QLineEdit"
                          << "Frmmain" << QRect(400, 220, 200, 21) << false << 13
                          << QVariantMap{{"text", QString()}, {"enabled", true}, {"readOnly", false}};
    QTest::newRow("redt2") << "QTextEdit"
                           << "Frmmain" << QRect(399, 128, 202, 61) << false << 13
                           << QVariantMap{
                                  {"plainText", QString()},
                                  {"readOnly", true},
                                  {"verticalScrollBarPolicy", QVariant::fromValue(Qt::ScrollBarAlwaysOn)}};
}

void FrmmainLayoutTest::controlAtDesignPlace() {
    QFETCH(QString, kind);
    QFETCH(QString, parent);
    QFETCH(QRect, place);
    QFETCH(bool, sizesToText);
    QFETCH(int, pixelSize);
    QFETCH(QVariantMap, properties);
    WindowUnderTest w(Ports::AnyFree);

    const auto* control = w.window->findChild<QWidget*>(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(control != nullptr);
    QVERIFY(control->inherits(kind.toLatin1()));
    QCOMPARE(control->parentWidget()->objectName(), parent);
    if (sizesToText) {
        const auto* label = static_cast<const QLabel*>(control);
        QCOMPARE(control->pos(), place.topLeft());
        QVERIFY(control->width() >= label->fontMetrics().horizontalAdvance(label->text()));
    } else {
        QCOMPARE(control->geometry(), place);
    }
    QCOMPARE(control->font().family(), lut::app::SongTiFamily());
    QCOMPARE(control->font().pixelSize(), pixelSize);
    for (auto property = properties.cbegin(); property != properties.cend(); ++property) {
        QCOMPARE(control->property(property.key().toLatin1()), property.value());
    }
}

void FrmmainLayoutTest::loggerListColumns() {
    WindowUnderTest w(Ports::AnyFree);
    const auto* lv1 = w.window->findChild<QTreeWidget*>(QStringLiteral("lv1"));
    const QStringList titles{"SN", "IP", "Version"};
    const QList<int> widths{130, 105, 140};
    QCOMPARE(lv1->columnCount(), 3);
    for (int column = 0; column < 3; ++column) {
        QCOMPARE(lv1->headerItem()->text(column), titles[column]);
        QCOMPARE(lv1->columnWidth(column), widths[column]);
    }
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

void FrmmainLayoutTest::resizeMovesListStatusBarAndProgressBar() {
    QFETCH(QSize, client);
    WindowUnderTest w(Ports::AnyFree);
    QVERIFY(w.Start());
    const auto* stat1 = w.window->findChild<QStatusBar*>(QStringLiteral("stat1"));
    const auto* bar = w.window->findChild<QProgressBar*>(QStringLiteral("ProgressBar1"));
    QCOMPARE(bar->parentWidget(), stat1);
    QCOMPARE(bar->geometry(), QRect(0, 0, 597, 19));

    w.window->resize(client);
    QTRY_COMPARE(w.window->size(), client);
    const int listHeight = client.height() - 19;
    QCOMPARE(w.window->findChild<QWidget*>(QStringLiteral("pnl1"))->geometry(), QRect(0, 0, 398, listHeight));
    QCOMPARE(w.window->findChild<QWidget*>(QStringLiteral("lv1"))->geometry(), QRect(0, 0, 398, listHeight));
    QCOMPARE(stat1->geometry(), QRect(0, listHeight, client.width(), 19));
    QCOMPARE(bar->geometry(), QRect(0, 0, client.width() - 10, 19));
    QCOMPARE(w.window->findChild<QWidget*>(QStringLiteral("grp1"))->geometry(), QRect(400, -1, 201, 98));
    QCOMPARE(w.window->findChild<QWidget*>(QStringLiteral("btnUPG"))->geometry(), QRect(472, 352, 75, 25));
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
