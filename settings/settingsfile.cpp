#include "settingsfile.h"

#include "descriptor.h"
#include "errors.h"
#include "savefile.h"

#include <QFile>
#include <QIODevice>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char CR = '\r';
constexpr char LF = '\n';
constexpr char EndOfInput = '\x1a';
constexpr qint64 ChunkSize = qint64{64} * 1024;

constexpr QByteArrayView ShowOnceKeyword = "ikkai";
constexpr QByteArrayView NotOnceKeyword = "noikkai";
constexpr QByteArrayView LineEnd = "\r\n";

// Reads up to `size` bytes into `buffer`: the count, 0 at the end of the
// input, or -1 after a failure that `failure` then describes.
struct ByteSource {
    std::function<qint64(char* buffer, qint64 size)> read;
    std::function<QString()> failure;
};

// Splits a byte source into lines: a CR ends a line and swallows one LF right
// after it, a lone LF is text, and a 0x1A byte ends the input like the end of
// the file. Past the end, every line reads as empty. A line longer than
// MaxLineLength stops the reading: no time text or keyword comes near it, and
// it keeps a file without a practical end from exhausting memory.
class LineReader {
public:
    LineReader(ByteSource source, const QString& fileName)
        : source_(std::move(source))
        , fileName_(fileName)
    {
    }

    QByteArray next()
    {
        if (lfMayFollow_) {
            lfMayFollow_ = false;
            if (fill() && chunk_.at(pos_) == LF)
                ++pos_;
        }
        QByteArray line;
        while (fill()) {
            const auto begin = chunk_.cbegin() + pos_;
            const auto stop = std::find_if(begin, chunk_.cend(),
                                           [](char c) { return c == CR || c == EndOfInput; });
            if (line.size() + (stop - begin) > MaxLineLength)
                throw EInOutError::reading(fileName_, QStringLiteral("行が長すぎます（%1 MiB を超えています）")
                                                           .arg(MaxLineLength / (qsizetype{1024} * 1024)));
            line.append(QByteArrayView(begin, stop));
            pos_ = stop - chunk_.cbegin();
            if (stop == chunk_.cend())
                continue;
            if (*stop == EndOfInput) {
                ended_ = true;
                chunk_.clear();
                pos_ = 0;
            } else {
                ++pos_;
                lfMayFollow_ = true;
            }
            break;
        }
        return line;
    }

private:
    // Makes sure an unread byte is buffered; false at the end of the input.
    bool fill()
    {
        if (pos_ < chunk_.size())
            return true;
        if (ended_)
            return false;
        chunk_.resize(ChunkSize);
        const qint64 count = source_.read(chunk_.data(), ChunkSize);
        if (count < 0)
            throw EInOutError::reading(fileName_, source_.failure());
        chunk_.resize(count);
        pos_ = 0;
        ended_ = count == 0;
        return !ended_;
    }

    ByteSource source_;
    const QString& fileName_;
    QByteArray chunk_;
    qsizetype pos_ = 0;
    bool ended_ = false;
    bool lfMayFollow_ = false;
};

void readLines(LineReader& lines, const SettingsReceiver& receiver)
{
    receiver.fromTime(lines.next());
    receiver.toTime(lines.next());
    receiver.showOnce(lines.next() == ShowOnceKeyword);
    receiver.dataFileMode(displayModeFromLine(lines.next()));
    receiver.checkFileMode(displayModeFromLine(lines.next()));
}

} // namespace

QByteArrayView displayModeKeyword(DisplayMode mode)
{
    switch (mode) {
    case DisplayMode::Always:
        return "hyoji1";
    case DisplayMode::OnlyWhenFlagged:
        return "hyoji2";
    case DisplayMode::Never:
        break;
    }
    return "nohyoji";
}

DisplayMode displayModeFromLine(QByteArrayView line)
{
    if (line == displayModeKeyword(DisplayMode::Always))
        return DisplayMode::Always;
    if (line == displayModeKeyword(DisplayMode::OnlyWhenFlagged))
        return DisplayMode::OnlyWhenFlagged;
    return DisplayMode::Never;
}

SettingsReceiver storeInto(DisplaySettings& settings)
{
    return {
        .fromTime = [&settings](const QByteArray& text) { settings.fromTime = text; },
        .toTime = [&settings](const QByteArray& text) { settings.toTime = text; },
        .showOnce = [&settings](bool yes) { settings.showOnce = yes; },
        .dataFileMode = [&settings](DisplayMode mode) { settings.dataFileMode = mode; },
        .checkFileMode = [&settings](DisplayMode mode) { settings.checkFileMode = mode; },
    };
}

void readSettings(QIODevice& device, const QString& fileName, const SettingsReceiver& receiver)
{
    LineReader lines({[&device](char* buffer, qint64 size) { return device.read(buffer, size); },
                      [&device] { return device.errorString(); }},
                     fileName);
    readLines(lines, receiver);
}

bool readSettingsFile(const QString& fileName, const SettingsReceiver& receiver)
{
    // Only a regular file (or a link to one) is read: a FIFO would block the
    // open and a device could be read without end.
    const QByteArray path = QFile::encodeName(fileName);
    struct stat status {};
    if (::stat(path.constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    const Descriptor file(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!file.valid())
        throw EInOutError::openingForReading(fileName, systemErrorText(errno));
    // Whatever took the name since it was looked at must be a regular file too.
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    lockForReading(file.get());
    int error = 0;
    LineReader lines({[&file, &error](char* buffer, qint64 size) {
                          ssize_t count;
                          do
                              count = ::read(file.get(), buffer, std::size_t(size));
                          while (count < 0 && errno == EINTR);
                          error = errno;
                          return qint64(count);
                      },
                      [&error] { return systemErrorText(error); }},
                     fileName);
    readLines(lines, receiver);
    return true;
}

namespace {

// The file's bytes as pieces: each line's bytes and its line end, in order.
QList<QByteArrayView> settingsFilePieces(const DisplaySettings& settings)
{
    return {
        settings.fromTime, LineEnd,
        settings.toTime, LineEnd,
        settings.showOnce ? ShowOnceKeyword : NotOnceKeyword, LineEnd,
        displayModeKeyword(settings.dataFileMode), LineEnd,
        displayModeKeyword(settings.checkFileMode), LineEnd,
    };
}

} // namespace

QByteArray settingsFileContent(const DisplaySettings& settings)
{
    QByteArray content;
    for (const QByteArrayView piece : settingsFilePieces(settings))
        content.append(piece);
    return content;
}

void writeSettingsFile(const QString& fileName, const DisplaySettings& settings)
{
    // Written from the settings' own bytes, so that long lines are never copied.
    saveFileContent(fileName, settingsFilePieces(settings));
}
