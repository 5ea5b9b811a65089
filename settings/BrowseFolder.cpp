#include "settings/BrowseFolder.h"

#include "settings/WindowPlace.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QTimer>

QString BrowseFolder(const QString &prompt, const QString &startFolder, int options)
{
    Q_UNUSED(options);
    QWidget *owner = QApplication::activeWindow();
    QFileDialog chooser(owner, prompt);
    chooser.setFileMode(QFileDialog::Directory);
    chooser.setOption(QFileDialog::ShowDirsOnly);
    // The platform's own dialog cannot be placed by the program.
    chooser.setOption(QFileDialog::DontUseNativeDialog);
    if (!startFolder.isEmpty())
        chooser.setDirectory(startFolder);
    QTimer::singleShot(0, &chooser, [&chooser] { WindowPlace::centre(&chooser); });
    if (chooser.exec() != QDialog::Accepted)
        return {};
    const QStringList chosen = chooser.selectedFiles();
    return chosen.isEmpty() ? QString() : QDir::toNativeSeparators(chosen.first());
}
