// An update through the window: Browse, a listed and selected logger on loopback, Update, and the logger's
// answers, with the workers' pauses on a virtual clock; and the window's start-up when something is missing.
#include <stdexcept>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "record/RecordFile.h"
#include "tests/gui/FrmmainHarness.h"
#include "tests/unit/update/CoreBench.h"
#include "tests/unit/update/LoopbackLogger.h"
#include "tests/unit/update/VirtualPacer.h"
#include "update/Messages.h"
#include "update/dialogue/UpdateDialogue.h"

using lut::Protocol;
using lut::ToolOptions;
using lut::test::LoopbackLogger;
using lut::test::VirtualPacer;
using lut::test::WindowUnderTest;

namespace {

const std::string ToolAddress = "127.0.0.1";
const std::string LoggerAddress = "127.0.0.2";

QString Status(WindowUnderTest& w) {
    return w.window->findChild<QLabel*>(QStringLiteral("lbl6"))->text();
}

QProgressBar& Bar(WindowUnderTest& w) {
    return *w.window->findChild<QProgressBar*>(QStringLiteral("ProgressBar1"));
}

Protocol State(WindowUnderTest& w) {
    return w.window->Core().Dialogue().ProtocolState.Load();
}

// Lists the logger, selects it, and chooses a file of `bytes` bytes named S1.02.bin through Browse.
void Prepare(WindowUnderTest& w, const QTemporaryDir& folder, int bytes) {
    lut::test::ListLogger(w.window->Core(), LoggerAddress, "SN0001#S1.0");
    auto* list = w.window->findChild<QTreeWidget*>(QStringLiteral("lv1"));
    list->setCurrentItem(list->topLevelItem(0));
    QFile file(folder.filePath(QStringLiteral("S1.02.bin")));
    file.open(QIODevice::WriteOnly);
    file.write(QByteArray(bytes, '\x5A'));
    file.close();
    w.dialog->choices.push_back({true, file.fileName().toStdString(), {}});
    w.window->btn1Click();
}

void PressUpdate(WindowUnderTest& w) {
    QTest::mouseClick(w.window->findChild<QPushButton*>(QStringLiteral("btnUPG")), Qt::LeftButton);
}

lut::app::FrmmainSettings WithPacer(VirtualPacer& pacer) {
    lut::app::FrmmainSettings settings;
    settings.localAddress = QString::fromStdString(ToolAddress);
    settings.pacer = &pacer;
    return settings;
}

}  // namespace

class FrmmainUpdateTest : public QObject {
    Q_OBJECT

  private slots:
    void updateRunsToCompleteWithStatusAndProgress();
    void updateWithTheUpdateEndpointClosedSendsNothingAndDoesNotCrash();
    void recordThatCannotBeWrittenIsSaidInTheStatusTooltip_data();
    void recordThatCannotBeWrittenIsSaidInTheStatusTooltip();
    void unknownLocalAddressShowsTheErrorAndKeepsLbl3();
    void twoLoggersAtOneAddressAreMarkedAndNeverUpdated();
};

void FrmmainUpdateTest::updateRunsToCompleteWithStatusAndProgress() {
    QTemporaryDir folder;
    const QString record = folder.filePath(QStringLiteral("updates.jsonl"));
    qputenv("LOGGER_UPDATE_RECORD", record.toUtf8());
    VirtualPacer pacer;
    LoopbackLogger logger(LoggerAddress, 0);
    WindowUnderTest w(ToolOptions{ToolAddress, logger.Port(), lut::test::FreePort(ToolAddress)},
                      WithPacer(pacer));
    QVERIFY(w.Start());
    Prepare(w, folder, 700);  // blocks of 300, 300 and 100 bytes

    // The logger, restarted into the new image, answers the version check after "Update complete".
    lut::test::FakeLogger restarted(LoggerAddress, {lut::test::Answer("SN0001#S1.02")},
                                    w.window->Core().Link().DiscoverySocket.LocalPort());

    PressUpdate(w);
    QCOMPARE(Status(w), QStringLiteral("Request Update"));
    QCOMPARE(logger.Next(), std::optional<std::string>("LUS1.020003"));

    logger.Answer({"R0000"}, ToolAddress, logger.Port());
    QTRY_COMPARE(Status(w), QStringLiteral("Updating"));
    for (int pause = 0; pause < 3 + 1; ++pause) {  // a pause after each block, then the final pause
        QVERIFY(pacer.WaitForSleepers(1));
        pacer.AdvanceToNextWake();
    }
    QVERIFY(pacer.WaitForSleepers(1));  // the first query's pause
    QTRY_COMPARE(Status(w), QStringLiteral("Query Update result"));
    QCOMPARE(Bar(w).maximum(), 3);
    QCOMPARE(Bar(w).value(), 3);
    const std::vector<std::string> heard = logger.Arrived();
    QCOMPARE(heard.size(), 4u);
    QCOMPARE(heard[2].substr(0, 6), std::string("UD0002"));
    QCOMPARE(heard[3], std::string("EN"));

    logger.Answer({"R"}, ToolAddress, logger.Port());
    QTRY_COMPARE(w.boxes.size(), 1u);
    QVERIFY(w.boxes[0].kind == lut::app::BoxKind::Warning);
    QCOMPARE(w.boxes[0].text, QStringLiteral("Update complete"));
    QVERIFY(State(w) == Protocol::Idle);
    QTRY_COMPARE(w.Rows().at(0).version, std::string("S1.02"));
    QVERIFY(!w.window->Core().UntilTick());
    pacer.AdvanceToNextWake();  // the query's pause ends; the worker sees the dialogue over
    QTRY_COMPARE(Bar(w).value(), 0);
    QCOMPARE(Bar(w).text(), QString());  // not "0 of 3 blocks, 0:05 left" after the end
    QCOMPARE(Status(w), QStringLiteral("Query Update result"));

    // The window keeps the record too: a line for the update, then its correction with the version check's
    // verdict, both of the one attempt.
    QTRY_COMPARE(lut::record::Read(record.toStdString()).entries.size(), 2u);
    const lut::record::Contents kept = lut::record::Read(record.toStdString());
    qputenv("LOGGER_UPDATE_RECORD", "off");
    const lut::record::Entry& line = kept.entries[0];
    QCOMPARE(line.sn, std::string("SN0001"));
    QCOMPARE(line.ip, LoggerAddress);
    QCOMPARE(line.file, std::string("S1.02.bin"));
    QCOMPARE(line.fileSize, 700u);
    QCOMPARE(line.versionSent, std::string("S1.02"));
    QCOMPARE(line.blocks, 3);
    QCOMPARE(line.blocksSent, 3);
    QCOMPARE(line.outcome, std::string("complete"));
    QCOMPARE(line.message, std::string("Update complete"));
    QVERIFY(!line.verified.has_value());
    const lut::record::Entry& verdict = kept.entries[1];
    QCOMPARE(verdict.attempt, line.attempt);
    QCOMPARE(verdict.corrects, std::optional<std::string>(line.time));
    QCOMPARE(verdict.verified, std::optional<bool>(true));
    QCOMPARE(verdict.versionAfter, std::optional<std::string>("S1.02"));
}

// The port is taken, so the update endpoint never opened and every send fails. That goes unnoticed: as far
// as the window knows the request is under way, and Update may be pressed again.
void FrmmainUpdateTest::updateWithTheUpdateEndpointClosedSendsNothingAndDoesNotCrash() {
    QTemporaryDir folder;
    VirtualPacer pacer;
    lut::Endpoint holder;
    QVERIFY(!holder.Open({ToolAddress, 0}));
    WindowUnderTest w(ToolOptions{ToolAddress, holder.LocalPort(), lut::test::FreePort(ToolAddress)},
                      WithPacer(pacer));
    QVERIFY(w.Start());
    QCOMPARE(Status(w), QStringLiteral("Create Socket Fail!!"));
    Prepare(w, folder, 10);

    PressUpdate(w);
    QCOMPARE(Status(w), QStringLiteral("Request Update"));
    QVERIFY(State(w) == Protocol::Request);
    QVERIFY(w.boxes.empty());
    PressUpdate(w);
    QVERIFY(State(w) == Protocol::Request);
    QVERIFY(w.boxes.empty());
}

void FrmmainUpdateTest::recordThatCannotBeWrittenIsSaidInTheStatusTooltip_data() {
    QTest::addColumn<int>("presses");
    QTest::addColumn<bool>("close");
    QTest::newRow("Update pressed again before the logger answered") << 2 << false;
    QTest::newRow("the window closed before the logger answered") << 1 << true;
}

// The record's folder is a plain file. No box says so, neither ahead of the dialogue's own texts nor at
// close: the status line's tooltip does.
void FrmmainUpdateTest::recordThatCannotBeWrittenIsSaidInTheStatusTooltip() {
    QFETCH(int, presses);
    QFETCH(bool, close);
    QTemporaryDir folder;
    QFile(folder.filePath(QStringLiteral("plainfile"))).open(QIODevice::WriteOnly);
    qputenv("LOGGER_UPDATE_RECORD", folder.filePath(QStringLiteral("plainfile/updates.jsonl")).toUtf8());
    VirtualPacer pacer;
    LoopbackLogger logger(LoggerAddress, 0);
    WindowUnderTest w(ToolOptions{ToolAddress, logger.Port(), lut::test::FreePort(ToolAddress)},
                      WithPacer(pacer));
    QVERIFY(w.Start());
    Prepare(w, folder, 10);
    for (int press = 0; press < presses; ++press) {
        PressUpdate(w);
    }
    if (close) {
        w.window->close();
    }
    qputenv("LOGGER_UPDATE_RECORD", "off");
    QCOMPARE(w.boxes.size(), 0u);
    QCOMPARE(Status(w), QStringLiteral("Request Update"));
    const QString tip = w.window->findChild<QLabel*>(QStringLiteral("lbl6"))->toolTip();
    QVERIFY2(tip.contains(QStringLiteral("plainfile/updates.jsonl could not be written")), qPrintable(tip));
}

void FrmmainUpdateTest::unknownLocalAddressShowsTheErrorAndKeepsLbl3() {
    lut::app::FrmmainSettings settings;
    settings.lookUpLocalAddress = []() -> std::string {
        throw std::runtime_error("The host name resolves to no IPv4 address.");
    };
    WindowUnderTest w(ToolOptions{ToolAddress, 0, 0}, std::move(settings));
    QVERIFY(w.Start());
    QCOMPARE(w.boxes.size(), 1u);
    QVERIFY(w.boxes[0].kind == lut::app::BoxKind::Error);
    QCOMPARE(w.boxes[0].text, QStringLiteral("The host name resolves to no IPv4 address."));
    QCOMPARE(w.window->findChild<QLabel*>(QStringLiteral("lbl3"))->text(), QStringLiteral("lbl3"));
    QCOMPARE(Status(w), QStringLiteral("Ready"));
}

// A second serial number from a listed address: the row says so, and Update on it sends nothing.
void FrmmainUpdateTest::twoLoggersAtOneAddressAreMarkedAndNeverUpdated() {
    QTemporaryDir folder;
    VirtualPacer pacer;
    LoopbackLogger logger(LoggerAddress, 0);
    WindowUnderTest w(ToolOptions{ToolAddress, logger.Port(), lut::test::FreePort(ToolAddress)},
                      WithPacer(pacer));
    QVERIFY(w.Start());
    Prepare(w, folder, 700);
    lut::Endpoint twin;
    QVERIFY(!twin.Open({LoggerAddress, 0}));
    QVERIFY(!twin.SendTo(lut::test::Answer("SN0002#S1.0"), ToolAddress,
                         w.window->Core().Link().DiscoverySocket.LocalPort()));
    auto* list = w.window->findChild<QTreeWidget*>(QStringLiteral("lv1"));
    QTRY_COMPARE(list->topLevelItem(0)->text(0), QStringLiteral("! SN0001"));
    QCOMPARE(list->topLevelItem(0)->toolTip(0),
             QStringLiteral("Two loggers answer at this address: SN0001, SN0002"));

    PressUpdate(w);
    QCOMPARE(w.boxes.size(), 1u);
    QVERIFY(w.boxes[0].kind == lut::app::BoxKind::Warning);
    QCOMPARE(w.boxes[0].text, QStringLiteral("Two loggers answer at 127.0.0.2 (SN0001, SN0002): give one of "
                                             "them another address, then Search again."));
    QVERIFY(logger.Arrived().empty());
    QVERIFY(State(w) == Protocol::Search);
}

QTEST_MAIN(FrmmainUpdateTest)
#include "tst_frmmain_update.moc"
