#pragma once

#include "ui_Ushwflst.h"

#include <QWidget>

// The settings window and the program's main window. Its controls come from
// the layout; the five display settings live in them and nowhere else.
class ThjsForm : public QWidget, private Ui::ThjsForm {
    Q_OBJECT

public:
    explicit ThjsForm(QWidget* parent = nullptr);

private:
    // Event handlers. Each runs through the guard, which shows any error
    // that escapes it in the standard error report.
    void close_BtnClick(QObject* Sender);
    void kara_UDClick(QObject* Sender, TUDBtnType Button);
    void kara_UDMouseDown(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    void made_UDClick(QObject* Sender, TUDBtnType Button);
    void made_UDMouseDown(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    void FormCreate(QObject* Sender);

    bool LoadSettings();
    void SaveSettings();
    QString StepTime(const QString& S, qint16 Delta);
};

// The main window, created at start-up.
extern ThjsForm* hjsForm;

// The settings file, resolved against the current directory at each use.
extern QString SettingsFileName;
