#include "timefield.h"

#include "accessibility.h"

#include <QKeyEvent>
#include <QStringDecoder>

namespace {

QString decodedForDisplay(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    // Not UTF-8: most likely written on a Japanese system in Shift_JIS.
    QStringDecoder shiftJis("Shift_JIS");
    if (shiftJis.isValid()) {
        QString japanese = shiftJis(bytes);
        if (!shiftJis.hasError())
            return japanese;
    }
    return QString::fromLatin1(bytes);
}

} // namespace

TimeField::TimeField(QWidget* parent)
    : QLineEdit(parent)
{
    installToolkitAccessibility();
    setReadOnly(true);
    setAcceptDrops(false);
}

void TimeField::setBytes(const QByteArray& bytes)
{
    bytes_ = bytes;
    // A stateful decoder leaves a character cut at the end of the shown part
    // undecoded instead of calling it an error.
    const bool cut = bytes.size() > ShownBytes;
    const QString shown = decodedForDisplay(QByteArrayView(bytes).first(std::min(bytes.size(), ShownBytes)));
    QLineEdit::setText(cut ? shown + QChar(0x2026) : shown);
    // A read-only field shows no caret: its text stays selected while it has
    // the focus, so that the focus can be seen after every step.
    if (hasFocus())
        selectAll();
    else
        setCursorPosition(0);
}

QString TimeField::decodedText() const
{
    return decodedForDisplay(bytes_);
}

void TimeField::keyPressEvent(QKeyEvent* event)
{
    if ((event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        switch (event->key()) {
        case Qt::Key_Up:
            return emit stepRequested(TimeStep::MinuteForward);
        case Qt::Key_Down:
            return emit stepRequested(TimeStep::MinuteBack);
        case Qt::Key_PageUp:
            return emit stepRequested(TimeStep::HourForward);
        case Qt::Key_PageDown:
            return emit stepRequested(TimeStep::HourBack);
        default:
            break;
        }
    }
    QLineEdit::keyPressEvent(event);
}
