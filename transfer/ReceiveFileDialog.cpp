#include "transfer/ReceiveFileDialog.h"

#include "settings/PortProfile.h"
#include "transfer/ReceiveTransport.h"
#include "transfer/SerialLine.h"
#include "transfer/SerialLineFactory.h"

#include <QDir>
#include <QFileDialog>

namespace
{
// "*.nc" gives "nc"; patterns without one fixed extension give none.
QString suffixOf(const QString &pattern)
{
    if (!pattern.startsWith(QStringLiteral("*.")))
        return {};
    const QString suffix = pattern.mid(2);
    if (suffix.contains(QLatin1Char('*')) || suffix.contains(QLatin1Char('?')) ||
        suffix.contains(QLatin1Char(';')))
        return {};
    return suffix;
}
} // namespace

void configureReceiveSaveDialog(QFileDialog &dialog, const QStringList &extItems, int selectedExt,
                                const QString &folder)
{
    const auto types = ReceiveFileList::fileTypes(extItems);
    QStringList filters;
    QStringList suffixes;
    for (const auto &type : types) {
        filters << type.first + QStringLiteral(" (") + type.second + QLatin1Char(')');
        suffixes << suffixOf(type.second);
    }
    if (filters.isEmpty()) {
        filters << QFileDialog::tr("All files (*)");
        suffixes << QString();
    }
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.setNameFilters(filters);
    dialog.setDirectory(folder);
    dialog.selectFile(QString());
    const int index = selectedExt >= 0 && selectedExt < filters.size() ? selectedExt : 0;
    dialog.selectNameFilter(filters[index]);
    dialog.setDefaultSuffix(suffixes[index]);
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog, filters, suffixes](const QString &filter) {
                         dialog.setDefaultSuffix(suffixes.value(filters.indexOf(filter)));
                     });
}

TReceiveTransport *ReadFileDialog(const ReceiveRequest &request, QWidget *dialogParent)
{
    const PortProfile profile = PortProfile::fromText(request.portSetting);
    auto *window = new TReceiveTransport(makeSerialLine(profile.port()));
    window->setLanguage(request.language);
    if (!window->setPortSetting(profile)) {
        delete window;
        return nullptr;
    }
    QFileDialog dialog(dialogParent);
    configureReceiveSaveDialog(dialog, request.extItems, request.selectedExt, request.folder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        delete window;
        return nullptr;
    }
    window->setFileName(dialog.selectedFiles().constFirst());
    QString folder = QDir::fromNativeSeparators(request.folder);
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    window->setSelectPathExt(QDir::toNativeSeparators(folder), request.extText);
    window->setFileListHooks(request.hooks);
    window->show();
    return window;
}
