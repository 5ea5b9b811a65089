#include "app/About.h"
#include "app/MainWindow.h"
#include "settings/Option.h"
#include "settings/UnitFunction.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("NCFerry"));
    QApplication::setApplicationVersion(QStringLiteral(NCFERRY_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);

    const QString base = GetExePath();
    TF_Main main(base);
    TAbout about;
    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    TOption option(base, work);
    main.setOption(&option);
    main.setAbout(&about);
    main.show();

    // Problems with the settings files are told once, after the window is up.
    QTimer::singleShot(0, &main, [&] {
        for (const QString &message : {option.damageMessage(), option.languageMessage()})
            if (!message.isEmpty())
                QMessageBox::warning(&main, main.windowTitle(), message);
    });
    return app.exec();
}
