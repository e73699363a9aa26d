#include "classicdesktop.h"

#include <QApplication>
#include <QEvent>
#include <QFontDatabase>
#include <QHash>
#include <QRadioButton>
#include <QWidget>

namespace {

// Follows a window until the window system reports its frame, then sets the
// client size so that the outer size is the designed one.
class OuterSizeKeeper : public QObject {
public:
    OuterSizeKeeper(QWidget* window, QSize outerSize)
        : QObject(window)
        , window_(window)
        , outerSize_(outerSize)
    {
        window->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const auto type = event->type();
        if (watched == window_ && (type == QEvent::Move || type == QEvent::Resize || type == QEvent::Show)) {
            const QSize frame = window_->frameGeometry().size() - window_->size();
            if (frame != QSize(0, 0)) {
                // The controls' margins at the left and top, repeated at the
                // right and bottom, is the least the client area may have.
                const QRect controls = window_->childrenRect();
                const QSize needed(controls.x() * 2 + controls.width(), controls.y() * 2 + controls.height());
                window_->resize((outerSize_ - frame).expandedTo(needed));
                window_->removeEventFilter(this);
                deleteLater();
            }
        }
        return false;
    }

private:
    QWidget* window_;
    QSize outerSize_;
};

} // namespace

void useClassicDesktopLook()
{
    QApplication::setStyle(QStringLiteral("Windows"));
}

QString installedFamilyFor(const QString& family)
{
    // Fonts made to stand in for the classic desktop's, best match first.
    static const QHash<QString, QStringList> standIns = {
        {QStringLiteral("ＭＳ Ｐゴシック"),
         {QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"), QStringLiteral("VL PGothic"),
          QStringLiteral("TakaoPGothic"), QStringLiteral("Noto Sans CJK JP")}},
    };
    if (QFontDatabase::hasFamily(family))
        return family;
    for (const QString& standIn : standIns.value(family))
        if (QFontDatabase::hasFamily(standIn))
            return standIn;
    return family;
}

void placeAsDesigned(QWidget* window, QPoint framePosition)
{
    window->move(framePosition);
    new OuterSizeKeeper(window, window->size());
}

void tabToCheckedRadioButtonOnly(QWidget* parent)
{
    for (QRadioButton* button : parent->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly)) {
        const auto follow = [button](bool checked) {
            button->setFocusPolicy(checked ? Qt::StrongFocus : Qt::ClickFocus);
        };
        follow(button->isChecked());
        QObject::connect(button, &QAbstractButton::toggled, button, follow);
    }
}
