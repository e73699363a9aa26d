#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// Base of the errors this program raises. Each carries the message for the
// user. message() is exact; what() is its UTF-8 form for the error report,
// where a NUL character in quoted text shows as the symbol "␀" rather than
// cutting the C string short.
class Exception : public std::exception {
public:
    explicit Exception(QString message);

    const QString& message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    QString message_;
    QByteArray utf8_;
};

// Any failure on the settings file: opening, reading, writing or replacing it.
// Each message names the file, what failed and why.
class EInOutError : public Exception {
public:
    using Exception::Exception;

    static EInOutError openingForReading(const QString& fileName, const QString& cause);
    static EInOutError reading(const QString& fileName, const QString& cause);
    static EInOutError writing(const QString& fileName, const QString& cause);
};

// A text that is not a time of day.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// The C library's description of the error number `error`, in Japanese: the
// interface is Japanese whatever the user's locale. Where the ja_JP.UTF-8
// locale or the C library's Japanese catalogue is missing, the untranslated
// description; never empty. The C library takes the language of its messages
// from the LANGUAGE variable ahead of any locale, so the program clears that
// variable at start-up (see main.cpp).
QString systemErrorText(int error);
