#pragma once

#include "timefield.h"
#include "updown.h"

#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

// The settings window and the program's main window. Its controls come from
// the layout (Ushwflst.ui); the five display settings live in them and
// nowhere else.
class ThjsForm : public QWidget {
    Q_OBJECT

public:
    explicit ThjsForm(QWidget* parent = nullptr);

private:
    QGroupBox* GroupBox3;
    QRadioButton* dt_hyoji1_RBtn;
    QRadioButton* dt_hyoji2_RBtn;
    QRadioButton* dt_nohyoji_RBtn;
    QGroupBox* GroupBox5;
    QRadioButton* ck_hyoji1_RBtn;
    QRadioButton* ck_hyoji2_RBtn;
    QRadioButton* ck_nohyoji_RBtn;
    QGroupBox* GroupBox1;
    TimeField* kara_Edit;
    UpDown* kara_UD;
    QLabel* kara_Lbl;
    TimeField* made_Edit;
    UpDown* made_UD;
    QLabel* aida_Lbl;
    QCheckBox* ikkai_CBox;
    QPushButton* close_Btn;

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

    // The stepping the handlers share: the field's time, moved by Delta.
    void StepField(TimeField* Field, qint16 Delta);
    // A step key on a time field, done as the mouse does it on the up-down
    // beside it; Page Down, which no mouse button gives, steps an hour back.
    void StepByKey(TimeStep Step, TimeField* Field, UpDown* Beside);
};

// The main window, created at start-up.
extern ThjsForm* hjsForm;

// The settings file, resolved against the current directory at each use.
extern QString SettingsFileName;
