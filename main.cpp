#include "Ushwflst.h"
#include "classicdesktop.h"
#include "commandline.h"
#include "language.h"
#include "startup.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    if (const std::optional<int> answered = answerCommandLine(argc, argv))
        return *answered;
    clearMessageLanguageList();
    useClassicDesktopLook();

    DisplayRequired display(NoDisplayMessage);
    QApplication application(argc, argv);
    display.reached();
    // Lets the desktop match the window to its desktop entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(SHOWFLST_APP_ID));
    installJapaneseQtTexts(application);

    ThjsForm form;
    hjsForm = &form;
    form.show();
    return QApplication::exec();
}
