#include "errors.h"

Exception::Exception(QString message)
    : message_(std::move(message))
    , utf8_(QString(message_).replace(QChar(0), QChar(0x2400)).toUtf8())
{
}
