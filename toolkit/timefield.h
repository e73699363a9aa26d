#pragma once

#include <QByteArray>
#include <QLineEdit>

// A step the keyboard asks of a time field.
enum class TimeStep {
    MinuteForward, // Up arrow
    MinuteBack,    // Down arrow
    HourForward,   // Page Up
    HourBack,      // Page Down
};

// A read-only field for a time text. Its value is the bytes it was given,
// kept exactly as they came; it shows them decoded (UTF-8, else Shift_JIS,
// else Latin-1), at most the first ShownBytes of them. Only the program
// changes it: the user can select and copy but not type, paste, delete or
// drop, and assistive technology reads it as read-only text it cannot set.
// With the field focused, the arrow keys and Page Up and Page Down ask for a
// step; the field itself never changes on a key.
class TimeField : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(QByteArray bytes READ bytes WRITE setBytes)

public:
    static constexpr qsizetype ShownBytes = 1024;

    explicit TimeField(QWidget* parent = nullptr);

    const QByteArray& bytes() const { return bytes_; }
    void setBytes(const QByteArray& bytes);

    // All of the bytes, decoded as they are shown.
    QString decodedText() const;

signals:
    void stepRequested(TimeStep step);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // What is shown follows the bytes alone.
    using QLineEdit::setText;

    QByteArray bytes_;
};
