#include "errors.h"
#include "settingsfile.h"
#include "steptime.h"

#include "childprocess.h"
#include "savefile.h"
#include "testsupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <memory>
#include <cstring>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/sysmacros.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

DisplaySettings makeSettings(QByteArray from, QByteArray to, bool once, DisplayMode data, DisplayMode check)
{
    return {std::move(from), std::move(to), once, data, check};
}

const DisplaySettings InitialSettings =
    makeSettings("00:00", "23:59", true, DisplayMode::Always, DisplayMode::Always);

QString systemReason(int error)
{
    return systemErrorText(error);
}

// Records which values were handed over, in order.
struct ReceiverLog {
    QStringList calls;
    DisplaySettings values;

    SettingsReceiver receiver()
    {
        SettingsReceiver store = storeInto(values);
        return {
            .fromTime = [this, store](const QByteArray& t) { calls << u"fromTime"_s; store.fromTime(t); },
            .toTime = [this, store](const QByteArray& t) { calls << u"toTime"_s; store.toTime(t); },
            .showOnce = [this, store](bool yes) { calls << u"showOnce"_s; store.showOnce(yes); },
            .dataFileMode = [this, store](DisplayMode m) { calls << u"dataFileMode"_s; store.dataFileMode(m); },
            .checkFileMode = [this, store](DisplayMode m) { calls << u"checkFileMode"_s; store.checkFileMode(m); },
        };
    }
};

const QStringList AllValuesInOrder = {u"fromTime"_s, u"toTime"_s, u"showOnce"_s, u"dataFileMode"_s,
                                      u"checkFileMode"_s};

// A device that delivers `data` and then reports a read error.
class FailingDevice : public QIODevice {
public:
    explicit FailingDevice(QByteArray data)
        : data_(std::move(data))
    {
        open(QIODevice::ReadOnly);
    }

protected:
    qint64 readData(char* out, qint64 max) override
    {
        if (data_.isEmpty()) {
            setErrorString(u"Input/output error"_s);
            return -1;
        }
        const qint64 n = std::min<qint64>(max, data_.size());
        std::memcpy(out, data_.constData(), size_t(n));
        data_.remove(0, n);
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray data_;
};

} // namespace

Q_DECLARE_METATYPE(DisplaySettings)

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void init();

    void readsLinesByTheFileRules_data();
    void readsLinesByTheFileRules();
    void handsValuesOverInLineOrder();
    void readsNothingWithoutARegularFile_data();
    void readsNothingWithoutARegularFile();
    void readErrorKeepsTheValuesReadBefore();
    void readErrorOnTheFileNamesItsCause();
    void failedOpenForReadingNamesItsCause();

    void writesTheExactBytes_data();
    void writesTheExactBytes();
    void readsBackWhatItWrote_data();
    void readsBackWhatItWrote();
    void writeDropsLinesAfterTheFifth();
    void failedWriteKeepsTheOldFile_data();
    void failedWriteKeepsTheOldFile();
    void writeIntoADirectoryInTheWayFails();
    void writeIntoAMissingDirectoryFails();
    void writeReplacesAFifoWithARegularFile();
    void writeReplacesALinkNotItsTarget_data();
    void writeReplacesALinkNotItsTarget();
    void writeReplacesADeviceNodeWithARegularFile();
    void writeInPlaceWhereTheDirectoryRefusesNewFiles_data();
    void writeInPlaceWhereTheDirectoryRefusesNewFiles();
    void writeFailsWhereTheDirectoryRefusesNewFiles();
    void writeInPlaceNeverFollowsALink();
    void writeInPlaceUnderAFileSizeLimit_data();
    void writeInPlaceUnderAFileSizeLimit();
    void writeOnAFullDiskKeepsTheOldFile_data();
    void writeOnAFullDiskKeepsTheOldFile();
    void writeInPlaceWhereTheOldFileCannotBeReplaced_data();
    void writeInPlaceWhereTheOldFileCannotBeReplaced();
    void writeReportsTheRealCause_data();
    void writeReportsTheRealCause();
    void writeRemovesLeftoversOfKilledSaves();
    void readStopsAtALineTooLong_data();
    void readStopsAtALineTooLong();
    void readTakesALineOfTheLongestLength();

    void stepsTimes_data();
    void stepsTimes();
    void rejectsTextThatIsNoTime_data();
    void rejectsTextThatIsNoTime();
    void acceptsTheLocaleDesignators();

private:
    ChildOutcome saveWhereNewFilesAreRefused(const QByteArray& old, const DisplaySettings& settings,
                                             const std::function<void()>& limits = {});

    QTemporaryDir dir_;
    QString path_;
};

void TestSettings::init()
{
    QVERIFY(dir_.isValid());
    ::chmod(QFile::encodeName(dir_.path()).constData(), 0700);
    for (const QString& name : entries(dir_.path())) {
        const QString path = dir_.filePath(name);
        QFileInfo(path).isDir() && !QFileInfo(path).isSymLink() ? void(QDir(path).removeRecursively())
                                                                : void(QFile::remove(path));
    }
    path_ = dir_.filePath(u"showflst.dat"_s);
}

void TestSettings::readsLinesByTheFileRules_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<DisplaySettings>("expected");

    using enum DisplayMode;
    const QByteArray longLine(100'000, 'x');
    // A CR that is the last byte of one read, with its LF first in the next.
    const QByteArray crAtReadBoundary(64 * 1024 - 1, '7');

    QTest::newRow("typical file") << "08:00\r\n17:00\r\nnoikkai\r\nhyoji2\r\nhyoji1\r\n"_ba
                                  << makeSettings("08:00", "17:00", false, OnlyWhenFlagged, Always);
    QTest::newRow("initial settings") << "00:00\r\n23:59\r\nikkai\r\nhyoji1\r\nhyoji1\r\n"_ba << InitialSettings;
    QTest::newRow("never in both") << "1\r\n2\r\nikkai\r\nnohyoji\r\nnohyoji\r\n"_ba
                                   << makeSettings("1", "2", true, Never, Never);
    QTest::newRow("empty file reads as five empty lines") << QByteArray() << DisplaySettings{};
    QTest::newRow("two lines only") << "08:30\r\n17:00\r\n"_ba << makeSettings("08:30", "17:00", false, Never, Never);
    QTest::newRow("last line without line end") << "a\r\nb\r\nikkai\r\nhyoji1\r\nhyoji2"_ba
                                                << makeSettings("a", "b", true, Always, OnlyWhenFlagged);
    QTest::newRow("lone CR ends a line") << "a\rb\rikkai\rhyoji2\rhyoji1\r"_ba
                                         << makeSettings("a", "b", true, OnlyWhenFlagged, Always);
    QTest::newRow("CR CR is an empty line") << "a\r\rikkai\r\n"_ba << makeSettings("a", "", true, Never, Never);
    QTest::newRow("only one LF belongs to the line end") << "a\r\n\nb\r\n"_ba << makeSettings("a", "\nb", false, Never, Never);
    QTest::newRow("LF only is text") << "08:00\n17:00\nikkai\nhyoji1\nhyoji1\n"_ba
                                     << makeSettings("08:00\n17:00\nikkai\nhyoji1\nhyoji1\n", "", false, Never, Never);
    QTest::newRow("LF CR: LF is text, CR ends") << "a\n\rb\r\n"_ba << makeSettings("a\n", "b", false, Never, Never);
    QTest::newRow("0x1A ends the input") << "08:00\r\n17\x1a:00\r\nikkai\r\nhyoji1\r\nhyoji1\r\n"_ba
                                         << makeSettings("08:00", "17", false, Never, Never);
    QTest::newRow("0x1A right after a CR") << "08:00\r\x1a\nikkai\r\n"_ba << makeSettings("08:00", "", false, Never, Never);
    QTest::newRow("0x1A first") << "\x1a" "08:00\r\n"_ba << DisplaySettings{};
    QTest::newRow("lines after the fifth are ignored")
        << "a\r\nb\r\nikkai\r\nhyoji2\r\nhyoji2\r\nhyoji1\r\nsix\r\n"_ba
        << makeSettings("a", "b", true, OnlyWhenFlagged, OnlyWhenFlagged);
    QTest::newRow("keywords are case-sensitive") << "a\r\nb\r\nIKKAI\r\nHyoji1\r\nHYOJI2\r\n"_ba
                                                 << makeSettings("a", "b", false, Never, Never);
    QTest::newRow("keywords compare over the whole line") << "a\r\nb\r\n ikkai\r\nhyoji1 \r\nhyoji22\r\n"_ba
                                                          << makeSettings("a", "b", false, Never, Never);
    QTest::newRow("unknown keywords") << "a\r\nb\r\nnoikkai\r\nhyoji3\r\nhyoji\r\n"_ba
                                      << makeSettings("a", "b", false, Never, Never);
    QTest::newRow("keyword with an LF in it") << "a\r\nb\r\nikkai\n\r\nhyoji1\n\r\nhyoji1\r\n"_ba
                                              << makeSettings("a", "b", false, Never, Always);
    QTest::newRow("time texts are bytes") << raw("\0\x80\xff\x82\xa0\r\nabc\r\n")
                                          << makeSettings(raw("\0\x80\xff\x82\xa0"), "abc", false, Never, Never);
    QTest::newRow("long line") << longLine + "\r\n17:00\r\nikkai\r\n"
                               << makeSettings(longLine, "17:00", true, Never, Never);
    QTest::newRow("CR LF split across reads") << crAtReadBoundary + "\r\n17:00\r\nikkai\r\n"
                                              << makeSettings(crAtReadBoundary, "17:00", true, Never, Never);
}

void TestSettings::readsLinesByTheFileRules()
{
    QFETCH(QByteArray, content);
    QFETCH(DisplaySettings, expected);
    writeFile(path_, content);

    DisplaySettings read = makeSettings("unset", "unset", true, DisplayMode::Always, DisplayMode::Always);
    QVERIFY(readSettingsFile(path_, storeInto(read)));
    QCOMPARE(read, expected);
}

void TestSettings::handsValuesOverInLineOrder()
{
    writeFile(path_, "08:00\r\n");
    ReceiverLog log;
    QVERIFY(readSettingsFile(path_, log.receiver()));
    QCOMPARE(log.calls, AllValuesInOrder);
}

void TestSettings::readsNothingWithoutARegularFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("no file") << u"none"_s;
    QTest::newRow("a directory") << u"directory"_s;
    QTest::newRow("a FIFO") << u"fifo"_s;
    QTest::newRow("a socket") << u"socket"_s;
    QTest::newRow("a link to an endless device") << u"device link"_s;
    QTest::newRow("a dangling link") << u"dangling link"_s;
}

void TestSettings::readsNothingWithoutARegularFile()
{
    QFETCH(QString, kind);
    const QByteArray nativePath = QFile::encodeName(path_);
    if (kind == u"directory")
        QVERIFY(QDir().mkdir(path_));
    else if (kind == u"fifo")
        QCOMPARE(::mkfifo(nativePath.constData(), 0600), 0);
    else if (kind == u"device link")
        QVERIFY(QFile::link(u"/dev/zero"_s, path_));
    else if (kind == u"dangling link")
        QVERIFY(QFile::link(dir_.filePath(u"nowhere"_s), path_));
    else if (kind == u"socket") {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        QVERIFY(size_t(nativePath.size()) < sizeof address.sun_path);
        std::memcpy(address.sun_path, nativePath.constData(), size_t(nativePath.size()));
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
    }

    ReceiverLog log;
    QVERIFY(!readSettingsFile(path_, log.receiver()));
    QVERIFY(log.calls.isEmpty());
}

void TestSettings::readErrorKeepsTheValuesReadBefore()
{
    FailingDevice device("08:00\r\n17:00\r\nikk"_ba);
    ReceiverLog log;
    try {
        readSettings(device, u"showflst.dat"_s, log.receiver());
        QFAIL("a read error must raise EInOutError");
    } catch (const EInOutError& e) {
        QVERIFY2(e.message().contains(u"showflst.dat"), qPrintable(e.message()));
        QVERIFY2(e.message().contains(u"Input/output error"), qPrintable(e.message()));
        QVERIFY2(e.message().contains(u"読み込み"), qPrintable(e.message()));
    }
    QCOMPARE(log.calls, (QStringList{u"fromTime"_s, u"toTime"_s}));
    QCOMPARE(log.values.fromTime, "08:00"_ba);
    QCOMPARE(log.values.toTime, "17:00"_ba);
}

void TestSettings::readErrorOnTheFileNamesItsCause()
{
    // A regular file by every test, whose first read fails with EIO.
    QVERIFY(QFile::link(u"/proc/self/mem"_s, path_));
    ReceiverLog log;
    try {
        readSettingsFile(path_, log.receiver());
        QFAIL("a read error must raise EInOutError");
    } catch (const EInOutError& e) {
        QVERIFY2(e.message().contains(systemReason(EIO)), qPrintable(e.message()));
    }
    QVERIFY(log.calls.isEmpty());
}

void TestSettings::failedOpenForReadingNamesItsCause()
{
    writeFile(path_, "08:00\r\n");
    const QString path = path_;
    const ChildOutcome outcome = runInChild(exhaustFileDescriptors, [path] {
        DisplaySettings ignored;
        readSettingsFile(path, storeInto(ignored));
    });
    QVERIFY(outcome.exited);
    QVERIFY(outcome.threw);
    QVERIFY2(outcome.errorMessage.contains(systemReason(EMFILE)), qPrintable(outcome.errorMessage));
    QVERIFY2(outcome.errorMessage.contains(path_), qPrintable(outcome.errorMessage));
    QVERIFY2(outcome.errorMessage.contains(u"読み込み"), qPrintable(outcome.errorMessage));
}

void TestSettings::writesTheExactBytes_data()
{
    QTest::addColumn<DisplaySettings>("settings");
    QTest::addColumn<QByteArray>("bytes");
    using enum DisplayMode;
    const QByteArray longLine(100'000, '9');

    QTest::newRow("initial settings: the 37 bytes")
        << InitialSettings << "00:00\r\n23:59\r\nikkai\r\nhyoji1\r\nhyoji1\r\n"_ba;
    QTest::newRow("no, never, never") << makeSettings("08:00", "17:00", false, Never, Never)
                                      << "08:00\r\n17:00\r\nnoikkai\r\nnohyoji\r\nnohyoji\r\n"_ba;
    QTest::newRow("only when flagged") << makeSettings("09:01", "17:00", false, OnlyWhenFlagged, Never)
                                       << "09:01\r\n17:00\r\nnoikkai\r\nhyoji2\r\nnohyoji\r\n"_ba;
    QTest::newRow("time texts as held") << makeSettings("abc", "", true, Always, OnlyWhenFlagged)
                                        << "abc\r\n\r\nikkai\r\nhyoji1\r\nhyoji2\r\n"_ba;
    QTest::newRow("bytes are not re-encoded")
        << makeSettings(raw("\0\x82\xa0\xff"), "a\nb", true, Always, Always)
        << raw("\0\x82\xa0\xff\r\na\nb\r\nikkai\r\nhyoji1\r\nhyoji1\r\n");
    QTest::newRow("long line") << makeSettings(longLine, "17:00", true, Always, Always)
                               << longLine + "\r\n17:00\r\nikkai\r\nhyoji1\r\nhyoji1\r\n";
}

void TestSettings::writesTheExactBytes()
{
    QFETCH(DisplaySettings, settings);
    QFETCH(QByteArray, bytes);
    QCOMPARE(settingsFileContent(settings), bytes);
    writeSettingsFile(path_, settings);
    QCOMPARE(fileContent(path_), bytes);
    QCOMPARE(entries(dir_.path()), QStringList{u"showflst.dat"_s});
}

void TestSettings::readsBackWhatItWrote_data()
{
    writesTheExactBytes_data();
}

void TestSettings::readsBackWhatItWrote()
{
    QFETCH(DisplaySettings, settings);
    writeSettingsFile(path_, settings);
    DisplaySettings read;
    QVERIFY(readSettingsFile(path_, storeInto(read)));
    QCOMPARE(read, settings);
}

void TestSettings::writeDropsLinesAfterTheFifth()
{
    writeFile(path_, "a\r\nb\r\nikkai\r\nhyoji2\r\nhyoji2\r\nsix\r\nseven\r\n");
    DisplaySettings settings;
    QVERIFY(readSettingsFile(path_, storeInto(settings)));
    writeSettingsFile(path_, settings);
    QCOMPARE(fileContent(path_), "a\r\nb\r\nikkai\r\nhyoji2\r\nhyoji2\r\n"_ba);
}

void TestSettings::failedWriteKeepsTheOldFile_data()
{
    QTest::addColumn<std::function<void()>>("fault");
    QTest::addColumn<int>("cause");
    // The new content is 37 bytes; the limit lets part of it through.
    QTest::newRow("file-size limit part-way") << std::function<void()>([] { limitFileSize(20); }) << EFBIG;
    QTest::newRow("file-size limit of nothing") << std::function<void()>([] { limitFileSize(0); }) << EFBIG;
    QTest::newRow("no file descriptor for the new file") << std::function<void()>(exhaustFileDescriptors) << EMFILE;
}

void TestSettings::failedWriteKeepsTheOldFile()
{
    QFETCH(std::function<void()>, fault);
    QFETCH(int, cause);
    const QByteArray old = "08:00\r\n17:00\r\nnoikkai\r\nhyoji2\r\nhyoji1\r\nextra\r\n"_ba;
    writeFile(path_, old);

    const QString path = path_;
    const ChildOutcome outcome = runInChild(fault, [path] { writeSettingsFile(path, InitialSettings); });
    QVERIFY(outcome.exited);
    QVERIFY(outcome.threw);
    QVERIFY2(outcome.errorMessage.contains(systemReason(cause)), qPrintable(outcome.errorMessage));
    QVERIFY2(outcome.errorMessage.contains(path_), qPrintable(outcome.errorMessage));
    QVERIFY2(outcome.errorMessage.contains(u"書き込み"), qPrintable(outcome.errorMessage));
    QCOMPARE(fileContent(path_), old);
    QCOMPARE(entries(dir_.path()), QStringList{u"showflst.dat"_s});
}

void TestSettings::writeIntoADirectoryInTheWayFails()
{
    QVERIFY(QDir().mkdir(path_));
    writeFile(path_ + u"/inside"_s, "kept");
    QVERIFY_THROWS_EXCEPTION(EInOutError, writeSettingsFile(path_, InitialSettings));
    QVERIFY(QFileInfo(path_).isDir());
    QCOMPARE(fileContent(path_ + u"/inside"_s), "kept"_ba);
    QCOMPARE(entries(dir_.path()), QStringList{u"showflst.dat"_s});
}

void TestSettings::writeIntoAMissingDirectoryFails()
{
    const QString path = dir_.filePath(u"missing/showflst.dat"_s);
    try {
        writeSettingsFile(path, InitialSettings);
        QFAIL("writing into a missing directory must raise EInOutError");
    } catch (const EInOutError& e) {
        QVERIFY2(e.message().contains(path), qPrintable(e.message()));
        QVERIFY2(e.message().contains(systemReason(ENOENT)), qPrintable(e.message()));
    }
    QVERIFY(entries(dir_.path()).isEmpty());
}

void TestSettings::writeReplacesAFifoWithARegularFile()
{
    QCOMPARE(::mkfifo(QFile::encodeName(path_).constData(), 0600), 0);
    writeSettingsFile(path_, InitialSettings);
    QVERIFY(QFileInfo(path_).isFile());
    QCOMPARE(fileContent(path_).size(), 37);
}

// Where the name is a symbolic link, the save replaces the link and never
// touches what it points to, wherever that is.
void TestSettings::writeReplacesALinkNotItsTarget_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QByteArray>("targetContent"); // "<absent>" for none
    QTest::newRow("a dangling link") << u"elsewhere/missing.dat"_s << "<absent>"_ba;
    QTest::newRow("a link to a file in another directory") << u"elsewhere/victim.dat"_s << "precious\r\n"_ba;
    QTest::newRow("a link to a device") << u"/dev/null"_s << QByteArray();
}

void TestSettings::writeReplacesALinkNotItsTarget()
{
    QFETCH(QString, target);
    QFETCH(QByteArray, targetContent);
    QTemporaryDir elsewhere;
    QVERIFY(elsewhere.isValid());
    if (target.startsWith(u"elsewhere/"))
        target = elsewhere.filePath(target.mid(10));
    if (targetContent != "<absent>" && !target.startsWith(u"/dev/"))
        writeFile(target, targetContent);
    QVERIFY(QFile::link(target, path_));

    writeSettingsFile(path_, InitialSettings);
    QVERIFY(!QFileInfo(path_).isSymLink());
    QVERIFY(QFileInfo(path_).isFile());
    QCOMPARE(fileContent(path_), settingsFileContent(InitialSettings));
    QCOMPARE(entries(dir_.path()), QStringList{u"showflst.dat"_s});
    if (target.startsWith(u"/dev/")) {
        struct stat status{};
        QCOMPARE(::stat(QFile::encodeName(target).constData(), &status), 0);
        QVERIFY(S_ISCHR(status.st_mode));
    } else {
        QCOMPARE(fileContent(target), targetContent);
        QCOMPARE(entries(elsewhere.path()).size(), targetContent == "<absent>" ? 0 : 1);
    }
}

void TestSettings::writeReplacesADeviceNodeWithARegularFile()
{
    if (::geteuid() != 0)
        QSKIP("making a device node needs root");
    // A second name for the null device, right where the settings file goes.
    QCOMPARE(::mknod(QFile::encodeName(path_).constData(), S_IFCHR | 0666, makedev(1, 3)), 0);
    writeSettingsFile(path_, InitialSettings);
    QVERIFY(QFileInfo(path_).isFile());
    QCOMPARE(fileContent(path_), settingsFileContent(InitialSettings));
}

// Saves `settings` in a child that runs as an unprivileged user (as root, it
// becomes one), in the test directory made to refuse new files, over `old`
// made writable for everyone: the save must write the file in place.
ChildOutcome TestSettings::saveWhereNewFilesAreRefused(const QByteArray& old, const DisplaySettings& settings,
                                                       const std::function<void()>& limits)
{
    if (!old.isNull()) {
        writeFile(path_, old);
        ::chmod(QFile::encodeName(path_).constData(), 0666);
    }
    ::chmod(QFile::encodeName(dir_.path()).constData(), 0555);
    const QString path = path_;
    return runInChild(
        [limits] {
            dropToUnprivilegedUser();
            if (limits)
                limits();
        },
        [path, settings] { writeSettingsFile(path, settings); });
}

void TestSettings::writeInPlaceWhereTheDirectoryRefusesNewFiles_data()
{
    QTest::addColumn<QByteArray>("old");
    QTest::newRow("over a shorter file") << "old\r\n"_ba;
    QTest::newRow("over a file just as long") << "11:11\r\n22:22\r\nikkai\r\nhyoji2\r\nhyoji2\r\n"_ba;
    QTest::newRow("over a longer file: nothing of its tail stays")
        << "08:00\r\n17:00\r\nnoikkai\r\nhyoji2\r\nhyoji1\r\n"_ba + QByteArray(5000, 't') + "\r\n";
    QTest::newRow("over a file without a last line end") << "a\r\nb\r\nikkai\r\nhyoji1\r\nhyoji2"_ba;
}

void TestSettings::writeInPlaceWhereTheDirectoryRefusesNewFiles()
{
    QFETCH(QByteArray, old);
    const ChildOutcome outcome = saveWhereNewFilesAreRefused(old, InitialSettings);
    QVERIFY(outcome.exited);
    QVERIFY2(!outcome.threw, qPrintable(outcome.errorMessage));
    QCOMPARE(fileContent(path_), settingsFileContent(InitialSettings));
    QCOMPARE(entries(dir_.path()), QStringList{u"showflst.dat"_s});
}

void TestSettings::writeFailsWhereTheDirectoryRefusesNewFiles()
{
    const ChildOutcome outcome = saveWhereNewFilesAreRefused(QByteArray(), InitialSettings);
    QVERIFY(outcome.exited);
    QVERIFY(outcome.threw);
    QVERIFY2(outcome.errorMessage.contains(systemReason(EACCES)), qPrintable(outcome.errorMessage));
    QVERIFY(entries(dir_.path()).isEmpty());
}

// In place, a link is never written through: the link and what it points to
// stay as they were.
void TestSettings::writeInPlaceNeverFollowsALink()
{
    QTemporaryDir elsewhere;
    QVERIFY(elsewhere.isValid());
    const QString victim = elsewhere.filePath(u"victim.dat"_s);
    writeFile(victim, "precious\r\n");
    ::chmod(QFile::encodeName(victim).constData(), 0666);
    ::chmod(QFile::encodeName(elsewhere.path()).constData(), 0755);
    QVERIFY(QFile::link(victim, path_));

    const ChildOutcome outcome = saveWhereNewFilesAreRefused(QByteArray(), InitialSettings);
    QVERIFY(outcome.exited);
    QVERIFY(outcome.threw);
    QCOMPARE(fileContent(victim), "precious\r\n"_ba);
    QVERIFY(QFileInfo(path_).isSymLink());
}

// A file-size limit below the new length fails the save before any byte of
// the old file is touched, and the program is not killed for it.
void TestSettings::writeInPlaceUnderAFileSizeLimit_data()
{
    QTest::addColumn<long>("limit");
    QTest::newRow("no file may grow at all") << 0L;
    QTest::newRow("part of the new content would fit") << 20L;
}

void TestSettings::writeInPlaceUnderAFileSizeLimit()
{
    QFETCH(long, limit);
    const QByteArray old = "08:00\r\n17:00\r\nnoikkai\r\nhyoji2\r\nhyoji1\r\n"_ba;
    const ChildOutcome outcome = saveWhereNewFilesAreRefused(old, InitialSettings, [limit] { limitFileSize(limit); });
    QCOMPARE(outcome.signal, 0);
    QVERIFY(outcome.exited);
    QVERIFY(outcome.threw);
    QVERIFY2(outcome.errorMessage.contains(systemReason(EFBIG)), qPrintable(outcome.errorMessage));
    QCOMPARE(fileContent(path_), old);
    QCOMPARE(entries(dir_.path()), QStringList{u"showflst.dat"_s});
}

// On a full disk, a new content longer than the old file does not fit: the
// save fails and leaves the old file byte for byte, in place as beside it.
void TestSettings::writeOnAFullDiskKeepsTheOldFile_data()
{
    QTest::addColumn<bool>("inPlace");
    QTest::newRow("beside the old file") << false;
    QTest::newRow("in place") << true;
}

void TestSettings::writeOnAFullDiskKeepsTheOldFile()
{
    QFETCH(bool, inPlace);
    const QString disk = dir_.filePath(u"disk"_s);
    QVERIFY(QDir().mkdir(disk));
    SmallFileSystem fileSystem(disk, qint64{64} * 1024);
    if (!fileSystem.mounted())
        QSKIP("this process may not mount a file system; the file-size limit tests cover the in-place path");
    path_ = disk + u"/showflst.dat"_s;
    // A whole page of old settings, and new ones three bytes longer.
    const QByteArray old = "08:00\r\n17:00\r\nnoikkai\r\nhyoji2\r\n"_ba.leftJustified(4094, 'x') + "\r\n";
    QCOMPARE(old.size(), 4096);
    DisplaySettings longer = InitialSettings;
    longer.fromTime = QByteArray(4099 - settingsFileContent(InitialSettings).size() + 5, '0');
    QCOMPARE(settingsFileContent(longer).size(), 4099);
    writeFile(path_, old);
    fileSystem.fill(u"filler"_s);

    ChildOutcome outcome;
    if (inPlace) {
        const QString path = path_;
        ::chmod(QFile::encodeName(path_).constData(), 0666);
        ::chmod(QFile::encodeName(dir_.path()).constData(), 0755);
        ::chmod(QFile::encodeName(disk).constData(), 0555);
        outcome = runInChild([] { dropToUnprivilegedUser(); }, [path, longer] { writeSettingsFile(path, longer); });
        ::chmod(QFile::encodeName(disk).constData(), 0777);
    } else {
        outcome = runInChild([] {}, [this, longer] { writeSettingsFile(path_, longer); });
    }
    QVERIFY(outcome.exited);
    QVERIFY(outcome.threw);
    QVERIFY2(outcome.errorMessage.contains(systemReason(ENOSPC)), qPrintable(outcome.errorMessage));
    QCOMPARE(fileContent(path_), old);
    QCOMPARE(entries(disk), (QStringList{u"filler"_s, u"showflst.dat"_s}));
}

// Where the directory lets a new file in but not over the old one, the old
// file is rewritten in place, as long as it is writable.
void TestSettings::writeInPlaceWhereTheOldFileCannotBeReplaced_data()
{
    QTest::addColumn<bool>("sticky");
    QTest::newRow("another user's file in a sticky directory") << true;
    QTest::newRow("a directory that may not change") << false;
}

void TestSettings::writeInPlaceWhereTheOldFileCannotBeReplaced()
{
    QFETCH(bool, sticky);
    if (::geteuid() != 0)
        QSKIP("needs root, to act as another user or to make a directory immutable");
    const QByteArray old = "08:00\r\n17:00\r\nnoikkai\r\nhyoji2\r\nhyoji1\r\n"_ba + QByteArray(100, 't') + "\r\n";
    writeFile(path_, old);
    ::chmod(QFile::encodeName(path_).constData(), 0666);
    const QString path = path_;
    ChildOutcome outcome;
    if (sticky) {
        // Root's file; the directory lets everyone add files but remove only their own.
        ::chmod(QFile::encodeName(dir_.path()).constData(), 01777);
        outcome = runInChild([] { dropToUnprivilegedUser(); }, [path] { writeSettingsFile(path, InitialSettings); });
    } else {
        if (!setImmutable(dir_.path(), true))
            QSKIP("this file system has no immutable attribute");
        const auto clear = qScopeGuard([this] { setImmutable(dir_.path(), false); });
        outcome = runInChild([] {}, [path] { writeSettingsFile(path, InitialSettings); });
    }
    QVERIFY(outcome.exited);
    QVERIFY2(!outcome.threw, qPrintable(outcome.errorMessage));
    QCOMPARE(fileContent(path_), settingsFileContent(InitialSettings));
    QCOMPARE(entries(dir_.path()), QStringList{u"showflst.dat"_s});
}

// A failure names the system's reason for the call that failed.
void TestSettings::writeReportsTheRealCause_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("cause");
    QTest::newRow("a read-only file system") << u"read-only"_s << EROFS;
    QTest::newRow("an immutable file") << u"immutable"_s << EPERM;
}

void TestSettings::writeReportsTheRealCause()
{
    QFETCH(QString, fault);
    QFETCH(int, cause);
    const QString disk = dir_.filePath(u"disk"_s);
    QVERIFY(QDir().mkdir(disk));
    const QByteArray old = "08:00\r\n17:00\r\nnoikkai\r\nhyoji2\r\nhyoji1\r\n"_ba;
    std::unique_ptr<SmallFileSystem> fileSystem;
    if (fault == u"read-only") {
        fileSystem = std::make_unique<SmallFileSystem>(disk, qint64{64} * 1024);
        if (!fileSystem->mounted())
            QSKIP("this process may not mount a file system");
        path_ = disk + u"/showflst.dat"_s;
        writeFile(path_, old);
        QVERIFY(fileSystem->makeReadOnly());
    } else {
        writeFile(path_, old);
        if (!setImmutable(path_, true))
            QSKIP("needs root and a file system with the immutable attribute");
    }
    const auto clear = qScopeGuard([this] { setImmutable(path_, false); });
    try {
        writeSettingsFile(path_, InitialSettings);
        QFAIL("the save must fail");
    } catch (const EInOutError& e) {
        QVERIFY2(e.message().contains(systemReason(cause)), qPrintable(e.message()));
    }
    QCOMPARE(fileContent(path_), old);
}

// Files the save names ".showflst.dat.saving-XXXXXX" while it works; a save
// that was killed may leave one. The next save removes those that no live
// save holds, and nothing else.
void TestSettings::writeRemovesLeftoversOfKilledSaves()
{
    const auto at = [this](const char* name) { return dir_.filePath(QLatin1StringView(name)); };
    const QStringList kept = {u".showflst.dat.saving-abc"_s, u".showflst.dat.saving-Held01"_s,
                              u".showflst.dat.saving-Link01"_s, u".showflst.dat.saving-Ab-12x"_s,
                              u".showflst.dat.saving-a1b2c3.old"_s, u".other.dat.saving-a1b2c3"_s,
                              u"showflst.dat.AbCdEf"_s, u"showflst.dat.backup"_s};
    for (const QString& name : kept)
        if (!name.contains(u"Link"))
            writeFile(dir_.filePath(name), "keep\r\n");
    QVERIFY(QFile::link(at("showflst.dat.backup"), at(".showflst.dat.saving-Link01")));
    writeFile(at(".showflst.dat.saving-Dead01"), "08:00\r\n");
    writeFile(at(".showflst.dat.saving-Dead02"), "");
    QCOMPARE(temporaryNamePattern(u"showflst.dat"_s), u".showflst.dat.saving-XXXXXX"_s);
    // A save that is still at work holds its file locked.
    QFile held(at(".showflst.dat.saving-Held01"));
    QVERIFY(held.open(QIODevice::ReadOnly));
    QCOMPARE(::flock(held.handle(), LOCK_EX), 0);

    writeSettingsFile(path_, InitialSettings);
    QStringList expected = kept + QStringList{u"showflst.dat"_s};
    expected.sort();
    QStringList left = entries(dir_.path());
    left.sort();
    QCOMPARE(left, expected);
    QCOMPARE(fileContent(at("showflst.dat.backup")), "keep\r\n"_ba);
}

void TestSettings::readStopsAtALineTooLong_data()
{
    QTest::addColumn<int>("longLine");
    QTest::addColumn<QStringList>("handedOver");
    QTest::newRow("the first line") << 1 << QStringList();
    QTest::newRow("the third line") << 3 << QStringList{u"fromTime"_s, u"toTime"_s};
}

void TestSettings::readStopsAtALineTooLong()
{
    QFETCH(int, longLine);
    QFETCH(QStringList, handedOver);
    QByteArray content;
    for (int line = 1; line <= 5; ++line)
        content += (line == longLine ? QByteArray(MaxLineLength + 1, 'x') : "hyoji2"_ba) + "\r\n";
    writeFile(path_, content);
    content.clear();
    ReceiverLog log;
    try {
        readSettingsFile(path_, log.receiver());
        QFAIL("a line this long must stop the read");
    } catch (const EInOutError& e) {
        QVERIFY2(e.message().contains(path_) && e.message().contains(u"行が長すぎます"), qPrintable(e.message()));
    }
    QCOMPARE(log.calls, handedOver);
}

void TestSettings::readTakesALineOfTheLongestLength()
{
    writeFile(path_, QByteArray(MaxLineLength, '1') + "\r\n17:00\r\n");
    DisplaySettings read;
    QVERIFY(readSettingsFile(path_, storeInto(read)));
    QCOMPARE(read.fromTime.size(), MaxLineLength);
    QCOMPARE(read.toTime, "17:00"_ba);
}

void TestSettings::stepsTimes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("delta");
    QTest::addColumn<QString>("stepped");

    QTest::newRow("up to midnight") << u"23:59"_s << 1 << u"00:00"_s;
    QTest::newRow("down past midnight") << u"00:00"_s << -1 << u"23:59"_s;
    QTest::newRow("hour past midnight") << u"23:30"_s << 60 << u"00:30"_s;
    QTest::newRow("hour forward") << u"00:10"_s << 60 << u"01:10"_s;
    QTest::newRow("minute forward") << u"08:00"_s << 1 << u"08:01"_s;
    QTest::newRow("result is padded") << u"7:5"_s << 1 << u"07:06"_s;
    QTest::newRow("seconds are dropped, not rounded") << u"12:34:56"_s << 1 << u"12:35"_s;
    QTest::newRow("last second of the day") << u"23:59:59"_s << 1 << u"00:00"_s;
    QTest::newRow("hours only") << u"9"_s << 1 << u"09:01"_s;
    QTest::newRow("PM adds twelve") << u"9:00 PM"_s << 1 << u"21:01"_s;
    QTest::newRow("12 AM is midnight") << u"12:15 AM"_s << -1 << u"00:14"_s;
    QTest::newRow("12 PM is noon") << u"12:00 PM"_s << -1 << u"11:59"_s;
    QTest::newRow("marker in any case, no blank") << u"1:30pm"_s << 1 << u"13:31"_s;
    QTest::newRow("marker after seconds") << u"11:59:59 am"_s << 1 << u"12:00"_s;
    QTest::newRow("blanks before each part and at the end") << u"  9 :05 :07  Pm  "_s << 1 << u"21:06"_s;
    QTest::newRow("blank before the separator") << u"9 :30"_s << 1 << u"09:31"_s;
    QTest::newRow("leading zeros") << u"0000000000000000000007:0005"_s << 1 << u"07:06"_s;
    QTest::newRow("a whole day forward") << u"10:00"_s << 1440 << u"10:00"_s;
    QTest::newRow("a whole day back") << u"10:00"_s << -1440 << u"10:00"_s;
    QTest::newRow("largest delta") << u"00:00"_s << 32767 << u"18:07"_s;
    QTest::newRow("smallest delta") << u"00:00"_s << -32768 << u"05:52"_s;
}

void TestSettings::stepsTimes()
{
    QFETCH(QString, text);
    QFETCH(int, delta);
    QFETCH(QString, stepped);
    QCOMPARE(StepTime(text, qint16(delta)), stepped);
}

void TestSettings::rejectsTextThatIsNoTime_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << QString();
    QTest::newRow("blanks only") << u"   "_s;
    QTest::newRow("letters") << u"abc"_s;
    QTest::newRow("hour 24") << u"24:00"_s;
    QTest::newRow("minute 60") << u"7:60"_s;
    QTest::newRow("second 60") << u"7:00:60"_s;
    QTest::newRow("separator without minutes") << u"9:"_s;
    QTest::newRow("minutes without hours") << u":30"_s;
    QTest::newRow("doubled separator") << u"9::00"_s;
    QTest::newRow("blank after the separator") << u"9: 30"_s;
    QTest::newRow("blank after the second separator") << u"9:30: 15"_s;
    QTest::newRow("too many parts") << u"1:02:03:04"_s;
    QTest::newRow("other separator") << u"9.30"_s;
    QTest::newRow("trailing text") << u"9:00x"_s;
    QTest::newRow("unknown marker") << u"9:00 XM"_s;
    QTest::newRow("two markers") << u"9:00 AM PM"_s;
    QTest::newRow("marker before the time") << u"PM 9:00"_s;
    QTest::newRow("hour 13 with a marker") << u"13:00 PM"_s;
    QTest::newRow("hour 0 with a marker") << u"0:30 AM"_s;
    QTest::newRow("tab is not a blank") << u"\t9:00"_s;
    QTest::newRow("full-width digits") << u"９:００"_s;
    QTest::newRow("negative hour") << u"-1:00"_s;
    QTest::newRow("hour wraps 32 bits") << u"4294967305:00"_s;
    QTest::newRow("hour wraps 64 bits") << u"18446744073709551625"_s;
    QTest::newRow("minute wraps 32 bits") << u"9:4294967296"_s;
    QTest::newRow("NUL inside") << QString(u"9:00\0"_s);
    QTest::newRow("long enough to be quoted in part") << QString(10'000, u'x');
}

void TestSettings::rejectsTextThatIsNoTime()
{
    QFETCH(QString, text);
    try {
        StepTime(text, 1);
        QFAIL("the text must be rejected");
    } catch (const EConvertError& e) {
        const QString quoted = text.size() > 200 ? text.first(200) + u"…"_s : text;
        QCOMPARE(e.message(), u"'%1' は時刻ではありません"_s.arg(quoted));
    }
}

void TestSettings::acceptsTheLocaleDesignators()
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    const auto restore = qScopeGuard([&] { QLocale::setDefault(previous); });
    QCOMPARE(StepTime(u"9:00 午後"_s, 1), u"21:01"_s);
    QCOMPARE(StepTime(u"12:00午前"_s, -1), u"23:59"_s);
    QCOMPARE(StepTime(u"9:00 PM"_s, 1), u"21:01"_s);
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
