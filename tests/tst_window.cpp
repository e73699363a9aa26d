#include "Ushwflst.h"
#include "accessibility.h"
#include "classicdesktop.h"
#include "errorreport.h"
#include "errors.h"
#include "language.h"

#include "errorreportwatcher.h"
#include "faultinjection.h"
#include "testsupport.h"

#include <QAccessible>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

#include <cerrno>
#include <cstring>
#include <memory>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

constexpr QLatin1StringView FileName("showflst.dat");

const QByteArray InitialContent = "00:00\r\n23:59\r\nikkai\r\nhyoji1\r\nhyoji1\r\n"_ba;
const QString Hint = u"右クリックで時間が、左クリックで分が変更できます"_s;

QByteArray settingsFile()
{
    return fileContent(FileName);
}

void writeSettingsFile(const QByteArray& content)
{
    writeFile(FileName, content);
}

template <typename Control>
Control* control(const QWidget* form, const char* name)
{
    auto* found = form->findChild<Control*>(QLatin1StringView(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

QString timeText(const QWidget* form, const char* edit)
{
    return control<QLineEdit>(form, edit)->text();
}

// The one checked button of a group, or "" when not exactly one is checked.
QString checkedButton(const QWidget* form, const char* group)
{
    QStringList checked;
    for (const QRadioButton* button : control<QGroupBox>(form, group)->findChildren<QRadioButton*>())
        if (button->isChecked())
            checked << button->objectName();
    return checked.size() == 1 ? checked.first() : QString();
}

QPoint upArrow()
{
    return {8, 4};
}

QPoint downArrow()
{
    return {8, 15};
}

// Runs the application's event loop, as the program does, until the program
// terminates or `timeout` passes; returns the exit code, or -1 on the timeout.
int runEventLoop(const std::function<void()>& whileRunning, int timeout = 3000)
{
    QTimer::singleShot(0, whileRunning);
    // Owned here, so that it cannot end a later test's event loop.
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.callOnTimeout([] { QCoreApplication::exit(-1); });
    deadline.start(timeout);
    return QCoreApplication::exec();
}

} // namespace

class TestWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void typicalRun();
    void opensWithTheInitialStatesWithoutAFile();
    void closeButtonWritesTheInitialFileAtOnce();
    void stepsTimes_data();
    void stepsTimes();
    void loadsEachKeywordIntoOneButton_data();
    void loadsEachKeywordIntoOneButton();
    void closingOtherwiseSavesNothing_data();
    void closingOtherwiseSavesNothing();
    void escapeDoesNotClose();
    void malformedTimeReportsEveryStep();
    void failedSaveKeepsTheWindowOpen();
    void failedLoadIsReportedBeforeTheWindowOpens();
    void untouchedTimesAreSavedByteForByte_data();
    void untouchedTimesAreSavedByteForByte();
    void displaysShiftJisText();
    void readErrorPartWayKeepsTheValuesReadBefore();
    void fifoInTheWayNeitherHangsNorIsWrittenInto();
    void removedCurrentDirectoryKeepsTheWindowOpen();

    void tabVisitsTheCheckedButtonOfEachGroup_data();
    void tabVisitsTheCheckedButtonOfEachGroup();
    void arrowKeysMoveTheCheckWithinAGroup();
    void hoverShowsTheUpDownHint();
    void windowIsPlacedAndSizedAsDesigned();
    void controlsStayPutOnResize();
    void usesTheDesignedFontOrItsStandIn();
    void everyCaptionIsFullyVisible();
    void everyControlHasADistinctAccessibleName();

    void stepsTimesByKey_data();
    void stepsTimesByKey();
    void malformedTimeByKeyIsReportedAndKept();
    void keyboardAloneSetsAndSavesEverything();
    void enterPressesTheFocusedCloseButton_data();
    void enterPressesTheFocusedCloseButton();
    void assistiveTechnologyStepsTheTimes_data();
    void assistiveTechnologyStepsTheTimes();
    void assistiveTechnologyCannotWriteTheTimes_data();
    void assistiveTechnologyCannotWriteTheTimes();
    void windowAndTimeFieldsTellWhatTheyAre();
    void loadingKeepsALongLineOnce();
    void failedSaveIsReportedAllInJapanese_data();
    void failedSaveIsReportedAllInJapanese();
    void timeFieldMenuIsJapanese();

private:
    std::unique_ptr<ThjsForm> openForm();

    std::unique_ptr<QTemporaryDir> dir_;
    QString previousDir_;
};

void TestWindow::initTestCase()
{
    // As the program starts: Japanese for Qt's texts and the C library's.
    clearMessageLanguageList();
    QVERIFY2(installJapaneseQtTexts(*qApp), "Qt's Japanese catalogue qtbase_ja.qm is not installed");
    useClassicDesktopLook();
    previousDir_ = QDir::currentPath();
}

void TestWindow::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    QVERIFY(QDir::setCurrent(dir_->path()));
}

void TestWindow::cleanup()
{
    QDir::setCurrent(previousDir_);
    dir_.reset();
}

std::unique_ptr<ThjsForm> TestWindow::openForm()
{
    auto form = std::make_unique<ThjsForm>();
    hjsForm = form.get();
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get()))
        qFatal("the window did not open");
    return form;
}

void TestWindow::typicalRun()
{
    writeSettingsFile("08:00\r\n17:00\r\nnoikkai\r\nhyoji2\r\nhyoji1\r\n");
    const auto form = openForm();
    QCOMPARE(timeText(form.get(), "kara_Edit"), u"08:00"_s);
    QCOMPARE(timeText(form.get(), "made_Edit"), u"17:00"_s);
    QVERIFY(!control<QCheckBox>(form.get(), "ikkai_CBox")->isChecked());
    QCOMPARE(checkedButton(form.get(), "GroupBox3"), u"dt_hyoji2_RBtn"_s);
    QCOMPARE(checkedButton(form.get(), "GroupBox5"), u"ck_hyoji1_RBtn"_s);

    auto* karaUpDown = control<UpDown>(form.get(), "kara_UD");
    QTest::mouseClick(karaUpDown, Qt::LeftButton, Qt::NoModifier, upArrow());
    QCOMPARE(timeText(form.get(), "kara_Edit"), u"08:01"_s);
    QTest::mouseClick(karaUpDown, Qt::RightButton, Qt::NoModifier, downArrow());
    QCOMPARE(timeText(form.get(), "kara_Edit"), u"09:01"_s);
    QTest::mouseClick(control<QRadioButton>(form.get(), "ck_nohyoji_RBtn"), Qt::LeftButton);
    QCOMPARE(settingsFile(), "08:00\r\n17:00\r\nnoikkai\r\nhyoji2\r\nhyoji1\r\n"_ba);

    const int exitCode = runEventLoop(
        [&] { QTest::mouseClick(control<QPushButton>(form.get(), "close_Btn"), Qt::LeftButton); });
    QCOMPARE(exitCode, 0);
    QCOMPARE(settingsFile(), "09:01\r\n17:00\r\nnoikkai\r\nhyoji2\r\nnohyoji\r\n"_ba);
}

void TestWindow::opensWithTheInitialStatesWithoutAFile()
{
    const auto form = openForm();
    QCOMPARE(timeText(form.get(), "kara_Edit"), u"00:00"_s);
    QCOMPARE(timeText(form.get(), "made_Edit"), u"23:59"_s);
    QVERIFY(control<QCheckBox>(form.get(), "ikkai_CBox")->isChecked());
    QCOMPARE(checkedButton(form.get(), "GroupBox3"), u"dt_hyoji1_RBtn"_s);
    QCOMPARE(checkedButton(form.get(), "GroupBox5"), u"ck_hyoji1_RBtn"_s);
    QVERIFY(control<QLineEdit>(form.get(), "kara_Edit")->isReadOnly());
    QVERIFY(control<QLineEdit>(form.get(), "made_Edit")->isReadOnly());
    QCOMPARE(SettingsFileName, u"showflst.dat"_s);
}

void TestWindow::closeButtonWritesTheInitialFileAtOnce()
{
    const auto form = openForm();
    ErrorReportWatcher watcher;
    const int exitCode = runEventLoop(
        [&] { QTest::mouseClick(control<QPushButton>(form.get(), "close_Btn"), Qt::LeftButton); });
    QCOMPARE(exitCode, 0);
    QCOMPARE(settingsFile(), InitialContent);
    QCOMPARE(settingsFile().size(), 37);
    QVERIFY(watcher.reports.isEmpty());
}

void TestWindow::stepsTimes_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QByteArray>("upDown");
    QTest::addColumn<QString>("before");
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<QString>("after");

    QTest::newRow("from-time up past midnight")
        << "kara_Edit"_ba << "kara_UD"_ba << u"23:59"_s << Qt::LeftButton << upArrow() << u"00:00"_s;
    QTest::newRow("from-time down past midnight")
        << "kara_Edit"_ba << "kara_UD"_ba << u"00:00"_s << Qt::LeftButton << downArrow() << u"23:59"_s;
    QTest::newRow("to-time up past midnight")
        << "made_Edit"_ba << "made_UD"_ba << u"23:59"_s << Qt::LeftButton << upArrow() << u"00:00"_s;
    QTest::newRow("to-time down past midnight")
        << "made_Edit"_ba << "made_UD"_ba << u"00:00"_s << Qt::LeftButton << downArrow() << u"23:59"_s;
    QTest::newRow("right click on the down arrow: an hour forward")
        << "made_Edit"_ba << "made_UD"_ba << u"23:59"_s << Qt::RightButton << downArrow() << u"00:59"_s;
    QTest::newRow("right click on the up arrow: an hour forward")
        << "kara_Edit"_ba << "kara_UD"_ba << u"23:30"_s << Qt::RightButton << upArrow() << u"00:30"_s;
    QTest::newRow("middle click does nothing")
        << "kara_Edit"_ba << "kara_UD"_ba << u"12:00"_s << Qt::MiddleButton << upArrow() << u"12:00"_s;
    QTest::newRow("stepping pads the result")
        << "kara_Edit"_ba << "kara_UD"_ba << u"7:5"_s << Qt::LeftButton << upArrow() << u"07:06"_s;
}

void TestWindow::stepsTimes()
{
    QFETCH(QByteArray, field);
    QFETCH(QByteArray, upDown);
    QFETCH(QString, before);
    QFETCH(Qt::MouseButton, button);
    QFETCH(QPoint, at);
    QFETCH(QString, after);

    const QByteArray times = field == "kara_Edit" ? before.toLatin1() + "\r\n12:00\r\n" : "12:00\r\n" + before.toLatin1() + "\r\n";
    writeSettingsFile(times + "ikkai\r\nhyoji1\r\nhyoji1\r\n");
    const auto form = openForm();
    QCOMPARE(timeText(form.get(), field.constData()), before);
    QTest::mouseClick(control<UpDown>(form.get(), upDown.constData()), button, Qt::NoModifier, at);
    QCOMPARE(timeText(form.get(), field.constData()), after);
}

void TestWindow::loadsEachKeywordIntoOneButton_data()
{
    QTest::addColumn<QByteArray>("keyword");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QByteArray>("saved");
    QTest::newRow("hyoji1: always") << "hyoji1"_ba << u"hyoji1_RBtn"_s << "hyoji1"_ba;
    QTest::newRow("hyoji2: only when flagged") << "hyoji2"_ba << u"hyoji2_RBtn"_s << "hyoji2"_ba;
    QTest::newRow("nohyoji: never") << "nohyoji"_ba << u"nohyoji_RBtn"_s << "nohyoji"_ba;
    QTest::newRow("anything else: never") << "Hyoji1"_ba << u"nohyoji_RBtn"_s << "nohyoji"_ba;
}

void TestWindow::loadsEachKeywordIntoOneButton()
{
    QFETCH(QByteArray, keyword);
    QFETCH(QString, button);
    QFETCH(QByteArray, saved);
    for (const bool dataFile : {true, false}) {
        const QByteArray line4 = dataFile ? keyword : "hyoji2"_ba;
        const QByteArray line5 = dataFile ? "hyoji2"_ba : keyword;
        writeSettingsFile("08:00\r\n17:00\r\nikkai\r\n" + line4 + "\r\n" + line5 + "\r\n");
        const auto form = openForm();
        QCOMPARE(checkedButton(form.get(), "GroupBox3"), dataFile ? u"dt_"_s + button : u"dt_hyoji2_RBtn"_s);
        QCOMPARE(checkedButton(form.get(), "GroupBox5"), dataFile ? u"ck_hyoji2_RBtn"_s : u"ck_"_s + button);
        QCOMPARE(runEventLoop([&] { control<QPushButton>(form.get(), "close_Btn")->click(); }), 0);
        const QByteArray savedLine4 = dataFile ? saved : "hyoji2"_ba;
        const QByteArray savedLine5 = dataFile ? "hyoji2"_ba : saved;
        QCOMPARE(settingsFile(), "08:00\r\n17:00\r\nikkai\r\n" + savedLine4 + "\r\n" + savedLine5 + "\r\n");
    }
}

void TestWindow::closingOtherwiseSavesNothing_data()
{
    QTest::addColumn<bool>("fileExists");
    QTest::newRow("the earlier file stays") << true;
    QTest::newRow("no file is created") << false;
}

void TestWindow::closingOtherwiseSavesNothing()
{
    QFETCH(bool, fileExists);
    const QByteArray earlier = "08:00\r\n17:00\r\nnoikkai\r\nhyoji2\r\nhyoji1\r\n"_ba;
    if (fileExists)
        writeSettingsFile(earlier);
    const auto form = openForm();
    QTest::mouseClick(control<UpDown>(form.get(), "kara_UD"), Qt::LeftButton, Qt::NoModifier, upArrow());
    control<QCheckBox>(form.get(), "ikkai_CBox")->click();
    control<QRadioButton>(form.get(), "dt_nohyoji_RBtn")->click();

    // The caption's close box: the window closes and, as the last window, ends the program.
    QCOMPARE(runEventLoop([&] { form->close(); }), 0);
    QVERIFY(!form->isVisible());
    QCOMPARE(settingsFile(), fileExists ? earlier : "<absent>"_ba);
}

void TestWindow::escapeDoesNotClose()
{
    const auto form = openForm();
    QTest::keyClick(form.get(), Qt::Key_Escape);
    QVERIFY(form->isVisible());
}

void TestWindow::malformedTimeReportsEveryStep()
{
    writeSettingsFile("24:00\r\n17:00\r\nikkai\r\nhyoji1\r\nhyoji1\r\n");
    const auto form = openForm();
    QCOMPARE(timeText(form.get(), "kara_Edit"), u"24:00"_s);

    ErrorReportWatcher watcher;
    auto* upDown = control<UpDown>(form.get(), "kara_UD");
    QTest::mouseClick(upDown, Qt::LeftButton, Qt::NoModifier, upArrow());
    QTest::mouseClick(upDown, Qt::LeftButton, Qt::NoModifier, downArrow());
    QTest::mouseClick(upDown, Qt::RightButton, Qt::NoModifier, upArrow());
    QCOMPARE(watcher.reports.count(), 3);
    for (const ErrorReportWatcher::Report& report : watcher.reports) {
        QCOMPARE(report.title, u"tst_window"_s);
        QCOMPARE(report.text, u"'24:00' は時刻ではありません."_s);
        QCOMPARE(report.icon, QMessageBox::Critical);
        QCOMPARE(report.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }
    QCOMPARE(timeText(form.get(), "kara_Edit"), u"24:00"_s);

    // The program goes on: the other field still steps.
    QTest::mouseClick(control<UpDown>(form.get(), "made_UD"), Qt::LeftButton, Qt::NoModifier, upArrow());
    QCOMPARE(timeText(form.get(), "made_Edit"), u"17:01"_s);
}

void TestWindow::failedSaveKeepsTheWindowOpen()
{
    const auto form = openForm();
    QVERIFY(QDir().mkdir(FileName));
    ErrorReportWatcher watcher;
    const int exitCode = runEventLoop(
        [&] { QTest::mouseClick(control<QPushButton>(form.get(), "close_Btn"), Qt::LeftButton); });
    QCOMPARE(exitCode, -1); // the program did not terminate
    QVERIFY(form->isVisible());
    QCOMPARE(watcher.reports.count(), 1);
    QVERIFY2(watcher.reports.first().text.contains(FileName), qPrintable(watcher.reports.first().text));
    QVERIFY(QFileInfo(FileName).isDir());

    // Once the way is clear, the close button saves and ends the program.
    QVERIFY(QDir().rmdir(FileName));
    QCOMPARE(runEventLoop([&] { control<QPushButton>(form.get(), "close_Btn")->click(); }), 0);
    QCOMPARE(settingsFile(), InitialContent);
}

void TestWindow::failedLoadIsReportedBeforeTheWindowOpens()
{
    // A regular file whose first read fails with an I/O error.
    QVERIFY(QFile::link(u"/proc/self/mem"_s, FileName));
    ErrorReportWatcher watcher;
    auto form = std::make_unique<ThjsForm>();
    QCOMPARE(watcher.reports.count(), 1);
    QVERIFY(!watcher.reports.first().windowWasVisible);
    QVERIFY2(watcher.reports.first().text.contains(FileName), qPrintable(watcher.reports.first().text));
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QCOMPARE(timeText(form.get(), "kara_Edit"), u"00:00"_s);
}

void TestWindow::untouchedTimesAreSavedByteForByte_data()
{
    QTest::addColumn<QByteArray>("times");
    QTest::newRow("Shift_JIS") << "\x82\xa0\x82\xa2\r\n\x8c\xdf\x91\x4f\r\n"_ba;
    QTest::newRow("not valid in any encoding") << "\xff\xfe\x80\r\n\xc3\x28\r\n"_ba;
    QTest::newRow("NUL bytes") << raw("0\0:00\r\n\0\0\r\n");
    QTest::newRow("LF inside") << "08:00\n\n\r\n\n17:00\r\n"_ba;
    QTest::newRow("100 000 bytes") << QByteArray(100'000, '1') + "\r\n" + QByteArray(50'000, 'x') + "\r\n";
    QTest::newRow("not a time") << "abc\r\n24:00\r\n"_ba;
}

void TestWindow::untouchedTimesAreSavedByteForByte()
{
    QFETCH(QByteArray, times);
    const QByteArray content = times + "noikkai\r\nhyoji2\r\nnohyoji\r\n";
    writeSettingsFile(content);
    const auto form = openForm();
    // No row's to-time is a time of day: each step is refused and must leave
    // the field's bytes as they were read.
    ErrorReportWatcher watcher;
    QTest::mouseClick(control<UpDown>(form.get(), "made_UD"), Qt::LeftButton, Qt::NoModifier, upArrow());
    QTest::mouseClick(control<UpDown>(form.get(), "made_UD"), Qt::LeftButton, Qt::NoModifier, downArrow());
    QCOMPARE(watcher.reports.count(), 2);
    QCOMPARE(runEventLoop([&] { control<QPushButton>(form.get(), "close_Btn")->click(); }), 0);
    QCOMPARE(settingsFile(), content);
}

void TestWindow::displaysShiftJisText()
{
    writeSettingsFile("\x82\xa0\x82\xa2\r\n");
    const auto form = openForm();
    QCOMPARE(timeText(form.get(), "kara_Edit"), u"あい"_s);
}

void TestWindow::readErrorPartWayKeepsTheValuesReadBefore()
{
    // Lines 1 and 2 come with the first read; the rest needs another one.
    writeSettingsFile("08:00\r\n17:00\r\n" + QByteArray(200'000, 'x') + "\r\nhyoji2\r\nhyoji2\r\n");
    ErrorReportWatcher watcher;
    std::unique_ptr<ThjsForm> form;
    {
        ArmedFault fault(FaultPoint::Read, EIO, 1);
        form = std::make_unique<ThjsForm>();
        QVERIFY(fault.tripped() > 0);
    }
    QCOMPARE(watcher.reports.count(), 1);
    QVERIFY2(watcher.reports.first().text.contains(systemErrorText(EIO)),
             qPrintable(watcher.reports.first().text));
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QCOMPARE(timeText(form.get(), "kara_Edit"), u"08:00"_s);
    QCOMPARE(timeText(form.get(), "made_Edit"), u"17:00"_s);
    QVERIFY(control<QCheckBox>(form.get(), "ikkai_CBox")->isChecked());
    QCOMPARE(checkedButton(form.get(), "GroupBox3"), u"dt_hyoji1_RBtn"_s);
}

void TestWindow::fifoInTheWayNeitherHangsNorIsWrittenInto()
{
    QCOMPARE(::mkfifo(FileName.data(), 0600), 0);
    const auto form = openForm(); // reading the FIFO would block here
    QCOMPARE(timeText(form.get(), "kara_Edit"), u"00:00"_s);
    QCOMPARE(runEventLoop([&] { control<QPushButton>(form.get(), "close_Btn")->click(); }), 0);
    QVERIFY(QFileInfo(FileName).isFile());
    QCOMPARE(settingsFile(), InitialContent);
}

void TestWindow::removedCurrentDirectoryKeepsTheWindowOpen()
{
    const auto form = openForm();
    QVERIFY(QDir(dir_->path()).removeRecursively());
    ErrorReportWatcher watcher;
    QCOMPARE(runEventLoop([&] { control<QPushButton>(form.get(), "close_Btn")->click(); }), -1);
    QVERIFY(form->isVisible());
    QCOMPARE(watcher.reports.count(), 1);
    const QString text = watcher.reports.first().text;
    QVERIFY2(text.contains(FileName) && text.contains(u"書き込み"), qPrintable(text));
}

void TestWindow::tabVisitsTheCheckedButtonOfEachGroup_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("order");
    const QStringList rest = {u"kara_Edit"_s, u"made_Edit"_s, u"ikkai_CBox"_s, u"close_Btn"_s};
    QTest::newRow("initial states") << QByteArray() << QStringList{u"dt_hyoji1_RBtn"_s, u"ck_hyoji1_RBtn"_s} + rest;
    QTest::newRow("other buttons checked") << "1\r\n2\r\nikkai\r\nhyoji2\r\nnohyoji\r\n"_ba
                                           << QStringList{u"dt_hyoji2_RBtn"_s, u"ck_nohyoji_RBtn"_s} + rest;
}

void TestWindow::tabVisitsTheCheckedButtonOfEachGroup()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, order);
    if (!content.isEmpty())
        writeSettingsFile(content);
    const auto form = openForm();
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));

    const auto focused = [] {
        return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : u"none"_s;
    };
    QStringList visited{focused()};
    for (qsizetype i = 0; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << focused();
    }
    QCOMPARE(visited, order + QStringList{order.first()});

    QStringList backwards;
    for (qsizetype i = 0; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        backwards.prepend(focused());
    }
    QCOMPARE(backwards, order);
}

void TestWindow::arrowKeysMoveTheCheckWithinAGroup()
{
    const auto form = openForm();
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    QCOMPARE(QApplication::focusWidget()->objectName(), u"dt_hyoji1_RBtn"_s);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QCOMPARE(QApplication::focusWidget()->objectName(), u"dt_hyoji2_RBtn"_s);
    QCOMPARE(checkedButton(form.get(), "GroupBox3"), u"dt_hyoji2_RBtn"_s);
    QCOMPARE(checkedButton(form.get(), "GroupBox5"), u"ck_hyoji1_RBtn"_s);
    // Tab now leaves the group from the newly checked button, and comes back to it.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), u"ck_hyoji1_RBtn"_s);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget()->objectName(), u"dt_hyoji2_RBtn"_s);
}

void TestWindow::hoverShowsTheUpDownHint()
{
    const auto form = openForm();
    for (const char* name : {"kara_UD", "made_UD"}) {
        auto* upDown = control<UpDown>(form.get(), name);
        QHelpEvent hover(QEvent::ToolTip, QPoint(8, 10), upDown->mapToGlobal(QPoint(8, 10)));
        QApplication::sendEvent(upDown, &hover);
        QTRY_VERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), Hint);
        QToolTip::hideText();
    }
}

void TestWindow::windowIsPlacedAndSizedAsDesigned()
{
    const auto form = openForm();
    QCOMPARE(form->windowTitle(), u"作業結果ファイル　自動表示設定"_s);
    QCOMPARE(form->frameGeometry(), QRect(194, 82, 347, 385));
    const Qt::WindowFlags flags = form->windowFlags();
    QVERIFY(flags.testFlags(Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint));
    QVERIFY(form->minimumSize() != form->maximumSize());
    const QIcon icon = form->windowIcon();
    QVERIFY(icon.availableSizes().contains(QSize(32, 32)));
    QCOMPARE(icon.pixmap(32, 32).toImage().size(), QSize(32, 32));
    // Every control lies inside the client area.
    for (const QWidget* child : form->findChildren<QWidget*>())
        QVERIFY2(form->rect().contains(QRect(child->mapTo(form.get(), QPoint(0, 0)), child->size())),
                 qPrintable(child->objectName()));
}

void TestWindow::controlsStayPutOnResize()
{
    const auto form = openForm();
    auto* button = control<QPushButton>(form.get(), "close_Btn");
    const QRect before = button->geometry();
    form->resize(600, 500);
    QTRY_COMPARE(form->size(), QSize(600, 500));
    QCOMPARE(button->geometry(), before);
}

void TestWindow::usesTheDesignedFontOrItsStandIn()
{
    const auto form = openForm();
    const QStringList japaneseGothics = {u"ＭＳ Ｐゴシック"_s, u"IPAPGothic"_s, u"IPAGothic"_s, u"VL PGothic"_s,
                                         u"Noto Sans CJK JP"_s, u"TakaoPGothic"_s};
    for (const QWidget* widget : form->findChildren<QWidget*>()) {
        const QFontInfo used(widget->font());
        QVERIFY2(japaneseGothics.contains(used.family()), qPrintable(widget->objectName() + u": "_s + used.family()));
        QCOMPARE(used.pixelSize(), 12);
    }
}

// A caption that does not fit its control is cut off: with the font in use,
// each caption must fit whole inside the space its control gives it.
void TestWindow::everyCaptionIsFullyVisible()
{
    const auto form = openForm();
    for (const QAbstractButton* button : form->findChildren<QAbstractButton*>()) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const auto contents = qobject_cast<const QRadioButton*>(button) ? QStyle::SE_RadioButtonContents
                              : qobject_cast<const QCheckBox*>(button)  ? QStyle::SE_CheckBoxContents
                                                                         : QStyle::SE_PushButtonContents;
        const QRect room = button->style()->subElementRect(contents, &option, button);
        const QSize text = button->fontMetrics().size(Qt::TextShowMnemonic, button->text());
        QVERIFY2(text.width() <= room.width() && text.height() <= room.height(),
                 qPrintable(button->objectName() + u": %1x%2 in %3x%4"_s.arg(text.width()).arg(text.height())
                                                       .arg(room.width()).arg(room.height())));
    }
    for (const QLabel* label : form->findChildren<QLabel*>()) {
        const QRect text = label->fontMetrics().boundingRect(label->text());
        QVERIFY2(text.width() <= label->width(), qPrintable(label->objectName()));
        QVERIFY2(label->fontMetrics().height() <= label->height() + 1, qPrintable(label->objectName()));
    }
    for (const QGroupBox* group : form->findChildren<QGroupBox*>()) {
        QStyleOptionGroupBox option;
        option.initFrom(group);
        option.text = group->title();
        option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        const QRect label = group->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
        QVERIFY2(label.width() >= group->fontMetrics().horizontalAdvance(group->title()), qPrintable(group->objectName()));
        QVERIFY2(group->rect().contains(label), qPrintable(group->objectName()));
    }
    for (const QLineEdit* edit : form->findChildren<QLineEdit*>()) {
        QStyleOptionFrame option;
        option.initFrom(edit);
        option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
        const QRect contents = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
        QVERIFY2(edit->fontMetrics().horizontalAdvance(u"00:00"_s) <= contents.width(), qPrintable(edit->objectName()));
    }
}

// A screen reader reaches each control through its parent and announces it
// by a name that tells it apart from its siblings.
void TestWindow::everyControlHasADistinctAccessibleName()
{
    const auto form = openForm();
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(form.get());
    QVERIFY(window);

    QStringList reached;
    const std::function<void(QAccessibleInterface*)> visit = [&](QAccessibleInterface* parent) {
        QStringList names;
        for (int i = 0; i < parent->childCount(); ++i) {
            QAccessibleInterface* child = parent->child(i);
            QVERIFY(child && child->isValid());
            const QString name = child->text(QAccessible::Name);
            const QString control = child->object()->objectName();
            QVERIFY2(!name.isEmpty(), qPrintable(control));
            // A name borrowed from the group tells nothing the group did not.
            QVERIFY2(name != parent->text(QAccessible::Name), qPrintable(control + u": "_s + name));
            QVERIFY2(!names.contains(name), qPrintable(control + u": "_s + name));
            names << name;
            reached << control;
            visit(child);
        }
    };
    visit(window);
    reached.sort();
    QStringList controls;
    for (const QWidget* widget : form->findChildren<QWidget*>())
        controls << widget->objectName();
    controls.sort();
    QCOMPARE(controls.size(), 17);
    QCOMPARE(reached, controls);
}

void TestWindow::stepsTimesByKey_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("upDownSaw"); // what the up-down beside it raised, as for the mouse

    QTest::newRow("Up: a minute forward, past midnight")
        << "kara_Edit"_ba << int(Qt::Key_Up) << u"23:59"_s << u"00:00"_s << u"mouseDown left, click next"_s;
    QTest::newRow("Down: a minute back, past midnight")
        << "kara_Edit"_ba << int(Qt::Key_Down) << u"00:00"_s << u"23:59"_s << u"mouseDown left, click prev"_s;
    QTest::newRow("Page Up: an hour forward, past midnight")
        << "made_Edit"_ba << int(Qt::Key_PageUp) << u"23:30"_s << u"00:30"_s << u"mouseDown right"_s;
    QTest::newRow("Page Down: an hour back, past midnight")
        << "made_Edit"_ba << int(Qt::Key_PageDown) << u"00:30"_s << u"23:30"_s << QString();
    QTest::newRow("Page Down on the from-time")
        << "kara_Edit"_ba << int(Qt::Key_PageDown) << u"10:15"_s << u"09:15"_s << QString();
    QTest::newRow("Down on the to-time pads the result")
        << "made_Edit"_ba << int(Qt::Key_Down) << u"7:5"_s << u"07:04"_s << u"mouseDown left, click prev"_s;
}

void TestWindow::stepsTimesByKey()
{
    QFETCH(QByteArray, field);
    QFETCH(int, key);
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(QString, upDownSaw);
    const QByteArray times = field == "kara_Edit" ? before.toLatin1() + "\r\n12:00\r\n" : "12:00\r\n" + before.toLatin1() + "\r\n";
    writeSettingsFile(times + "ikkai\r\nhyoji1\r\nhyoji1\r\n");
    const auto form = openForm();
    auto* upDown = control<UpDown>(form.get(), field == "kara_Edit" ? "kara_UD" : "made_UD");
    QStringList raised;
    connect(upDown, &UpDown::mouseDown, upDown, [&raised](Qt::MouseButton button) {
        raised << (button == Qt::LeftButton ? u"mouseDown left"_s : u"mouseDown right"_s);
    });
    connect(upDown, &UpDown::click, upDown, [&raised](TUDBtnType arrow) {
        raised << (arrow == TUDBtnType::btNext ? u"click next"_s : u"click prev"_s);
    });

    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    auto* timeField = control<TimeField>(form.get(), field.constData());
    timeField->setFocus(Qt::TabFocusReason);
    QTest::keyClick(timeField, Qt::Key(key));
    QCOMPARE(timeText(form.get(), field.constData()), after);
    QCOMPARE(raised.join(u", "), upDownSaw);
    // It shows no caret; its selected text shows where the focus is.
    QCOMPARE(timeField->selectedText(), after);
}

void TestWindow::malformedTimeByKeyIsReportedAndKept()
{
    writeSettingsFile("24:00\r\n17:00\r\n");
    const auto form = openForm();
    ErrorReportWatcher watcher;
    for (const auto key : {Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp, Qt::Key_PageDown})
        QTest::keyClick(control<TimeField>(form.get(), "kara_Edit"), key);
    QCOMPARE(watcher.reports.count(), 4);
    for (const ErrorReportWatcher::Report& report : watcher.reports) {
        QCOMPARE(report.text, u"'24:00' は時刻ではありません."_s);
        QCOMPARE(report.icon, QMessageBox::Critical);
    }
    QCOMPARE(control<TimeField>(form.get(), "kara_Edit")->bytes(), "24:00"_ba);
}

// With the mouse untouched, every one of the five values can be set and saved.
void TestWindow::keyboardAloneSetsAndSavesEverything()
{
    const auto form = openForm();
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    const auto press = [](Qt::Key key, int times = 1) {
        for (int i = 0; i < times; ++i)
            QTest::keyClick(QApplication::focusWidget(), key);
    };
    const auto focused = [] { return QApplication::focusWidget()->objectName(); };

    QCOMPARE(focused(), u"dt_hyoji1_RBtn"_s);
    press(Qt::Key_Down);                                   // only when flagged
    press(Qt::Key_Tab);
    QCOMPARE(focused(), u"ck_hyoji1_RBtn"_s);
    press(Qt::Key_Down, 2);                                // never
    press(Qt::Key_Tab);
    QCOMPARE(focused(), u"kara_Edit"_s);
    press(Qt::Key_Up, 2);                                  // 00:02
    press(Qt::Key_PageUp);                                 // 01:02
    press(Qt::Key_PageDown, 2);                            // 23:02
    press(Qt::Key_Tab);
    QCOMPARE(focused(), u"made_Edit"_s);
    press(Qt::Key_Down);                                   // 23:58
    press(Qt::Key_Tab);
    QCOMPARE(focused(), u"ikkai_CBox"_s);
    press(Qt::Key_Space);                                  // not only once
    press(Qt::Key_Tab);
    QCOMPARE(focused(), u"close_Btn"_s);
    QCOMPARE(runEventLoop([&] { press(Qt::Key_Return); }), 0);
    QCOMPARE(settingsFile(), "23:02\r\n23:58\r\nnoikkai\r\nhyoji2\r\nnohyoji\r\n"_ba);
}

void TestWindow::enterPressesTheFocusedCloseButton_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("Enter") << int(Qt::Key_Enter);
    QTest::newRow("Space") << int(Qt::Key_Space);
}

void TestWindow::enterPressesTheFocusedCloseButton()
{
    QFETCH(int, key);
    const auto form = openForm();
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    auto* close = control<QPushButton>(form.get(), "close_Btn");
    close->setFocus(Qt::TabFocusReason);
    QCOMPARE(runEventLoop([&] { QTest::keyClick(close, Qt::Key(key)); }), 0);
    QCOMPARE(settingsFile(), InitialContent);
}

// What an assistive technology client does with the up-downs' actions, as
// it reaches them through the accessible tree.
void TestWindow::assistiveTechnologyStepsTheTimes_data()
{
    QTest::addColumn<QByteArray>("upDown");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("report");
    const QString hour = QString::fromUtf8(HourForwardAction);
    const QString increase = QAccessibleActionInterface::increaseAction();
    const QString decrease = QAccessibleActionInterface::decreaseAction();
    QTest::newRow("from-time: increase") << "kara_UD"_ba << increase << "23:59\r\n"_ba << "kara_Edit"_ba << u"00:00"_s << QString();
    QTest::newRow("from-time: decrease") << "kara_UD"_ba << decrease << "00:00\r\n"_ba << "kara_Edit"_ba << u"23:59"_s << QString();
    QTest::newRow("from-time: an hour forward") << "kara_UD"_ba << hour << "23:30\r\n"_ba << "kara_Edit"_ba << u"00:30"_s << QString();
    QTest::newRow("to-time: increase") << "made_UD"_ba << increase << "1\r\n23:59\r\n"_ba << "made_Edit"_ba << u"00:00"_s << QString();
    QTest::newRow("to-time: decrease") << "made_UD"_ba << decrease << "1\r\n00:00\r\n"_ba << "made_Edit"_ba << u"23:59"_s << QString();
    QTest::newRow("to-time: an hour forward") << "made_UD"_ba << hour << "1\r\n23:59\r\n"_ba << "made_Edit"_ba << u"00:59"_s << QString();
    QTest::newRow("a malformed time is reported as for a click")
        << "kara_UD"_ba << increase << "24:00\r\n"_ba << "kara_Edit"_ba << u"24:00"_s << u"'24:00' は時刻ではありません."_s;
}

void TestWindow::assistiveTechnologyStepsTheTimes()
{
    QFETCH(QByteArray, upDown);
    QFETCH(QString, action);
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, field);
    QFETCH(QString, after);
    QFETCH(QString, report);
    writeSettingsFile(content);
    const auto form = openForm();
    ErrorReportWatcher watcher;
    QAccessibleInterface* stepper = QAccessible::queryAccessibleInterface(control<UpDown>(form.get(), upDown.constData()));
    QVERIFY(stepper && stepper->actionInterface());
    QCOMPARE(stepper->role(), QAccessible::SpinBox);
    stepper->actionInterface()->doAction(action);
    if (report.isEmpty()) {
        QTRY_COMPARE(timeText(form.get(), field.constData()), after);
        QVERIFY(watcher.reports.isEmpty());
    } else {
        QTRY_COMPARE(watcher.reports.count(), 1);
        QCOMPARE(watcher.reports.first().text, report);
        QCOMPARE(timeText(form.get(), field.constData()), after);
    }
}

// Setting a time field's text through accessibility changes neither what it
// shows nor what is saved, whether the time was loaded or is the initial one.
void TestWindow::assistiveTechnologyCannotWriteTheTimes_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("times loaded from the file") << "08:00\r\n\x82\xa0\r\nikkai\r\nhyoji2\r\nhyoji1\r\n"_ba;
    QTest::newRow("no settings file") << QByteArray();
}

void TestWindow::assistiveTechnologyCannotWriteTheTimes()
{
    QFETCH(QByteArray, content);
    if (!content.isNull())
        writeSettingsFile(content);
    const auto form = openForm();
    for (const char* name : {"kara_Edit", "made_Edit"}) {
        auto* field = control<TimeField>(form.get(), name);
        const QString shown = field->text();
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(field);
        QVERIFY(accessible);
        QVERIFY(accessible->state().readOnly);
        QVERIFY(!accessible->state().editable);
        QVERIFY(!accessible->editableTextInterface());
        accessible->setText(QAccessible::Value, u"912:34"_s);
        QCOMPARE(field->text(), shown);
        QCOMPARE(accessible->text(QAccessible::Value), shown);
    }
    QCOMPARE(runEventLoop([&] { control<QPushButton>(form.get(), "close_Btn")->click(); }), 0);
    QCOMPARE(settingsFile(), content.isNull() ? InitialContent : content);
}

void TestWindow::windowAndTimeFieldsTellWhatTheyAre()
{
    const auto form = openForm();
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(form.get());
    QVERIFY(window);
    QCOMPARE(window->role(), QAccessible::Window);
    QCOMPARE(window->text(QAccessible::Name), u"作業結果ファイル　自動表示設定"_s);
    for (const auto& [name, what] : {std::pair{"kara_Edit", u"始める"_s}, std::pair{"made_Edit", u"終える"_s}}) {
        QAccessibleInterface* field = QAccessible::queryAccessibleInterface(control<TimeField>(form.get(), name));
        const QString description = field->text(QAccessible::Description);
        QVERIFY2(description.contains(what) && description.contains(u"Page Up") && description.contains(u"矢印キー"),
                 qPrintable(description));
        QCOMPARE(field->text(QAccessible::Value), timeText(form.get(), name));
    }
}

// The program with a settings file whose first line is very long: the
// line's bytes are kept once, not again as decoded text and in the field.
// Peak memory, above the program's with a small file, stays within twice the
// line's bytes: held once, plus room for a growing buffer while it is read. A
// second copy, as decoded text (two bytes a character), would pass that.
void TestWindow::loadingKeepsALongLineOnce()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("AddressSanitizer holds freed memory back, so peak memory tells nothing here");
#endif
    const auto peakMemory = [](const QByteArray& firstLine) -> qint64 {
        writeFile(FileName, firstLine + "\r\n17:00\r\nikkai\r\nhyoji1\r\nhyoji1\r\n");
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(SHOWFLST_PROGRAM), {});
        if (!program.waitForStarted())
            return -1;
        // Loaded and idle once it has used no processor time for a while.
        const QString stat = u"/proc/%1/stat"_s.arg(program.processId());
        const auto cpuTime = [&stat] {
            const QList<QByteArray> fields = fileContent(stat).split(' ');
            return fields.size() > 15 ? fields.at(13).toLongLong() + fields.at(14).toLongLong() : -1;
        };
        qint64 last = -2;
        for (int quiet = 0; quiet < 3 && program.state() == QProcess::Running;) {
            QTest::qWait(300);
            const qint64 now = cpuTime();
            quiet = now == last ? quiet + 1 : 0;
            last = now;
        }
        qint64 peakKiB = -1;
        for (const QByteArray& line : fileContent(u"/proc/%1/status"_s.arg(program.processId())).split('\n'))
            if (line.startsWith("VmHWM:"))
                peakKiB = line.mid(6).trimmed().split(' ').first().toLongLong();
        program.kill();
        program.waitForFinished();
        return peakKiB * 1024;
    };
    const qint64 lineLength = qint64{60} * 1024 * 1024;
    const qint64 floor = peakMemory("08:00");
    const qint64 peak = peakMemory(QByteArray(lineLength, '1'));
    QVERIFY(floor > 0 && peak > 0);
    qInfo("peak memory %lld MiB above the floor of %lld MiB for a line of %lld MiB", (peak - floor) >> 20, floor >> 20,
          lineLength >> 20);
    QVERIFY2(peak - floor <= 2 * lineLength,
             qPrintable(u"%1 MiB above the floor of %2 MiB"_s.arg((peak - floor) >> 20).arg(floor >> 20)));
}

namespace {

// Latin letters left in a text once the file's name, which is as it is,
// and the shortcut keys a menu names are taken out.
QString latinLettersIn(QString text)
{
    text.remove(FileName);
    text.remove(QRegularExpression(u"\\(&[A-Z]\\)|\\t.*$"_s));
    text.remove(QRegularExpression(u"[^A-Za-z]"_s));
    return text;
}

} // namespace

// Whatever the locale (the test runs under LANG=C and again under
// en_US.UTF-8, with LANGUAGE set), the report of a failed save is Japanese,
// the system's reason included.
void TestWindow::failedSaveIsReportedAllInJapanese_data()
{
    QTest::addColumn<QString>("inTheWay");
    QTest::addColumn<int>("cause");
    QTest::newRow("a directory where the file goes") << u"directory"_s << EISDIR;
    QTest::newRow("the current directory removed") << u"removed"_s << ENOENT;
}

void TestWindow::failedSaveIsReportedAllInJapanese()
{
    QFETCH(QString, inTheWay);
    QFETCH(int, cause);
    const auto form = openForm();
    if (inTheWay == u"directory")
        QVERIFY(QDir().mkdir(FileName));
    else
        QVERIFY(QDir(dir_->path()).removeRecursively());
    ErrorReportWatcher watcher;
    QCOMPARE(runEventLoop([&] { control<QPushButton>(form.get(), "close_Btn")->click(); }), -1);
    QCOMPARE(watcher.reports.count(), 1);
    const QString text = watcher.reports.first().text;
    QVERIFY2(text.endsWith(systemErrorText(cause) + u"."_s), qPrintable(text));
    QVERIFY2(latinLettersIn(text).isEmpty(), qPrintable(text));
}

void TestWindow::timeFieldMenuIsJapanese()
{
    const auto form = openForm();
    auto* field = control<TimeField>(form.get(), "kara_Edit");
    field->setSelection(0, 2);
    const std::unique_ptr<QMenu> menu(field->createStandardContextMenu());
    QStringList shown;
    for (const QAction* action : menu->actions())
        if (!action->isSeparator()) {
            shown << action->text();
            QVERIFY2(latinLettersIn(action->text()).isEmpty(), qPrintable(action->text()));
        }
    QVERIFY2(shown.contains(u"コピー(&C)\tCtrl+C"_s), qPrintable(shown.join(u" | ")));
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
