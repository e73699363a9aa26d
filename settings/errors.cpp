#include "errors.h"

#include <clocale>
#include <cstring>

Exception::Exception(QString message)
    : message_(std::move(message))
    , utf8_(QString(message_).replace(QChar(0), QChar(0x2400)).toUtf8())
{
}

EInOutError EInOutError::openingForReading(const QString& fileName, const QString& cause)
{
    EInOutError error(QStringLiteral("設定ファイル「%1」を読み込み用に開けません: %2").arg(fileName, cause));
    return error;
}

EInOutError EInOutError::reading(const QString& fileName, const QString& cause)
{
    EInOutError error(QStringLiteral("設定ファイル「%1」の読み込みに失敗しました: %2").arg(fileName, cause));
    return error;
}

EInOutError EInOutError::writing(const QString& fileName, const QString& cause)
{
    EInOutError error(QStringLiteral("設定ファイル「%1」の書き込みに失敗しました: %2").arg(fileName, cause));
    return error;
}

QString systemErrorText(int error)
{
    // Messages and their character set both from the Japanese locale, so that
    // the text arrives as UTF-8 whatever the program's own locale is. Made
    // once and kept for the life of the program.
    static const locale_t japanese = ::newlocale(LC_MESSAGES_MASK | LC_CTYPE_MASK, "ja_JP.UTF-8", locale_t(nullptr));
    if (japanese)
        return QString::fromUtf8(::strerror_l(error, japanese));
    if (const char* untranslated = ::strerrordesc_np(error))
        return QString::fromUtf8(untranslated);
    return QStringLiteral("エラー番号 %1").arg(error);
}
