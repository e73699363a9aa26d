#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

class QIODevice;

// How one result file is displayed. In the settings file the three modes are
// the keywords "hyoji1", "hyoji2" and "nohyoji".
enum class DisplayMode {
    Always,          // "hyoji1"
    OnlyWhenFlagged, // "hyoji2": only when the check flagged something
    Never,           // "nohyoji"
};

QByteArrayView displayModeKeyword(DisplayMode mode);

// "hyoji1" and "hyoji2" compare exactly over the whole line; anything else is Never.
DisplayMode displayModeFromLine(QByteArrayView line);

// The five display settings in their fixed order, one line of the file each.
// A default-constructed value is what a file of five empty lines reads as.
// The two times are bytes: they are written back exactly as they were read.
struct DisplaySettings {
    QByteArray fromTime;
    QByteArray toTime;
    bool showOnce = false;
    DisplayMode dataFileMode = DisplayMode::Never;
    DisplayMode checkFileMode = DisplayMode::Never;

    friend bool operator==(const DisplaySettings&, const DisplaySettings&) = default;
};

// Receives the values one by one, in line order, each as soon as its line has
// been read, so that a failure part-way leaves the earlier values handed over.
struct SettingsReceiver {
    std::function<void(const QByteArray&)> fromTime;
    std::function<void(const QByteArray&)> toTime;
    std::function<void(bool)> showOnce;
    std::function<void(DisplayMode)> dataFileMode;
    std::function<void(DisplayMode)> checkFileMode;
};

// A receiver that stores every value it is handed into `settings`.
SettingsReceiver storeInto(DisplaySettings& settings);

// The longest line a reader takes: far beyond any time text or keyword, and
// it keeps a file without a practical end from exhausting memory.
constexpr qsizetype MaxLineLength = qsizetype{64} * 1024 * 1024;

// Reads the settings file `fileName` (following a symbolic link) into
// `receiver`. Returns false, handing nothing over, when there is no regular
// file of that name (none at all, a directory, a FIFO, a socket or a device).
// Throws EInOutError when the file exists but cannot be opened or read, or
// when one of its first five lines is longer than MaxLineLength; the values
// handed over before stay handed over.
bool readSettingsFile(const QString& fileName, const SettingsReceiver& receiver);

// Reads the five lines from an open device. `fileName` names the file in error
// messages. Throws EInOutError when the device reports a read error.
void readSettings(QIODevice& device, const QString& fileName, const SettingsReceiver& receiver);

// The exact bytes of the settings file: five lines, each ending in CR LF.
QByteArray settingsFileContent(const DisplaySettings& settings);

// Replaces the settings file `fileName` with `settings`, so that the file
// holds the old settings or the new ones at every instant, whatever fails or
// whenever the program is killed; on a failure, EInOutError is thrown. How,
// including the in-place path and symbolic links, is told at saveFileContent.
void writeSettingsFile(const QString& fileName, const DisplaySettings& settings);
