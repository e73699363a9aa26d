#pragma once

// Helpers the test programs share: files as bytes, byte literals that may
// hold NUL, and a readable form of the display settings for failed
// comparisons.

#include "settingsfile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTest>

// The bytes of a literal, NUL bytes included.
template <qsizetype N>
QByteArray raw(const char (&bytes)[N])
{
    return QByteArray(bytes, N - 1);
}

// The whole content of a file, or "<absent>" when it cannot be read.
inline QByteArray fileContent(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<absent>");
}

inline void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(file.write(content), content.size());
}

// Every entry of a directory, hidden ones included.
inline QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// Found by QCOMPARE through argument-dependent lookup.
inline char* toString(const DisplaySettings& settings)
{
    const auto mode = [](DisplayMode m) { return displayModeKeyword(m).toByteArray(); };
    const auto shown = [](const QByteArray& bytes) {
        return bytes.size() > 40 ? bytes.first(40).toPercentEncoding() + "...(" + QByteArray::number(bytes.size()) + " bytes)"
                                 : bytes.toPercentEncoding();
    };
    return qstrdup("{" + shown(settings.fromTime) + ", " + shown(settings.toTime) + ", "
                   + (settings.showOnce ? "ikkai" : "noikkai") + ", " + mode(settings.dataFileMode) + ", "
                   + mode(settings.checkFileMode) + "}");
}
