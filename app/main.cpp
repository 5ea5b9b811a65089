#include "app/About.h"
#include "app/MainWindow.h"
#include "settings/GeneralSettings.h"
#include "settings/Option.h"
#include "settings/UnitFunction.h"
#include "transfer/TransferSettings.h"

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
    // Start order: the main window (and its notes database), the long-lived dialogs, then
    // the option store, which reads Option.ini and the language pack.
    TF_Main main(base);
    TGeneralSettings general(base);
    TTransferSettings transfer(&main.portList());
    TAbout about;
    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    TOption option(base, work);
    general.setOption(&option);
    transfer.setOption(&option);
    main.setGeneralSettings(&general);
    main.setTransferSettings(&transfer);
    main.setOption(&option);
    main.setAbout(&about);
    main.show();

    // Problems with the settings files are told once, after the window is up.
    QTimer::singleShot(0, &main, [&] {
        for (const QString &message : {option.damageMessage(), option.languageMessage()})
            if (!message.isEmpty())
                QMessageBox::warning(&main, main.windowTitle(), message);
    });
    const int status = app.exec();
    // Transfer windows end with the program: their workers stop and their lines close.
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows)
        if (w->testAttribute(Qt::WA_DeleteOnClose))
            delete w;
    return status;
}
