// The baseline: an empty Qt Widgets window of the same size and place as the
// settings window, with one push button where its close button is, which
// ends the program.
#include <QApplication>
#include <QPushButton>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("empty window"));
    window.setGeometry(194, 82, 347, 385);
    auto* close = new QPushButton(QStringLiteral("Close"), &window);
    close->setGeometry(245, 327, 75, 25);
    QObject::connect(close, &QPushButton::clicked, &application, [] { QCoreApplication::exit(0); });
    window.show();
    return QApplication::exec();
}
