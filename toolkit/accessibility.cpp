#include "accessibility.h"

#include "timefield.h"
#include "updown.h"

#include <QAccessibleWidget>
#include <QDialog>
#include <QStyle>
#include <QStyleOptionFrame>

const char* const HourForwardAction = "1時間進める";

namespace {

class AccessibleUpDown : public QAccessibleWidget {
public:
    explicit AccessibleUpDown(UpDown* upDown)
        : QAccessibleWidget(upDown, QAccessible::SpinBox)
    {
    }

    QStringList actionNames() const override
    {
        return {increaseAction(), decreaseAction(), QString::fromUtf8(HourForwardAction)};
    }

    QString localizedActionName(const QString& name) const override
    {
        if (name == increaseAction())
            return QStringLiteral("1分進める");
        if (name == decreaseAction())
            return QStringLiteral("1分戻す");
        return name;
    }

    QString localizedActionDescription(const QString& name) const override
    {
        if (name == increaseAction())
            return QStringLiteral("上の矢印を左クリックしたのと同じです");
        if (name == decreaseAction())
            return QStringLiteral("下の矢印を左クリックしたのと同じです");
        if (name == QString::fromUtf8(HourForwardAction))
            return QStringLiteral("右クリックしたのと同じです");
        return {};
    }

    QStringList keyBindingsForAction(const QString&) const override { return {}; }

    // The press is queued: the assistive technology's request returns at
    // once, and an error report the press may open does not hold it.
    void doAction(const QString& name) override
    {
        auto* upDown = static_cast<UpDown*>(widget());
        const auto queue = [upDown](Qt::MouseButton button, TUDBtnType arrow) {
            QMetaObject::invokeMethod(upDown, [upDown, button, arrow] { upDown->press(button, arrow); },
                                      Qt::QueuedConnection);
        };
        if (name == increaseAction())
            queue(Qt::LeftButton, TUDBtnType::btNext);
        else if (name == decreaseAction())
            queue(Qt::LeftButton, TUDBtnType::btPrev);
        else if (name == QString::fromUtf8(HourForwardAction))
            queue(Qt::RightButton, TUDBtnType::btNext);
    }
};

// Text that can be read, selected and copied, and never changed: there is no
// editable-text interface, and the value cannot be set.
class AccessibleTimeField : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit AccessibleTimeField(TimeField* field)
        : QAccessibleWidget(field, QAccessible::EditableText)
    {
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        if (type == QAccessible::EditableTextInterface || type == QAccessible::ValueInterface)
            return nullptr;
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = true;
        state.editable = false;
        state.selectableText = true;
        return state;
    }

    QString text(QAccessible::Text type) const override
    {
        if (type == QAccessible::Value)
            return field()->text();
        return QAccessibleWidget::text(type);
    }

    void setText(QAccessible::Text, const QString&) override {}

    void selection(int index, int* start, int* end) const override
    {
        *start = *end = 0;
        if (index == 0 && field()->hasSelectedText()) {
            *start = field()->selectionStart();
            *end = *start + field()->selectionLength();
        }
    }
    int selectionCount() const override { return field()->hasSelectedText() ? 1 : 0; }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int index) override
    {
        if (index == 0)
            field()->deselect();
    }
    void setSelection(int index, int start, int end) override
    {
        if (index == 0)
            field()->setSelection(start, end - start);
    }

    int cursorPosition() const override { return field()->cursorPosition(); }
    void setCursorPosition(int position) override { field()->setCursorPosition(position); }

    QString text(int start, int end) const override
    {
        const QString text = field()->text();
        start = std::clamp(start, 0, int(text.size()));
        end = end < 0 ? int(text.size()) : std::clamp(end, start, int(text.size()));
        return text.mid(start, end - start);
    }
    int characterCount() const override { return int(field()->text().size()); }

    // Where a character is drawn, in screen coordinates, as the line edit
    // lays out a text that fits it (time texts do).
    QRect characterRect(int offset) const override
    {
        const QString text = field()->text();
        if (offset < 0 || offset >= text.size())
            return {};
        QStyleOptionFrame option;
        option.initFrom(field());
        option.lineWidth = field()->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, field());
        const QRect contents = field()->style()->subElementRect(QStyle::SE_LineEditContents, &option, field())
                                   .marginsRemoved(field()->textMargins());
        const QFontMetrics metrics = field()->fontMetrics();
        constexpr int HorizontalMargin = 2; // QLineEdit's own, left of its text
        const QRect local(contents.left() + HorizontalMargin + metrics.horizontalAdvance(text.left(offset)),
                          contents.top() + (contents.height() - metrics.height()) / 2,
                          metrics.horizontalAdvance(text.at(offset)), metrics.height());
        return {field()->mapToGlobal(local.topLeft()), local.size()};
    }
    int offsetAtPoint(const QPoint& point) const override
    {
        return field()->cursorPositionAt(field()->mapFromGlobal(point));
    }

    void scrollToSubstring(int, int end) override { field()->setCursorPosition(end); }

    QString attributes(int, int* start, int* end) const override
    {
        *start = 0;
        *end = characterCount();
        return {};
    }

private:
    TimeField* field() const { return static_cast<TimeField*>(widget()); }
};

QAccessibleInterface* toolkitInterface(const QString& className, QObject* object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    if (className == QLatin1StringView("UpDown"))
        return new AccessibleUpDown(static_cast<UpDown*>(widget));
    if (className == QLatin1StringView("TimeField"))
        return new AccessibleTimeField(static_cast<TimeField*>(widget));
    // A plain window, not a dialog (Qt announces those itself).
    if (className == QLatin1StringView("QWidget") && widget->isWindow() && !qobject_cast<QDialog*>(widget))
        return new QAccessibleWidget(widget, QAccessible::Window);
    return nullptr;
}

} // namespace

void installToolkitAccessibility()
{
    static const bool installed = (QAccessible::installFactory(toolkitInterface), true);
    Q_UNUSED(installed)
}
