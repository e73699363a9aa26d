#include "settingsfile.h"

#include "errors.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

constexpr char CR = '\r';
constexpr char LF = '\n';
constexpr char EndOfInput = '\x1a';
constexpr qint64 ChunkSize = qint64{64} * 1024;

constexpr QByteArrayView ShowOnceKeyword = "ikkai";
constexpr QByteArrayView NotOnceKeyword = "noikkai";
constexpr QByteArrayView LineEnd = "\r\n";

QString openForReadingFailed(const QString& fileName, const QString& cause)
{
    return QStringLiteral("設定ファイル「%1」を読み込み用に開けません: %2").arg(fileName, cause);
}

QString readingFailed(const QString& fileName, const QString& cause)
{
    return QStringLiteral("設定ファイル「%1」の読み込みに失敗しました: %2").arg(fileName, cause);
}

QString writingFailed(const QString& fileName, const QString& cause)
{
    return QStringLiteral("設定ファイル「%1」の書き込みに失敗しました: %2").arg(fileName, cause);
}

// Splits a device into lines: a CR ends a line and swallows one LF right after
// it, a lone LF is text, and a 0x1A byte ends the input like the end of the
// file. Past the end, every line reads as empty. Lines have no length limit.
class LineReader {
public:
    LineReader(QIODevice& device, const QString& fileName)
        : device_(device)
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
        const qint64 count = device_.read(chunk_.data(), ChunkSize);
        if (count < 0)
            throw EInOutError(readingFailed(fileName_, device_.errorString()));
        chunk_.resize(count);
        pos_ = 0;
        ended_ = count == 0;
        return !ended_;
    }

    QIODevice& device_;
    const QString& fileName_;
    QByteArray chunk_;
    qsizetype pos_ = 0;
    bool ended_ = false;
    bool lfMayFollow_ = false;
};

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
    LineReader lines(device, fileName);
    receiver.fromTime(lines.next());
    receiver.toTime(lines.next());
    receiver.showOnce(lines.next() == ShowOnceKeyword);
    receiver.dataFileMode(displayModeFromLine(lines.next()));
    receiver.checkFileMode(displayModeFromLine(lines.next()));
}

bool readSettingsFile(const QString& fileName, const SettingsReceiver& receiver)
{
    // Only a regular file (or a link to one) is read: a FIFO would block the
    // open and a device could be read without end.
    if (!QFileInfo(fileName).isFile())
        return false;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EInOutError(openForReadingFailed(fileName, file.errorString()));
    readSettings(file, fileName, receiver);
    return true;
}

QByteArray settingsFileContent(const DisplaySettings& settings)
{
    const QByteArrayView lines[] = {
        settings.fromTime,
        settings.toTime,
        settings.showOnce ? ShowOnceKeyword : NotOnceKeyword,
        displayModeKeyword(settings.dataFileMode),
        displayModeKeyword(settings.checkFileMode),
    };
    QByteArray content;
    for (const QByteArrayView line : lines)
        content.append(line).append(LineEnd);
    return content;
}

void writeSettingsFile(const QString& fileName, const DisplaySettings& settings)
{
    const QFileInfo existing(fileName);
    // QSaveFile follows a symbolic link and replaces what it points to. That is
    // right for a regular file, but must never replace a device or a FIFO.
    if (existing.isSymLink() && existing.exists() && !existing.isFile() && !existing.isDir())
        throw EInOutError(writingFailed(fileName, QStringLiteral("リンク先が通常のファイルではありません")));

    QSaveFile file(fileName);
    // Where the directory refuses the temporary file, an existing regular file
    // is still written in place, as it always could be.
    file.setDirectWriteFallback(existing.isFile());
    // Unbuffered, so that every failed write is seen by the write itself: a
    // failure while a buffer is flushed at commit would not stop QSaveFile from
    // putting the incomplete file in place.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw EInOutError(writingFailed(fileName, file.errorString()));
    const QByteArray content = settingsFileContent(settings);
    // A short write is retried, so that the failure behind it names its cause.
    for (qsizetype written = 0; written < content.size();) {
        const qint64 count = file.write(content.constData() + written, content.size() - written);
        if (count <= 0)
            throw EInOutError(writingFailed(fileName, file.errorString()));
        written += count;
    }
    // QSaveFile syncs before it moves the file into place, but ignores a
    // failure: data the disk did not take must not replace the old file.
    if (::fdatasync(file.handle()) != 0 && errno != EINVAL && errno != EROFS) {
        const QString cause = QString::fromLocal8Bit(std::strerror(errno));
        file.cancelWriting();
        throw EInOutError(writingFailed(fileName, cause));
    }
    errno = 0;
    if (!file.commit()) {
        // Where QSaveFile fails to name the temporary file it keeps no cause;
        // the C library's error number still holds it then.
        const int cause = errno;
        throw EInOutError(writingFailed(fileName, file.error() == QFileDevice::UnspecifiedError && cause != 0
                                                      ? QString::fromLocal8Bit(std::strerror(cause))
                                                      : file.errorString()));
    }
}
