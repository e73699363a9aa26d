#include "Ushwflst.h"

#include "classicdesktop.h"
#include "errorreport.h"
#include "settingsfile.h"
#include "steptime.h"

#include <QCoreApplication>
#include <QPixmap>
#include <QStringDecoder>

// The application icon, 32 x 32 in 16 colours, compiled in: reading it
// needs no image-format plugin at start-up.
#include "icons/showflst.xpm"

ThjsForm* hjsForm = nullptr;
QString SettingsFileName;

namespace {

// A time field shows its text decoded for display, and keeps the bytes it was
// given beside it: a time that is never stepped is saved exactly as it was
// read, whatever encoding or bytes it holds and however long it is.
constexpr char TimeBytesProperty[] = "timeBytes";

QString decodedForDisplay(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    // Not UTF-8: most likely written on a Japanese system in Shift_JIS.
    QStringDecoder shiftJis("Shift_JIS");
    if (shiftJis.isValid()) {
        QString japanese = shiftJis(bytes);
        if (!shiftJis.hasError())
            return japanese;
    }
    return QString::fromLatin1(bytes);
}

void setTimeField(QLineEdit* field, const QByteArray& bytes)
{
    field->setText(decodedForDisplay(bytes));
    field->setProperty(TimeBytesProperty, bytes);
}

QByteArray timeFieldBytes(const QLineEdit* field)
{
    const QVariant bytes = field->property(TimeBytesProperty);
    return bytes.isValid() ? bytes.toByteArray() : field->text().toUtf8();
}

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
    setupUi(this);
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
    guard([this] { FormCreate(this); });
}

void ThjsForm::close_BtnClick(QObject*)
{
    SaveSettings();
    QCoreApplication::exit(0);
}

void ThjsForm::kara_UDClick(QObject*, TUDBtnType Button)
{
    setTimeField(kara_Edit, StepTime(kara_Edit->text(), Button == TUDBtnType::btNext ? 1 : -1).toLatin1());
}

void ThjsForm::kara_UDMouseDown(QObject*, Qt::MouseButton Button, Qt::KeyboardModifiers, int, int)
{
    if (Button == Qt::RightButton)
        setTimeField(kara_Edit, StepTime(kara_Edit->text(), 60).toLatin1());
}

void ThjsForm::made_UDClick(QObject*, TUDBtnType Button)
{
    setTimeField(made_Edit, StepTime(made_Edit->text(), Button == TUDBtnType::btNext ? 1 : -1).toLatin1());
}

void ThjsForm::made_UDMouseDown(QObject*, Qt::MouseButton Button, Qt::KeyboardModifiers, int, int)
{
    if (Button == Qt::RightButton)
        setTimeField(made_Edit, StepTime(made_Edit->text(), 60).toLatin1());
}

void ThjsForm::FormCreate(QObject*)
{
    SettingsFileName = QStringLiteral("showflst.dat");
    LoadSettings();
}

bool ThjsForm::LoadSettings()
{
    return readSettingsFile(SettingsFileName, {
        .fromTime = [this](const QByteArray& text) { setTimeField(kara_Edit, text); },
        .toTime = [this](const QByteArray& text) { setTimeField(made_Edit, text); },
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
        .fromTime = timeFieldBytes(kara_Edit),
        .toTime = timeFieldBytes(made_Edit),
        .showOnce = ikkai_CBox->isChecked(),
        .dataFileMode = checkedMode(dt_hyoji1_RBtn, dt_hyoji2_RBtn),
        .checkFileMode = checkedMode(ck_hyoji1_RBtn, ck_hyoji2_RBtn),
    });
}

QString ThjsForm::StepTime(const QString& S, qint16 Delta)
{
    return ::StepTime(S, Delta);
}
