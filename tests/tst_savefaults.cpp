#include "errors.h"
#include "settingsfile.h"

#include "childprocess.h"
#include "faultinjection.h"
#include "testsupport.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

#include <chrono>
#include <csignal>
#include <memory>
#include <optional>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(FaultPoint)

namespace {

const DisplaySettings NewSettings{"09:01", "17:00", false, DisplayMode::OnlyWhenFlagged, DisplayMode::Never};
const QByteArray OldContent = "08:00\r\n17:00\r\nikkai\r\nhyoji1\r\nhyoji2\r\n"_ba;

// Two versions of different lengths, for saves that alternate.
const DisplaySettings LongSettings{QByteArray(20'000, '1'), "23:59", true, DisplayMode::Always, DisplayMode::Always};

bool isTemporaryName(const QString& name)
{
    return name.size() == 27 && name.startsWith(u".showflst.dat.saving-");
}

struct Fault {
    FaultPoint point = FaultPoint::None;
    int error = 0;
    int passes = 0;
    bool shortFirst = false;
};

// What a save made under a fault came to.
struct FaultedSave {
    QString message;  // the error's message; empty where the save succeeded
    int tripped = 0;  // how often the fault struck
};

// Saves `settings` at `path` with `fault` armed. With `inPlace`, the new file
// is refused too, as by a directory that lets nobody add files, which sends
// the save in place.
FaultedSave saveWithFault(const QString& path, const DisplaySettings& settings, const Fault& fault,
                          bool inPlace = false)
{
    std::optional<ArmedFault> refused;
    if (inPlace)
        refused.emplace(FaultPoint::Create, EACCES);
    const ArmedFault armed(fault.point, fault.error, fault.passes, fault.shortFirst);
    FaultedSave outcome;
    try {
        writeSettingsFile(path, settings);
    } catch (const EInOutError& e) {
        outcome.message = e.message();
    }
    outcome.tripped = armed.tripped();
    return outcome;
}

// Forks a child that runs `save` over and over, and returns its process id.
// The child's termination signals have their default effect, as in the
// program, not the test framework's handlers.
pid_t startSaving(const std::function<void(int round)>& save)
{
    // Held back until the child has reset them, however soon one is sent.
    sigset_t termination;
    sigset_t previous;
    sigemptyset(&termination);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&termination, signal);
    ::sigprocmask(SIG_BLOCK, &termination, &previous);
    const pid_t child = ::fork();
    if (child == 0) {
        for (const int signal : {SIGTERM, SIGINT, SIGHUP})
            ::signal(signal, SIG_DFL);
        ::sigprocmask(SIG_SETMASK, &previous, nullptr);
        for (int round = 0;; ++round) {
            try {
                save(round);
            } catch (...) {
                ::_exit(1);
            }
        }
    }
    ::sigprocmask(SIG_SETMASK, &previous, nullptr);
    return child;
}

int waitFor(pid_t child)
{
    int status = 0;
    ::waitpid(child, &status, 0);
    return status;
}

} // namespace

Q_DECLARE_METATYPE(Fault)

// Every point of a save made to fail: the earlier file stays byte for byte
// as it was (or absent), no file is left beside it, and the failure surfaces
// as EInOutError naming its cause. And saves killed at every moment.
class TestSaveFaults : public QObject {
    Q_OBJECT

private slots:
    void init();

    void failedSaveKeepsTheEarlierFile_data();
    void failedSaveKeepsTheEarlierFile();
    void failedInPlaceSaveKeepsTheEarlierFile_data();
    void failedInPlaceSaveKeepsTheEarlierFile();
    void fileSystemThatCannotSyncStillSaves_data();
    void fileSystemThatCannotSyncStillSaves();
    void failedReadKeepsTheValuesReadBefore();
    void killedSaveLeavesAWholeFile();
    void signalAsTheNewFileIsNamed_data();
    void signalAsTheNewFileIsNamed();
    void killedInPlaceSaveKeepsOneVersion_data();
    void killedInPlaceSaveKeepsOneVersion();

private:
    bool isWhole(const QByteArray& content) const;
    void checkNoLeftovers(const QString& where) const;

    std::unique_ptr<QTemporaryDir> dir_;
    QString path_;
};

void TestSaveFaults::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    path_ = dir_->filePath(u"showflst.dat"_s);
}

bool TestSaveFaults::isWhole(const QByteArray& content) const
{
    return content == settingsFileContent(NewSettings) || content == settingsFileContent(LongSettings);
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
        row("creating the new file: disk full") << FaultPoint::Create << ENOSPC << 0 << false << earlier;
        row("creating the new file: read-only file system") << FaultPoint::Create << EROFS << 0 << false << earlier;
        row("writing: disk full") << FaultPoint::Write << ENOSPC << 0 << false << earlier;
        row("writing: short, then an I/O error") << FaultPoint::Write << EIO << 0 << true << earlier;
        row("flushing to disk") << FaultPoint::Sync << EIO << 0 << false << earlier;
        row("naming the new file") << FaultPoint::Link << EIO << 0 << false << earlier;
        row("moving it into place") << FaultPoint::Rename << EIO << 0 << false << earlier;
    }
    // Refused with no file to write in place: nothing else to try.
    QTest::newRow("creating the new file: refused, no earlier file")
        << FaultPoint::Create << EACCES << 0 << false << false;
}

void TestSaveFaults::failedSaveKeepsTheEarlierFile()
{
    QFETCH(FaultPoint, point);
    QFETCH(int, error);
    QFETCH(int, passes);
    QFETCH(bool, shortFirst);
    QFETCH(bool, earlierFile);
    if (earlierFile)
        writeFile(path_, OldContent);

    const auto [message, tripped] = saveWithFault(path_, NewSettings, {point, error, passes, shortFirst});
    QVERIFY2(tripped > 0, "the fault was never reached");
    QVERIFY2(!message.isEmpty(), "the save reported success");
    QVERIFY2(message.contains(systemErrorText(error)), qPrintable(message));
    QVERIFY2(message.contains(path_), qPrintable(message));
    QCOMPARE(fileContent(path_), earlierFile ? OldContent : "<absent>"_ba);
    QCOMPARE(entries(dir_->path()), earlierFile ? QStringList{u"showflst.dat"_s} : QStringList{});
}

// The new file refused (as by a directory that lets nobody add files) sends
// the save in place. A failure before the overwrite leaves the old file byte
// for byte; one after it leaves the new settings in the first five lines.
void TestSaveFaults::failedInPlaceSaveKeepsTheEarlierFile_data()
{
    QTest::addColumn<QByteArray>("old");
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<bool>("oldKept"); // else the new settings come first, and the old tail may follow

    const QByteArray longer = OldContent + QByteArray(3000, 't') + "\r\n";
    QTest::newRow("reserving the new length: disk full") << OldContent << Fault{FaultPoint::Write, ENOSPC} << true;
    QTest::newRow("reserving the new length: short, then disk full")
        << OldContent << Fault{FaultPoint::Write, ENOSPC, 0, true} << true;
    QTest::newRow("reserving the new length: file-size limit") << OldContent << Fault{FaultPoint::Write, EFBIG} << true;
    QTest::newRow("overwriting: I/O error") << longer << Fault{FaultPoint::Write, EIO} << true;
    QTest::newRow("making the new content durable") << longer << Fault{FaultPoint::Sync, EIO} << false;
    QTest::newRow("cutting the old tail") << longer << Fault{FaultPoint::Truncate, EIO} << false;
}

void TestSaveFaults::failedInPlaceSaveKeepsTheEarlierFile()
{
    QFETCH(QByteArray, old);
    QFETCH(Fault, fault);
    QFETCH(bool, oldKept);
    DisplaySettings settings = NewSettings;
    settings.fromTime = QByteArray(100, '0'); // longer than OldContent, shorter than the longer one
    writeFile(path_, old);

    const auto [message, tripped] = saveWithFault(path_, settings, fault, true);
    QVERIFY2(tripped > 0, "the fault was never reached");
    QVERIFY2(message.contains(systemErrorText(fault.error)), qPrintable(message));
    if (oldKept) {
        QCOMPARE(fileContent(path_), old);
    } else {
        DisplaySettings read;
        QVERIFY(readSettingsFile(path_, storeInto(read)));
        QCOMPARE(read, settings);
    }
    QCOMPARE(entries(dir_->path()), QStringList{u"showflst.dat"_s});
}

// A file system that cannot sync (EINVAL, EROFS) still saves, beside the old
// file and in place; any other failure to sync is a failed save.
void TestSaveFaults::fileSystemThatCannotSyncStillSaves_data()
{
    QTest::addColumn<FaultPoint>("point");
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("inPlace");
    QTest::addColumn<bool>("saved");
    for (const bool inPlace : {false, true}) {
        const QByteArray where = inPlace ? " (in place)" : "";
        QTest::newRow("file: EINVAL" + where) << FaultPoint::Sync << EINVAL << inPlace << true;
        QTest::newRow("file: EROFS" + where) << FaultPoint::Sync << EROFS << inPlace << true;
    }
    QTest::newRow("directory: EINVAL") << FaultPoint::SyncDirectory << EINVAL << false << true;
    QTest::newRow("directory: EROFS") << FaultPoint::SyncDirectory << EROFS << false << true;
    QTest::newRow("directory: I/O error") << FaultPoint::SyncDirectory << EIO << false << false;
}

void TestSaveFaults::fileSystemThatCannotSyncStillSaves()
{
    QFETCH(FaultPoint, point);
    QFETCH(int, error);
    QFETCH(bool, inPlace);
    QFETCH(bool, saved);
    writeFile(path_, OldContent);
    const auto [message, tripped] = saveWithFault(path_, NewSettings, {point, error}, inPlace);
    QVERIFY2(tripped > 0, "the fault was never reached");
    QCOMPARE(message.isEmpty(), saved);
    if (!saved)
        QVERIFY2(message.contains(systemErrorText(error)), qPrintable(message));
    // A failed directory sync comes after the rename: the new file is in place.
    QCOMPARE(fileContent(path_), settingsFileContent(NewSettings));
}

void TestSaveFaults::failedReadKeepsTheValuesReadBefore()
{
    // Lines 1 and 2 come with the first read; line 3 needs a second one.
    writeFile(path_, "08:00\r\n17:00\r\n" + QByteArray(200'000, 'x') + "\r\nhyoji2\r\nhyoji2\r\n");
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
    QVERIFY2(message.contains(systemErrorText(EIO)), qPrintable(message));
    QCOMPARE(read.fromTime, "08:00"_ba);
    QCOMPARE(read.toTime, "17:00"_ba);
    QCOMPARE(read.dataFileMode, DisplayMode::Never); // never handed over
}

void TestSaveFaults::checkNoLeftovers(const QString& where) const
{
    QCOMPARE(entries(dir_->path()), QStringList{u"showflst.dat"_s});
    QVERIFY2(isWhole(fileContent(path_)), qPrintable(where));
}

// A process killed while it saves, at random moments: the settings file is
// always one whole version, never a mix or a part. A kill in the instant
// between naming the new file and moving it into place leaves it under its
// temporary name; that copy too is whole, and the next save removes it.
void TestSaveFaults::killedSaveLeavesAWholeFile()
{
    writeSettingsFile(path_, NewSettings);
    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    int leftBeside = 0;
    for (int round = 0; round < 60; ++round) {
        const pid_t child = startSaving([this](int i) { writeSettingsFile(path_, i % 2 ? NewSettings : LongSettings); });
        ::usleep(random.bounded(200u, 20'000u));
        ::kill(child, SIGKILL);
        QVERIFY2(WIFSIGNALED(waitFor(child)), "the saving child stopped by itself");

        const QString where = u"round %1, seed %2"_s.arg(round).arg(seed);
        QVERIFY2(isWhole(fileContent(path_)), qPrintable(where));
        for (const QString& name : entries(dir_->path())) {
            if (name == u"showflst.dat")
                continue;
            QVERIFY2(isTemporaryName(name), qPrintable(where + u": "_s + name));
            QVERIFY2(isWhole(fileContent(dir_->filePath(name))), qPrintable(where + u": "_s + name));
            ++leftBeside;
        }
        // The next save tidies up after the killed one.
        writeSettingsFile(path_, NewSettings);
        checkNoLeftovers(where);
    }
    qInfo("%d of 60 kills fell between naming the new file and moving it into place", leftBeside);
}

// A signal sent the moment the new file's name appears, which is when a kill
// can leave it behind. SIGTERM, SIGINT and SIGHUP wait until the save is
// done, then end the program: nothing is ever left. SIGKILL cannot wait; the
// next save removes what it left.
void TestSaveFaults::signalAsTheNewFileIsNamed_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM, as at logout") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
    QTest::newRow("SIGKILL") << int(SIGKILL);
}

void TestSaveFaults::signalAsTheNewFileIsNamed()
{
    QFETCH(int, signal);
    writeSettingsFile(path_, NewSettings);
    int leftBeside = 0;
    for (int round = 0; round < 40; ++round) {
        const int watch = ::inotify_init1(IN_CLOEXEC);
        QVERIFY(watch >= 0);
        const auto closeWatch = qScopeGuard([watch] { ::close(watch); });
        QVERIFY(::inotify_add_watch(watch, QFile::encodeName(dir_->path()).constData(), IN_CREATE) >= 0);
        const pid_t child = startSaving([this](int i) { writeSettingsFile(path_, i % 2 ? NewSettings : LongSettings); });

        bool sent = false;
        alignas(inotify_event) char events[4096];
        while (!sent) {
            pollfd ready{watch, POLLIN, 0};
            QVERIFY2(::poll(&ready, 1, 10'000) == 1, "no new file appeared");
            const ssize_t length = ::read(watch, events, sizeof events);
            for (ssize_t at = 0; at < length && !sent;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                if (event->len > 0 && isTemporaryName(QString::fromLatin1(event->name))) {
                    ::kill(child, signal);
                    sent = true;
                }
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
        const int status = waitFor(child);
        const QString where = u"round %1"_s.arg(round);
        QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == signal, qPrintable(where));
        QVERIFY2(isWhole(fileContent(path_)), qPrintable(where));
        if (signal == SIGKILL) {
            leftBeside += int(entries(dir_->path()).size()) - 1;
            writeSettingsFile(path_, NewSettings);
        }
        checkNoLeftovers(where);
    }
    if (signal == SIGKILL)
        qInfo("%d of 40 kills left the new file beside the old one", leftBeside);
}

// Saves in place, killed at random moments, while another process reads the
// file as a second instance starting would: every read, and the file after
// every kill, gives one version's five values, never a mix and never empty.
void TestSaveFaults::killedInPlaceSaveKeepsOneVersion_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGKILL") << int(SIGKILL);
    QTest::newRow("SIGTERM") << int(SIGTERM);
}

void TestSaveFaults::killedInPlaceSaveKeepsOneVersion()
{
    QFETCH(int, signal);
    // Both versions within one page, which a kill cannot split.
    const DisplaySettings other{QByteArray(3000, '2'), "23:59", true, DisplayMode::Always, DisplayMode::Always};
    if (::geteuid() != 0)
        QSKIP("needs root, to save as another user in a directory that refuses that user new files");
    writeSettingsFile(path_, NewSettings);
    ::chmod(QFile::encodeName(path_).constData(), 0666);
    ::chmod(QFile::encodeName(dir_->path()).constData(), 0555);
    const auto restore = qScopeGuard([this] { ::chmod(QFile::encodeName(dir_->path()).constData(), 0700); });
    const auto isOneVersion = [&other](const DisplaySettings& read) { return read == NewSettings || read == other; };

    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    int reads = 0;
    for (int round = 0; round < 50; ++round) {
        const pid_t child = startSaving([this, &other](int i) {
            static const bool dropped = dropToUnprivilegedUser();
            if (!dropped)
                ::_exit(2);
            writeSettingsFile(path_, i % 2 ? NewSettings : other);
        });
        const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(random.bounded(200u, 20'000u));
        const QString where = u"round %1, seed %2"_s.arg(round).arg(seed);
        do {
            DisplaySettings read;
            QVERIFY2(readSettingsFile(path_, storeInto(read)), qPrintable(where));
            if (!isOneVersion(read)) {
                const std::unique_ptr<char[]> shown(toString(read));
                QFAIL(qPrintable(where + u": "_s + QString::fromLatin1(shown.get())));
            }
            ++reads;
        } while (std::chrono::steady_clock::now() < until);
        ::kill(child, signal);
        const int status = waitFor(child);
        QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == signal, qPrintable(where));

        DisplaySettings read;
        QVERIFY2(readSettingsFile(path_, storeInto(read)), qPrintable(where));
        QVERIFY2(isOneVersion(read), qPrintable(where));
        // A deferred signal ends the program only once the save is complete.
        const QByteArray content = fileContent(path_);
        if (signal != SIGKILL)
            QVERIFY2(content == settingsFileContent(NewSettings) || content == settingsFileContent(other), qPrintable(where));
        QCOMPARE(entries(dir_->path()), QStringList{u"showflst.dat"_s});
    }
    qInfo("%d reads during the saves", reads);
}

QTEST_GUILESS_MAIN(TestSaveFaults)
#include "tst_savefaults.moc"
