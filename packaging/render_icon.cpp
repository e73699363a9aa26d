// Renders the application icon for the icon theme: the 32 x 32 image as it
// is, and a larger copy scaled by whole pixels so that it stays crisp.
//   render_icon ICON.xpm OUTPUT-DIRECTORY
#include <QDir>
#include <QImage>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: render_icon ICON.xpm OUTPUT-DIRECTORY\n");
        return 2;
    }
    const QImage icon(QString::fromLocal8Bit(argv[1]));
    if (icon.isNull()) {
        std::fprintf(stderr, "render_icon: cannot read %s\n", argv[1]);
        return 1;
    }
    const QDir output(QString::fromLocal8Bit(argv[2]));
    for (const int size : {32, 128}) {
        const QString name = QStringLiteral("%1x%1/showflst.png").arg(size);
        output.mkpath(QStringLiteral("%1x%1").arg(size));
        const QImage rendered = icon.scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        if (!rendered.save(output.filePath(name))) {
            std::fprintf(stderr, "render_icon: cannot write %s\n", qPrintable(output.filePath(name)));
            return 1;
        }
    }
    return 0;
}
