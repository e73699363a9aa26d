#include "errorreport.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>

#include <exception>
#include <new>

QString applicationTitle(const QString& executablePath)
{
    const QString name = QFileInfo(executablePath).fileName().section(u'.', 0, 0);
    return name.left(1) + name.mid(1).toLower();
}

void showErrorReport(const QString& message)
{
    // Over the window the user was working in, where there is one.
    QMessageBox report(QMessageBox::Critical, applicationTitle(QCoreApplication::applicationFilePath()),
                       message + u'.', QMessageBox::Ok, QApplication::activeWindow());
    report.setObjectName(QStringLiteral("errorReport"));
    report.setTextFormat(Qt::PlainText);
    report.exec();
}

void guard(const std::function<void()>& handler) noexcept
{
    try {
        handler();
    } catch (const std::bad_alloc&) {
        showErrorReport(QStringLiteral("メモリが足りません"));
    } catch (const std::exception& error) {
        showErrorReport(QString::fromUtf8(error.what()));
    } catch (...) {
        showErrorReport(QStringLiteral("不明なエラーが発生しました"));
    }
}
