#include "errors.h"
#include "settingsfile.h"

#include "faultinjection.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(FaultPoint)

namespace {

const DisplaySettings NewSettings{"09:01", "17:00", false, DisplayMode::OnlyWhenFlagged, DisplayMode::Never};
const QByteArray OldContent = "08:00\r\n17:00\r\nikkai\r\nhyoji1\r\nhyoji2\r\n"_ba;

QByteArray fileContent(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<absent>");
}

QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

} // namespace

// Every point of a save made to fail: the earlier file stays byte for byte
// as it was (or absent), no temporary file is left beside it, and the failure
// surfaces as EInOutError naming its cause.
class TestSaveFaults : public QObject {
    Q_OBJECT

private slots:
    void init();

    void failedSaveKeepsTheEarlierFile_data();
    void failedSaveKeepsTheEarlierFile();
    void failedReadKeepsTheValuesReadBefore();
    void killedSaveLeavesAWholeFile();

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString path_;
};

void TestSaveFaults::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    path_ = dir_->filePath(u"showflst.dat"_s);
}

void TestSaveFaults::failedSaveKeepsTheEarlierFile_data()
{
    QTest::addColumn<FaultPoint>("point");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("passes");
    QTest::addColumn<bool>("shortFirst");
    QTest::addColumn<bool>("earlierFile");

    for (const bool earlier : {true, false}) {
        const QByteArray suffix = earlier ? " over an earlier file" : " with no earlier file";
        const auto row = [&](const char* name) -> QTestData& { return QTest::newRow((name + suffix).constData()); };
        row("creating the temporary file: disk full") << FaultPoint::Create << ENOSPC << 0 << false << earlier;
        row("creating the temporary file: refused") << FaultPoint::Create << EACCES << 0 << false << earlier;
        row("writing: disk full") << FaultPoint::Write << ENOSPC << 0 << false << earlier;
        row("writing: short, then an I/O error") << FaultPoint::Write << EIO << 0 << true << earlier;
        row("flushing to disk") << FaultPoint::Sync << EIO << 0 << false << earlier;
        row("naming the new file") << FaultPoint::Link << EIO << 0 << false << earlier;
        if (earlier) {
            row("naming the new file beside the old") << FaultPoint::Link << EIO << 1 << false << earlier;
            row("moving it over the old file") << FaultPoint::Rename << EIO << 0 << false << earlier;
        }
    }
}

void TestSaveFaults::failedSaveKeepsTheEarlierFile()
{
    QFETCH(FaultPoint, point);
    QFETCH(int, error);
    QFETCH(int, passes);
    QFETCH(bool, shortFirst);
    QFETCH(bool, earlierFile);
    if (earlierFile) {
        QFile file(path_);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(OldContent);
    }

    QString message;
    int tripped = 0;
    {
        ArmedFault fault(point, error, passes, shortFirst);
        try {
            writeSettingsFile(path_, NewSettings);
        } catch (const EInOutError& e) {
            message = e.message();
        }
        tripped = fault.tripped();
    }
    QVERIFY2(tripped > 0, "the fault was never reached");
    QVERIFY2(!message.isEmpty(), "the save reported success");
    QVERIFY2(message.contains(QString::fromLocal8Bit(std::strerror(error))), qPrintable(message));
    QVERIFY2(message.contains(path_), qPrintable(message));
    QCOMPARE(fileContent(path_), earlierFile ? OldContent : "<absent>"_ba);
    QCOMPARE(entries(dir_->path()), earlierFile ? QStringList{u"showflst.dat"_s} : QStringList{});
}

void TestSaveFaults::failedReadKeepsTheValuesReadBefore()
{
    // Lines 1 and 2 come with the first read; line 3 needs a second one.
    QFile file(path_);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("08:00\r\n17:00\r\n" + QByteArray(200'000, 'x') + "\r\nhyoji2\r\nhyoji2\r\n");
    file.close();

    DisplaySettings read;
    QString message;
    {
        ArmedFault fault(FaultPoint::Read, EIO, 1);
        try {
            readSettingsFile(path_, storeInto(read));
        } catch (const EInOutError& e) {
            message = e.message();
        }
    }
    QVERIFY2(message.contains(QString::fromLocal8Bit(std::strerror(EIO))), qPrintable(message));
    QCOMPARE(read.fromTime, "08:00"_ba);
    QCOMPARE(read.toTime, "17:00"_ba);
    QCOMPARE(read.dataFileMode, DisplayMode::Never); // never handed over
}

// A process killed while it saves, at random moments: the settings file is
// always one whole version, never a mix or a part. The new file must be named
// before it can replace the old one, so a kill in the instant between the two
// steps leaves it beside the old one under its temporary name; that copy too
// must be whole. Files beside it are never removed by pattern, as that could
// take a user's own copy.
void TestSaveFaults::killedSaveLeavesAWholeFile()
{
    const DisplaySettings other{QByteArray(20'000, '1'), "23:59", true, DisplayMode::Always, DisplayMode::Always};
    const QByteArray versions[] = {settingsFileContent(NewSettings), settingsFileContent(other)};
    const auto isWhole = [&](const QByteArray& content) { return content == versions[0] || content == versions[1]; };
    writeSettingsFile(path_, NewSettings);

    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    int leftBeside = 0;
    for (int round = 0; round < 60; ++round) {
        const pid_t child = ::fork();
        if (child == 0) {
            for (int i = 0;; ++i) {
                try {
                    writeSettingsFile(path_, i % 2 ? NewSettings : other);
                } catch (...) {
                    ::_exit(1);
                }
            }
        }
        ::usleep(random.bounded(200u, 20'000u));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        QVERIFY2(WIFSIGNALED(status), "the saving child stopped by itself");

        const QString where = u"round %1, seed %2"_s.arg(round).arg(seed);
        QVERIFY2(isWhole(fileContent(path_)), qPrintable(where));
        for (const QString& name : entries(dir_->path())) {
            if (name == u"showflst.dat")
                continue;
            QVERIFY2(name.size() == 19 && name.startsWith(u"showflst.dat."), qPrintable(where + u": "_s + name));
            QVERIFY2(isWhole(fileContent(dir_->filePath(name))), qPrintable(where + u": "_s + name));
            QVERIFY(QFile::remove(dir_->filePath(name)));
            ++leftBeside;
        }
    }
    qInfo("%d of 60 kills fell between naming the new file and moving it into place", leftBeside);
}

QTEST_GUILESS_MAIN(TestSaveFaults)
#include "tst_savefaults.moc"
