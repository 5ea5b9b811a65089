#include "app/Startup.h"
#include "library/NotesStore.h"
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

    LongLivedWindows windows(GetExePath(),
                             QGuiApplication::primaryScreen()->availableGeometry());
    TF_Main &main = windows.main;
    const TOption &option = windows.option;
    main.show();

    // Problems with the settings files are told once, after the window is up.
    QTimer::singleShot(0, &main, [&] {
        for (const QString &message : {option.damageMessage(), option.languageMessage(),
                                       main.notes()->startupMessage()})
            if (!message.isEmpty())
                QMessageBox::warning(&main, main.windowTitle(), message);
    });
    const int status = app.exec();
    // Transfer windows end with the program: their workers stop and their lines close.
    const QList<QWidget *> open = QApplication::topLevelWidgets();
    for (QWidget *w : open)
        if (w->testAttribute(Qt::WA_DeleteOnClose))
            delete w;
    return status;
}
