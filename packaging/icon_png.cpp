// Renders the program's SVG icon as a square PNG of the given size, for the desktops and
// software centres that want pixel icons beside the scalable one.
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    bool ok = false;
    const int size = args.value(3).toInt(&ok);
    if (args.size() != 4 || !ok || size < 16 || size > 1024) {
        std::fputs("usage: ncferry_icon_png ICON.svg OUT.png SIZE\n", stderr);
        return 1;
    }
    QSvgRenderer svg(args.at(1));
    if (!svg.isValid()) {
        std::fprintf(stderr, "ncferry_icon_png: cannot read %s\n", qPrintable(args.at(1)));
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    svg.render(&painter);
    painter.end();
    if (!image.save(args.at(2), "PNG")) {
        std::fprintf(stderr, "ncferry_icon_png: cannot write %s\n", qPrintable(args.at(2)));
        return 1;
    }
    return 0;
}
