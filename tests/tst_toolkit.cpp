#include "accessibility.h"
#include "classicdesktop.h"
#include "errorreport.h"
#include "timefield.h"
#include "updown.h"

#include "errorreportwatcher.h"

#include <QAccessible>
#include <QClipboard>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>

#include <new>
#include <stdexcept>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(TUDBtnType)
Q_DECLARE_METATYPE(TimeStep)
Q_DECLARE_METATYPE(std::optional<TimeStep>)

namespace {

int repeatThreshold()
{
    return QApplication::style()->styleHint(QStyle::SH_SpinBox_ClickAutoRepeatThreshold);
}

} // namespace

class TestToolkit : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void leftPressStepsOnce_data();
    void leftPressStepsOnce();
    void otherButtonsOnlyRaiseMouseDown_data();
    void otherButtonsOnlyRaiseMouseDown();
    void doubleClickStepsTwice();
    void holdingRepeatsUntilRelease();
    void positionWrapsAroundItsRange();
    void positionStopsAtItsRangeWithoutWrap();
    void isNoTabStop();
    void pressActsAsTheMouseWithoutRepeat_data();
    void pressActsAsTheMouseWithoutRepeat();
    void repeatStopsWhenAReportTakesActivation();
    void repeatPausesWhileThePointerIsOffTheArrow();
    void repeatStopsWhenHidden();
    void offersItsStepsAsAccessibleActions_data();
    void offersItsStepsAsAccessibleActions();

    void timeFieldShowsItsBytes_data();
    void timeFieldShowsItsBytes();
    void timeFieldAsksForAStepByKey_data();
    void timeFieldAsksForAStepByKey();
    void timeFieldRefusesTheUsersChanges();
    void timeFieldRefusesAssistiveTechnologysChanges();

    void applicationTitle_data();
    void applicationTitle();
    void guardShowsTheStandardErrorReport_data();
    void guardShowsTheStandardErrorReport();
    void eventLoopCarriesOnAfterAReport();
    void reportStandsOverTheActiveWindow();

private:
    struct Fixture {
        QWidget window;
        UpDown* upDown = new UpDown(&window);
        QSignalSpy clicks{upDown, &UpDown::click};
        QSignalSpy mouseDowns{upDown, &UpDown::mouseDown};

        Fixture()
        {
            upDown->setGeometry(10, 10, 16, 20);
            upDown->setMinimum(-32768);
            upDown->setMaximum(32767);
            upDown->setWrap(true);
            window.show();
        }
    };
};

void TestToolkit::initTestCase()
{
    useClassicDesktopLook();
}

void TestToolkit::leftPressStepsOnce_data()
{
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<TUDBtnType>("direction");
    QTest::newRow("up arrow steps to the next") << QPoint(8, 2) << TUDBtnType::btNext;
    QTest::newRow("bottom of the up arrow") << QPoint(8, 9) << TUDBtnType::btNext;
    QTest::newRow("top of the down arrow") << QPoint(8, 10) << TUDBtnType::btPrev;
    QTest::newRow("down arrow steps to the previous") << QPoint(3, 18) << TUDBtnType::btPrev;
}

void TestToolkit::leftPressStepsOnce()
{
    QFETCH(QPoint, at);
    QFETCH(TUDBtnType, direction);
    Fixture f;
    QTest::mousePress(f.upDown, Qt::LeftButton, Qt::ShiftModifier, at);
    QCOMPARE(f.clicks.count(), 1);
    QCOMPARE(f.clicks.at(0).at(0).value<TUDBtnType>(), direction);
    QTest::mouseRelease(f.upDown, Qt::LeftButton, Qt::ShiftModifier, at);
    QCOMPARE(f.clicks.count(), 1);
    QCOMPARE(f.mouseDowns.count(), 1);
    const QList<QVariant> down = f.mouseDowns.at(0);
    QCOMPARE(down.at(0).value<Qt::MouseButton>(), Qt::LeftButton);
    QCOMPARE(down.at(1).value<Qt::KeyboardModifiers>(), Qt::ShiftModifier);
    QCOMPARE(QPoint(down.at(2).toInt(), down.at(3).toInt()), at);
}

void TestToolkit::otherButtonsOnlyRaiseMouseDown_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::newRow("right") << Qt::RightButton;
    QTest::newRow("middle") << Qt::MiddleButton;
}

void TestToolkit::otherButtonsOnlyRaiseMouseDown()
{
    QFETCH(Qt::MouseButton, button);
    Fixture f;
    QTest::mouseClick(f.upDown, button, Qt::NoModifier, QPoint(8, 15));
    QCOMPARE(f.mouseDowns.count(), 1);
    QCOMPARE(f.mouseDowns.at(0).at(0).value<Qt::MouseButton>(), button);
    QCOMPARE(QPoint(f.mouseDowns.at(0).at(2).toInt(), f.mouseDowns.at(0).at(3).toInt()), QPoint(8, 15));
    QCOMPARE(f.clicks.count(), 0);
}

void TestToolkit::doubleClickStepsTwice()
{
    Fixture f;
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));
    // Through the window, so that Qt itself turns the second press into a
    // double click, as it does for a real pointer.
    QTest::mouseDClick(f.window.windowHandle(), Qt::LeftButton, Qt::NoModifier, f.upDown->mapTo(&f.window, QPoint(8, 4)));
    QCOMPARE(f.clicks.count(), 2);
    QCOMPARE(f.mouseDowns.count(), 2);
}

void TestToolkit::holdingRepeatsUntilRelease()
{
    Fixture f;
    QTest::mousePress(f.upDown, Qt::LeftButton, Qt::NoModifier, QPoint(8, 15));
    QTRY_VERIFY_WITH_TIMEOUT(f.clicks.count() >= 3, 5000);
    QTest::mouseRelease(f.upDown, Qt::LeftButton, Qt::NoModifier, QPoint(8, 15));
    const qsizetype afterRelease = f.clicks.count();
    QTest::qWait(2 * f.upDown->style()->styleHint(QStyle::SH_SpinBox_ClickAutoRepeatThreshold));
    QCOMPARE(f.clicks.count(), afterRelease);
    for (const QList<QVariant>& click : f.clicks)
        QCOMPARE(click.at(0).value<TUDBtnType>(), TUDBtnType::btPrev);
    QCOMPARE(f.mouseDowns.count(), 1);
}

void TestToolkit::positionWrapsAroundItsRange()
{
    Fixture f;
    f.upDown->setPosition(32767);
    QTest::mouseClick(f.upDown, Qt::LeftButton, Qt::NoModifier, QPoint(8, 2));
    QCOMPARE(f.upDown->position(), -32768);
    QTest::mouseClick(f.upDown, Qt::LeftButton, Qt::NoModifier, QPoint(8, 18));
    QCOMPARE(f.upDown->position(), 32767);
    QCOMPARE(f.clicks.count(), 2);
}

void TestToolkit::positionStopsAtItsRangeWithoutWrap()
{
    Fixture f;
    f.upDown->setWrap(false);
    f.upDown->setPosition(32767);
    QTest::mouseClick(f.upDown, Qt::LeftButton, Qt::NoModifier, QPoint(8, 2));
    QCOMPARE(f.upDown->position(), 32767);
    QCOMPARE(f.clicks.count(), 0);
    QCOMPARE(f.mouseDowns.count(), 1);
}

void TestToolkit::isNoTabStop()
{
    Fixture f;
    QCOMPARE(f.upDown->focusPolicy(), Qt::NoFocus);
}

void TestToolkit::pressActsAsTheMouseWithoutRepeat_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<TUDBtnType>("arrow");
    QTest::addColumn<int>("clicks");
    QTest::newRow("left on the up arrow") << Qt::LeftButton << TUDBtnType::btNext << 1;
    QTest::newRow("left on the down arrow") << Qt::LeftButton << TUDBtnType::btPrev << 1;
    QTest::newRow("right") << Qt::RightButton << TUDBtnType::btNext << 0;
}

void TestToolkit::pressActsAsTheMouseWithoutRepeat()
{
    QFETCH(Qt::MouseButton, button);
    QFETCH(TUDBtnType, arrow);
    QFETCH(int, clicks);
    Fixture f;
    f.upDown->press(button, arrow);
    QCOMPARE(f.mouseDowns.count(), 1);
    QCOMPARE(f.mouseDowns.at(0).at(0).value<Qt::MouseButton>(), button);
    // At the pressed arrow, so that a handler that looks at the point sees the arrow.
    const QPoint at(f.mouseDowns.at(0).at(2).toInt(), f.mouseDowns.at(0).at(3).toInt());
    QCOMPARE(at.y() < f.upDown->height() / 2, arrow == TUDBtnType::btNext);
    QCOMPARE(f.clicks.count(), clicks);
    if (clicks)
        QCOMPARE(f.clicks.at(0).at(0).value<TUDBtnType>(), arrow);
    QTest::qWait(2 * repeatThreshold());
    QCOMPARE(f.clicks.count(), clicks);
}

// A window that loses activation to an error report never sees the release
// of the button: the repeat must stop then, or the steps would go on.
void TestToolkit::repeatStopsWhenAReportTakesActivation()
{
    Fixture f;
    f.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f.window));
    ErrorReportWatcher watcher(nullptr, 3 * repeatThreshold());
    qsizetype atReport = -1;
    connect(f.upDown, &UpDown::click, f.upDown, [&] {
        if (f.clicks.count() == 2)
            QTimer::singleShot(0, [&] {
                atReport = f.clicks.count();
                guard([] { throw std::runtime_error("report"); });
            });
    });
    QTest::mousePress(f.upDown, Qt::LeftButton, Qt::NoModifier, QPoint(8, 4));
    QTRY_COMPARE_WITH_TIMEOUT(watcher.reports.count(), 1, 5000);
    QTRY_VERIFY(!QApplication::activeModalWidget());
    QTest::qWait(3 * repeatThreshold());
    QCOMPARE(f.clicks.count(), atReport);
}

void TestToolkit::repeatPausesWhileThePointerIsOffTheArrow()
{
    Fixture f;
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));
    QTest::mousePress(f.upDown, Qt::LeftButton, Qt::NoModifier, QPoint(8, 15));
    QTRY_VERIFY_WITH_TIMEOUT(f.clicks.count() >= 2, 5000);
    // Onto the other arrow, still holding the button.
    QTest::mouseMove(f.upDown, QPoint(8, 4));
    const qsizetype offArrow = f.clicks.count();
    QTest::qWait(3 * repeatThreshold());
    QCOMPARE(f.clicks.count(), offArrow);
    QTest::mouseMove(f.upDown, QPoint(8, 15));
    QTRY_VERIFY_WITH_TIMEOUT(f.clicks.count() > offArrow, 5000);
    QTest::mouseRelease(f.upDown, Qt::LeftButton, Qt::NoModifier, QPoint(8, 15));
    for (const QList<QVariant>& click : f.clicks)
        QCOMPARE(click.at(0).value<TUDBtnType>(), TUDBtnType::btPrev);
}

void TestToolkit::repeatStopsWhenHidden()
{
    Fixture f;
    QTest::mousePress(f.upDown, Qt::LeftButton, Qt::NoModifier, QPoint(8, 4));
    QTRY_VERIFY_WITH_TIMEOUT(f.clicks.count() >= 2, 5000);
    f.upDown->hide();
    const qsizetype atHide = f.clicks.count();
    f.upDown->show();
    QTest::qWait(3 * repeatThreshold());
    QCOMPARE(f.clicks.count(), atHide);
}

void TestToolkit::offersItsStepsAsAccessibleActions_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<TUDBtnType>("arrow");
    QTest::newRow("increase: a left click on the up arrow")
        << QAccessibleActionInterface::increaseAction() << Qt::LeftButton << 1 << TUDBtnType::btNext;
    QTest::newRow("decrease: a left click on the down arrow")
        << QAccessibleActionInterface::decreaseAction() << Qt::LeftButton << 1 << TUDBtnType::btPrev;
    QTest::newRow("an hour forward: a right click") << QString::fromUtf8(HourForwardAction) << Qt::RightButton << 0
                                                   << TUDBtnType::btNext;
}

void TestToolkit::offersItsStepsAsAccessibleActions()
{
    QFETCH(QString, action);
    QFETCH(Qt::MouseButton, button);
    QFETCH(int, clicks);
    QFETCH(TUDBtnType, arrow);
    Fixture f;
    QAccessibleInterface* upDown = QAccessible::queryAccessibleInterface(f.upDown);
    QVERIFY(upDown);
    QCOMPARE(upDown->role(), QAccessible::SpinBox);
    QAccessibleActionInterface* actions = upDown->actionInterface();
    QVERIFY(actions);
    QVERIFY(actions->actionNames().contains(action));
    QVERIFY(!actions->localizedActionName(action).isEmpty());
    QVERIFY(!actions->localizedActionDescription(action).isEmpty());
    actions->doAction(action);
    // Answered first, done after.
    QCOMPARE(f.mouseDowns.count(), 0);
    QTRY_COMPARE(f.mouseDowns.count(), 1);
    QCOMPARE(f.mouseDowns.at(0).at(0).value<Qt::MouseButton>(), button);
    QCOMPARE(f.clicks.count(), clicks);
    if (clicks)
        QCOMPARE(f.clicks.at(0).at(0).value<TUDBtnType>(), arrow);
}

void TestToolkit::timeFieldShowsItsBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("a time") << "08:30"_ba << u"08:30"_s;
    QTest::newRow("UTF-8") << "８時"_ba << u"８時"_s;
    QTest::newRow("Shift_JIS") << "\x82\xa0\x82\xa2"_ba << u"あい"_s;
    QTest::newRow("neither: Latin-1") << "\xff\xfe\x80"_ba << u"\u00ff\u00fe\u0080"_s;
    QTest::newRow("long: its start and an ellipsis")
        << QByteArray(100'000, '1') << QString(TimeField::ShownBytes, u'1') + u"…"_s;
    QTest::newRow("a character cut at the end of the start is left out")
        << QByteArray(TimeField::ShownBytes - 1, 'a') + "あい" << QString(TimeField::ShownBytes - 1, u'a') + u"…"_s;
}

void TestToolkit::timeFieldShowsItsBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    TimeField field;
    field.setBytes(bytes);
    QCOMPARE(field.text(), shown);
    QCOMPARE(field.bytes(), bytes);
    QVERIFY(field.isReadOnly());
}

void TestToolkit::timeFieldAsksForAStepByKey_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<std::optional<TimeStep>>("step");
    QTest::newRow("Up") << int(Qt::Key_Up) << Qt::KeyboardModifiers() << std::optional(TimeStep::MinuteForward);
    QTest::newRow("Down") << int(Qt::Key_Down) << Qt::KeyboardModifiers() << std::optional(TimeStep::MinuteBack);
    QTest::newRow("Page Up") << int(Qt::Key_PageUp) << Qt::KeyboardModifiers() << std::optional(TimeStep::HourForward);
    QTest::newRow("Page Down") << int(Qt::Key_PageDown) << Qt::KeyboardModifiers() << std::optional(TimeStep::HourBack);
    QTest::newRow("keypad Up") << int(Qt::Key_Up) << Qt::KeyboardModifiers(Qt::KeypadModifier)
                               << std::optional(TimeStep::MinuteForward);
    QTest::newRow("Ctrl+Up") << int(Qt::Key_Up) << Qt::KeyboardModifiers(Qt::ControlModifier) << std::optional<TimeStep>();
    QTest::newRow("Left") << int(Qt::Key_Left) << Qt::KeyboardModifiers() << std::optional<TimeStep>();
    QTest::newRow("a digit") << int(Qt::Key_5) << Qt::KeyboardModifiers() << std::optional<TimeStep>();
}

void TestToolkit::timeFieldAsksForAStepByKey()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(std::optional<TimeStep>, step);
    TimeField field;
    field.setBytes("12:00");
    QSignalSpy steps(&field, &TimeField::stepRequested);
    QTest::keyClick(&field, Qt::Key(key), modifiers);
    // A held key repeats: every press asks again.
    QKeyEvent repeated(QEvent::KeyPress, key, modifiers, QString(), true);
    QApplication::sendEvent(&field, &repeated);
    QCOMPARE(steps.count(), step ? 2 : 0);
    if (step)
        QCOMPARE(steps.at(1).at(0).value<TimeStep>(), *step);
    QCOMPARE(field.bytes(), "12:00"_ba);
}

void TestToolkit::timeFieldRefusesTheUsersChanges()
{
    QWidget window;
    auto* field = new TimeField(&window);
    field->setBytes("08:30");
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    field->setFocus();
    QGuiApplication::clipboard()->setText(u"99:99"_s);

    field->selectAll();
    QTest::keyClicks(field, u"12"_s);
    for (const auto key : {Qt::Key_Backspace, Qt::Key_Delete})
        QTest::keyClick(field, key);
    for (const QKeySequence::StandardKey edit : {QKeySequence::Paste, QKeySequence::Cut, QKeySequence::Undo}) {
        QKeyEvent press(QEvent::KeyPress, QKeySequence(edit)[0].key(), QKeySequence(edit)[0].keyboardModifiers());
        QApplication::sendEvent(field, &press);
    }
    QMimeData dropped;
    dropped.setText(u"77:77"_s);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(field, &drop);
    QCOMPARE(field->text(), u"08:30"_s);
    QCOMPARE(field->bytes(), "08:30"_ba);

    // What it offers is copying and selecting, nothing that changes it.
    field->setSelection(0, 2);
    const std::unique_ptr<QMenu> menu(field->createStandardContextMenu());
    QStringList enabled;
    for (const QAction* action : menu->actions())
        if (action->isEnabled() && !action->isSeparator())
            enabled << action->text().section(u'\t', 0, 0);
    QCOMPARE(enabled, (QStringList{QCoreApplication::translate("QLineEdit", "&Copy"),
                                   QCoreApplication::translate("QLineEdit", "Select All")}));
}

// An assistive technology client reaches a field through Qt's accessibility
// interfaces, as AT-SPI does: the field reads as read-only text, there is no
// interface to edit it, and setting its value changes nothing.
void TestToolkit::timeFieldRefusesAssistiveTechnologysChanges()
{
    QWidget window;
    auto* field = new TimeField(&window);
    field->setBytes("\x82\xa0"_ba);
    window.show();
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(field);
    QVERIFY(accessible);
    QCOMPARE(accessible->role(), QAccessible::EditableText);
    QVERIFY(accessible->state().readOnly);
    QVERIFY(!accessible->state().editable);
    QVERIFY(!accessible->editableTextInterface());
    QVERIFY(!accessible->valueInterface());
    QAccessibleTextInterface* text = accessible->textInterface();
    QVERIFY(text);
    QCOMPARE(text->text(0, text->characterCount()), u"あ"_s);
    QCOMPARE(accessible->text(QAccessible::Value), u"あ"_s);
    QVERIFY(text->characterRect(0).isValid());
    QCOMPARE(text->offsetAtPoint(text->characterRect(0).center()), 0);

    accessible->setText(QAccessible::Value, u"912:34"_s);
    accessible->setText(QAccessible::Name, u"912:34"_s);
    QCOMPARE(field->text(), u"あ"_s);
    QCOMPARE(field->bytes(), "\x82\xa0"_ba);
    // Selecting, as for copying, is allowed and changes nothing either.
    text->setSelection(0, 0, 1);
    QCOMPARE(field->selectedText(), u"あ"_s);
    QCOMPARE(field->bytes(), "\x82\xa0"_ba);
}

void TestToolkit::applicationTitle_data()
{
    QTest::addColumn<QString>("executable");
    QTest::addColumn<QString>("title");
    QTest::newRow("the program") << u"/usr/bin/showflst"_s << u"showflst"_s;
    QTest::newRow("up to the first dot") << u"C:/apps/SHOWFLST.EXE"_s << u"Showflst"_s;
    QTest::newRow("several dots") << u"./My.App.exe"_s << u"My"_s;
    QTest::newRow("first letter kept") << u"sHoW"_s << u"show"_s;
}

void TestToolkit::applicationTitle()
{
    QFETCH(QString, executable);
    QFETCH(QString, title);
    QCOMPARE(::applicationTitle(executable), title);
}

void TestToolkit::guardShowsTheStandardErrorReport_data()
{
    QTest::addColumn<std::function<void()>>("handler");
    QTest::addColumn<QString>("text");
    QTest::newRow("standard exception") << std::function<void()>([] { throw std::runtime_error("ファイルがありません"); })
                                        << u"ファイルがありません."_s;
    QTest::newRow("out of memory") << std::function<void()>([] { throw std::bad_alloc(); })
                                   << u"メモリが足りません."_s;
    QTest::newRow("anything else") << std::function<void()>([] { throw 42; }) << u"不明なエラーが発生しました."_s;
}

void TestToolkit::guardShowsTheStandardErrorReport()
{
    QFETCH(std::function<void()>, handler);
    QFETCH(QString, text);
    ErrorReportWatcher watcher;
    guard(handler);
    QCOMPARE(watcher.reports.count(), 1);
    const ErrorReportWatcher::Report& report = watcher.reports.first();
    QCOMPARE(report.title, ::applicationTitle(QCoreApplication::applicationFilePath()));
    QCOMPARE(report.title, u"tst_toolkit"_s);
    QCOMPARE(report.text, text);
    QCOMPARE(report.icon, QMessageBox::Critical);
    QCOMPARE(report.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

void TestToolkit::eventLoopCarriesOnAfterAReport()
{
    QWidget mainWindow; // the report is not the last window, or closing it would quit
    mainWindow.show();
    ErrorReportWatcher watcher;
    bool ranAfter = false;
    QTimer::singleShot(0, [] { guard([] { throw std::runtime_error("first"); }); });
    QTimer::singleShot(50, [&ranAfter] {
        ranAfter = true;
        QCoreApplication::exit(7);
    });
    QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
    QCOMPARE(QCoreApplication::exec(), 7);
    QVERIFY(ranAfter);
    QCOMPARE(watcher.reports.count(), 1);
}

void TestToolkit::reportStandsOverTheActiveWindow()
{
    QWidget mainWindow;
    mainWindow.show();
    mainWindow.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&mainWindow));
    ErrorReportWatcher watcher;
    guard([] { throw std::runtime_error("report"); });
    QCOMPARE(watcher.reports.count(), 1);
    QCOMPARE(watcher.reports.first().parent, &mainWindow);
}

QTEST_MAIN(TestToolkit)
#include "tst_toolkit.moc"
