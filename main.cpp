#include "Ushwflst.h"
#include "classicdesktop.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    useClassicDesktopLook();

    ThjsForm form;
    hjsForm = &form;
    form.show();
    return QApplication::exec();
}
