#include "updown.h"

#include "accessibility.h"

#include <QMouseEvent>
#include <QStyleOption>
#include <QStylePainter>

#include <algorithm>

UpDown::UpDown(QWidget* parent)
    : QWidget(parent)
{
    installToolkitAccessibility();
    // Like its original, the up-down is no tab stop.
    setFocusPolicy(Qt::NoFocus);
}

void UpDown::setMinimum(int minimum)
{
    minimum_ = minimum;
    maximum_ = std::max(maximum_, minimum_);
    position_ = std::clamp(position_, minimum_, maximum_);
}

void UpDown::setMaximum(int maximum)
{
    maximum_ = maximum;
    minimum_ = std::min(minimum_, maximum_);
    position_ = std::clamp(position_, minimum_, maximum_);
}

void UpDown::setPosition(int position)
{
    position_ = std::clamp(position, minimum_, maximum_);
}

QSize UpDown::sizeHint() const
{
    return {16, 20};
}

TUDBtnType UpDown::arrowAt(QPoint point) const
{
    return point.y() < height() / 2 ? TUDBtnType::btNext : TUDBtnType::btPrev;
}

QRect UpDown::arrowRect(TUDBtnType arrow) const
{
    const int half = height() / 2;
    return arrow == TUDBtnType::btNext ? QRect(0, 0, width(), half) : QRect(0, half, width(), height() - half);
}

void UpDown::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    for (const TUDBtnType arrow : {TUDBtnType::btNext, TUDBtnType::btPrev}) {
        QStyleOptionButton option;
        option.initFrom(this);
        option.rect = arrowRect(arrow);
        const bool sunken = pressed_ == arrow && pointerOnPressed_;
        option.state |= sunken ? QStyle::State_Sunken : QStyle::State_Raised;
        painter.drawPrimitive(QStyle::PE_PanelButtonCommand, option);
        painter.drawPrimitive(arrow == TUDBtnType::btNext ? QStyle::PE_IndicatorSpinUp : QStyle::PE_IndicatorSpinDown,
                              option);
    }
}

void UpDown::mousePressEvent(QMouseEvent* event)
{
    pressWithMouse(event);
}

// The second press of a double click is a press like any other.
void UpDown::mouseDoubleClickEvent(QMouseEvent* event)
{
    pressWithMouse(event);
}

void UpDown::press(Qt::MouseButton button, TUDBtnType arrow)
{
    const QPoint at = arrowRect(arrow).center();
    emit mouseDown(button, Qt::NoModifier, at.x(), at.y());
    if (button == Qt::LeftButton)
        step(arrow);
}

void UpDown::pressWithMouse(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    emit mouseDown(event->button(), event->modifiers(), at.x(), at.y());
    if (event->button() != Qt::LeftButton)
        return;
    pressed_ = arrowAt(at);
    pointerOnPressed_ = true;
    update();
    repeat_.start(style()->styleHint(QStyle::SH_SpinBox_ClickAutoRepeatThreshold, nullptr, this), this);
    step(*pressed_);
}

void UpDown::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        stopRepeating();
}

void UpDown::mouseMoveEvent(QMouseEvent* event)
{
    if (!pressed_)
        return;
    const bool onPressed = arrowRect(*pressed_).contains(event->position().toPoint());
    if (onPressed != pointerOnPressed_) {
        pointerOnPressed_ = onPressed;
        update();
    }
}

void UpDown::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != repeat_.timerId())
        return QWidget::timerEvent(event);
    // A window that lost activation, to an error report say, never sees the
    // release of the button: stop repeating then, or the steps would go on.
    if (!isActiveWindow())
        return stopRepeating();
    repeat_.start(style()->styleHint(QStyle::SH_SpinBox_ClickAutoRepeatRate, nullptr, this), this);
    if (pressed_ && pointerOnPressed_)
        step(*pressed_);
}

void UpDown::hideEvent(QHideEvent* event)
{
    stopRepeating();
    QWidget::hideEvent(event);
}

void UpDown::stopRepeating()
{
    repeat_.stop();
    if (pressed_) {
        pressed_.reset();
        update();
    }
}

void UpDown::step(TUDBtnType arrow)
{
    int next = position_ + (arrow == TUDBtnType::btNext ? 1 : -1);
    if (next > maximum_ || next < minimum_) {
        if (!wrap_)
            return;
        next = next > maximum_ ? minimum_ : maximum_;
    }
    position_ = next;
    emit click(arrow);
}
