#include "classicdesktop.h"
#include "errorreport.h"
#include "updown.h"

#include "errorreportwatcher.h"

#include <QSignalSpy>
#include <QStyle>
#include <QTest>

#include <stdexcept>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(TUDBtnType)

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

    void applicationTitle_data();
    void applicationTitle();
    void guardShowsTheStandardErrorReport_data();
    void guardShowsTheStandardErrorReport();
    void eventLoopCarriesOnAfterAReport();

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

QTEST_MAIN(TestToolkit)
#include "tst_toolkit.moc"
