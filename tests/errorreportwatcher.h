#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

// Watches for the standard error report, records what it shows and dismisses
// it with its OK button, so that a test can observe a modal report.
class ErrorReportWatcher : public QObject {
public:
    struct Report {
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        bool windowWasVisible = false; // whether `watched` was on screen then
        const QWidget* parent = nullptr;
    };

    // Each report is dismissed `dismissAfter` ms after it appeared.
    explicit ErrorReportWatcher(const QWidget* watched = nullptr, int dismissAfter = 0)
        : watched_(watched)
        , dismissAfter_(dismissAfter)
    {
        timer_.callOnTimeout(this, &ErrorReportWatcher::poll);
        timer_.start(5);
    }

    QList<Report> reports;

private:
    void poll()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        if (box != seen_) {
            seen_ = box;
            shownFor_.start();
            reports.append({box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
                            watched_ && watched_->isVisible(), box->parentWidget()});
        }
        if (shownFor_.elapsed() < dismissAfter_)
            return;
        seen_ = nullptr;
        if (QAbstractButton* ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->reject();
    }

    const QWidget* watched_;
    int dismissAfter_;
    const QMessageBox* seen_ = nullptr;
    QElapsedTimer shownFor_;
    QTimer timer_;
};
