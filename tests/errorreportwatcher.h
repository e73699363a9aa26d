#pragma once

#include <QApplication>
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
    };

    explicit ErrorReportWatcher(const QWidget* watched = nullptr)
        : watched_(watched)
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
        reports.append({box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
                        watched_ && watched_->isVisible()});
        if (QAbstractButton* ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->reject();
    }

    const QWidget* watched_;
    QTimer timer_;
};
