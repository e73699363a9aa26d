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
class EInOutError : public Exception {
public:
    using Exception::Exception;
};

// A text that is not a time of day.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};
