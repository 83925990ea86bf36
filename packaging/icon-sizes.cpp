// Writes each image of the launcher's icon file as DIR/NxN.png, for the desktop's icon theme.
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QImageReader>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream err(stderr);
    if (args.size() != 3) {
        err << "usage: icon-sizes ICON.ico OUT_DIR\n";
        return 2;
    }
    QImageReader reader(args.at(1), "ico");
    if (!reader.canRead()) {
        err << "icon-sizes: cannot read " << args.at(1) << ": " << reader.errorString() << '\n';
        return 1;
    }
    if (!QDir().mkpath(args.at(2))) {
        err << "icon-sizes: cannot create " << args.at(2) << '\n';
        return 1;
    }
    int written = 0;
    for (int i = 0; i < reader.imageCount(); ++i) {
        if (!reader.jumpToImage(i))
            break;
        const QImage image = reader.read();
        // An icon theme holds square images only, one per size.
        if (image.isNull() || image.width() != image.height())
            continue;
        const QString name = QStringLiteral("%1/%2x%2.png").arg(args.at(2)).arg(image.width());
        if (!image.save(name, "PNG")) {
            err << "icon-sizes: cannot write " << name << '\n';
            return 1;
        }
        ++written;
    }
    if (written == 0) {
        err << "icon-sizes: no square image in " << args.at(1) << '\n';
        return 1;
    }
    return 0;
}
