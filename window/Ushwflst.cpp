#include "Ushwflst.h"

#include "ui_Ushwflst.h"

#include "classicdesktop.h"
#include "errorreport.h"
#include "settingsfile.h"
#include "steptime.h"

#include <QCoreApplication>
#include <QPixmap>

// The application icon, 32 x 32 in 16 colours, compiled in: reading it
// needs no image-format plugin at start-up.
#include "icons/showflst.xpm"

ThjsForm* hjsForm = nullptr;
QString SettingsFileName;

namespace {

void checkModeButton(DisplayMode mode, QRadioButton* hyoji1, QRadioButton* hyoji2, QRadioButton* nohyoji)
{
    switch (mode) {
    case DisplayMode::Always:
        return hyoji1->setChecked(true);
    case DisplayMode::OnlyWhenFlagged:
        return hyoji2->setChecked(true);
    case DisplayMode::Never:
        return nohyoji->setChecked(true);
    }
}

DisplayMode checkedMode(const QRadioButton* hyoji1, const QRadioButton* hyoji2)
{
    if (hyoji1->isChecked())
        return DisplayMode::Always;
    return hyoji2->isChecked() ? DisplayMode::OnlyWhenFlagged : DisplayMode::Never;
}

} // namespace

ThjsForm::ThjsForm(QWidget* parent)
    : QWidget(parent)
{
    Ui::ThjsForm layout;
    layout.setupUi(this);
    GroupBox3 = layout.GroupBox3;
    dt_hyoji1_RBtn = layout.dt_hyoji1_RBtn;
    dt_hyoji2_RBtn = layout.dt_hyoji2_RBtn;
    dt_nohyoji_RBtn = layout.dt_nohyoji_RBtn;
    GroupBox5 = layout.GroupBox5;
    ck_hyoji1_RBtn = layout.ck_hyoji1_RBtn;
    ck_hyoji2_RBtn = layout.ck_hyoji2_RBtn;
    ck_nohyoji_RBtn = layout.ck_nohyoji_RBtn;
    GroupBox1 = layout.GroupBox1;
    kara_Edit = layout.kara_Edit;
    kara_UD = layout.kara_UD;
    kara_Lbl = layout.kara_Lbl;
    made_Edit = layout.made_Edit;
    made_UD = layout.made_UD;
    aida_Lbl = layout.aida_Lbl;
    ikkai_CBox = layout.ikkai_CBox;
    close_Btn = layout.close_Btn;

    setWindowIcon(QPixmap(showflst_icon));
    // 12-pixel characters, inherited by every control.
    QFont designed(installedFamilyFor(QStringLiteral("ＭＳ Ｐゴシック")));
    designed.setPixelSize(12);
    setFont(designed);
    placeAsDesigned(this, QPoint(194, 82));
    tabToCheckedRadioButtonOnly(GroupBox3);
    tabToCheckedRadioButtonOnly(GroupBox5);

    connect(close_Btn, &QPushButton::clicked, this, [this] { guard([this] { close_BtnClick(close_Btn); }); });
    connect(kara_UD, &UpDown::click, this,
            [this](TUDBtnType button) { guard([&] { kara_UDClick(kara_UD, button); }); });
    connect(kara_UD, &UpDown::mouseDown, this, [this](Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
        guard([&] { kara_UDMouseDown(kara_UD, button, shift, x, y); });
    });
    connect(made_UD, &UpDown::click, this,
            [this](TUDBtnType button) { guard([&] { made_UDClick(made_UD, button); }); });
    connect(made_UD, &UpDown::mouseDown, this, [this](Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
        guard([&] { made_UDMouseDown(made_UD, button, shift, x, y); });
    });
    connect(kara_Edit, &TimeField::stepRequested, this,
            [this](TimeStep step) { guard([&] { StepByKey(step, kara_Edit, kara_UD); }); });
    connect(made_Edit, &TimeField::stepRequested, this,
            [this](TimeStep step) { guard([&] { StepByKey(step, made_Edit, made_UD); }); });
    guard([this] { FormCreate(this); });
}

void ThjsForm::close_BtnClick(QObject*)
{
    SaveSettings();
    QCoreApplication::exit(0);
}

void ThjsForm::kara_UDClick(QObject*, TUDBtnType Button)
{
    StepField(kara_Edit, Button == TUDBtnType::btNext ? 1 : -1);
}

void ThjsForm::kara_UDMouseDown(QObject*, Qt::MouseButton Button, Qt::KeyboardModifiers, int, int)
{
    if (Button == Qt::RightButton)
        StepField(kara_Edit, 60);
}

void ThjsForm::made_UDClick(QObject*, TUDBtnType Button)
{
    StepField(made_Edit, Button == TUDBtnType::btNext ? 1 : -1);
}

void ThjsForm::made_UDMouseDown(QObject*, Qt::MouseButton Button, Qt::KeyboardModifiers, int, int)
{
    if (Button == Qt::RightButton)
        StepField(made_Edit, 60);
}

void ThjsForm::FormCreate(QObject*)
{
    SettingsFileName = QStringLiteral("showflst.dat");
    LoadSettings();
}

bool ThjsForm::LoadSettings()
{
    return readSettingsFile(SettingsFileName, {
        .fromTime = [this](const QByteArray& text) { kara_Edit->setBytes(text); },
        .toTime = [this](const QByteArray& text) { made_Edit->setBytes(text); },
        .showOnce = [this](bool yes) { ikkai_CBox->setChecked(yes); },
        .dataFileMode = [this](DisplayMode mode) {
            checkModeButton(mode, dt_hyoji1_RBtn, dt_hyoji2_RBtn, dt_nohyoji_RBtn);
        },
        .checkFileMode = [this](DisplayMode mode) {
            checkModeButton(mode, ck_hyoji1_RBtn, ck_hyoji2_RBtn, ck_nohyoji_RBtn);
        },
    });
}

void ThjsForm::SaveSettings()
{
    writeSettingsFile(SettingsFileName, {
        .fromTime = kara_Edit->bytes(),
        .toTime = made_Edit->bytes(),
        .showOnce = ikkai_CBox->isChecked(),
        .dataFileMode = checkedMode(dt_hyoji1_RBtn, dt_hyoji2_RBtn),
        .checkFileMode = checkedMode(ck_hyoji1_RBtn, ck_hyoji2_RBtn),
    });
}

QString ThjsForm::StepTime(const QString& S, qint16 Delta)
{
    return ::StepTime(S, Delta);
}

void ThjsForm::StepField(TimeField* Field, qint16 Delta)
{
    Field->setBytes(StepTime(Field->decodedText(), Delta).toLatin1());
}

void ThjsForm::StepByKey(TimeStep Step, TimeField* Field, UpDown* Beside)
{
    switch (Step) {
    case TimeStep::MinuteForward:
        return Beside->press(Qt::LeftButton, TUDBtnType::btNext);
    case TimeStep::MinuteBack:
        return Beside->press(Qt::LeftButton, TUDBtnType::btPrev);
    case TimeStep::HourForward:
        return Beside->press(Qt::RightButton, TUDBtnType::btNext);
    case TimeStep::HourBack:
        return StepField(Field, -60);
    }
}
