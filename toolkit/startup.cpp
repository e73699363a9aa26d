#include "startup.h"

#include <QByteArray>
#include <QList>
#include <QMessageLogContext>
#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <unistd.h>
#include <utility>

namespace {

struct HeldMessage {
    QtMsgType type;
    QByteArray category;
    QString text;
};

const char* noDisplayMessage = nullptr;
QtMessageHandler previousHandler = nullptr;
QList<HeldMessage> held;

void holdOrEnd(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtFatalMsg) {
        std::fputs(noDisplayMessage, stderr);
        std::fputc('\n', stderr);
        std::fflush(stderr);
        ::_exit(1);
    }
    held.append({type, context.category, text});
}

} // namespace

DisplayRequired::DisplayRequired(const char* message)
{
    noDisplayMessage = message;
    previousHandler = qInstallMessageHandler(holdOrEnd);
}

DisplayRequired::~DisplayRequired()
{
    reached();
}

void DisplayRequired::reached()
{
    if (!noDisplayMessage)
        return;
    noDisplayMessage = nullptr;
    qInstallMessageHandler(previousHandler);
    for (const HeldMessage& message : std::exchange(held, {})) {
        const QMessageLogContext context(nullptr, 0, nullptr, message.category.constData());
        if (previousHandler)
            previousHandler(message.type, context, message.text);
        else
            qt_message_output(message.type, context, message.text);
    }
}
