#include "app/StartWindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("NCFerry"));
    QApplication::setApplicationVersion(QStringLiteral(NCFERRY_VERSION));
    StartWindow window;
    window.show();
    return app.exec();
}
