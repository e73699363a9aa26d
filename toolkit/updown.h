#pragma once

#include <QBasicTimer>
#include <QWidget>

#include <optional>

// Which arrow of an up-down moved it: the up arrow steps to the next
// position, the down arrow to the previous one.
enum class TUDBtnType { btNext, btPrev };

// The common-controls up-down: an up arrow over a down arrow, standing beside
// a field it does not know. Every left press on an arrow steps once and
// raises click(); holding the button repeats like a spin box. Every press of
// any mouse button raises mouseDown(). The position and its range are kept as
// the original control keeps them, but nothing shows them. It is no tab stop;
// assistive technology reaches it through its actions, and the keyboard
// through whatever field it stands beside (see press()).
class UpDown : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int minimum READ minimum WRITE setMinimum)
    Q_PROPERTY(int maximum READ maximum WRITE setMaximum)
    Q_PROPERTY(int position READ position WRITE setPosition)
    Q_PROPERTY(bool wrap READ wrap WRITE setWrap)

public:
    explicit UpDown(QWidget* parent = nullptr);

    int minimum() const { return minimum_; }
    void setMinimum(int minimum);
    int maximum() const { return maximum_; }
    void setMaximum(int maximum);
    int position() const { return position_; }
    void setPosition(int position);
    bool wrap() const { return wrap_; }
    void setWrap(bool wrap) { wrap_ = wrap; }

    QSize sizeHint() const override;

    // What a press of `button` on `arrow` does, without the repeat of a held
    // button: mouseDown() at the arrow's centre, then, for the left button,
    // one step. For the keyboard and assistive technology.
    void press(Qt::MouseButton button, TUDBtnType arrow);

signals:
    void click(TUDBtnType button);
    void mouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    TUDBtnType arrowAt(QPoint point) const;
    QRect arrowRect(TUDBtnType arrow) const;
    void pressWithMouse(QMouseEvent* event);
    void step(TUDBtnType arrow);
    void stopRepeating();

    int minimum_ = 0;
    int maximum_ = 100;
    int position_ = 0;
    bool wrap_ = false;
    std::optional<TUDBtnType> pressed_;
    bool pointerOnPressed_ = false;
    QBasicTimer repeat_;
};
