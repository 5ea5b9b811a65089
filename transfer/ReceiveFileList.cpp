#include "transfer/ReceiveFileList.h"

#include "settings/CommaText.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace ReceiveFileList
{

namespace
{
QString withTrailingSeparator(const QString &folder)
{
    QString f = QDir::fromNativeSeparators(folder);
    if (!f.endsWith(QLatin1Char('/')))
        f += QLatin1Char('/');
    return f;
}
} // namespace

bool shouldAdd(const QString &storedPath, const QString &selectPath, const QString &selectExt,
               const QString &portExtension, bool alreadyListed)
{
    const QFileInfo info(storedPath);
    const QString folder = withTrailingSeparator(QDir::fromNativeSeparators(info.path()));
    return folder == withTrailingSeparator(selectPath) && selectExt == portExtension &&
           info.exists() && !alreadyListed;
}

QStringList row(const QString &storedPath, const QString &note)
{
    const QFileInfo info(storedPath);
    QStringList values{info.fileName(),
                       info.lastModified().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                       QString::number(info.size()), note};
    const QString picture = info.dir().filePath(info.completeBaseName() + QStringLiteral(".jpg"));
    if (QFileInfo::exists(picture))
        values << QStringLiteral("Y");
    return values;
}

bool offer(const Hooks &hooks, const QString &storedPath, const QString &selectPath,
           const QString &selectExt, const QString &portExtension)
{
    if (!hooks.addFileData)
        return false;
    const QString name = QFileInfo(storedPath).fileName();
    const bool listed = hooks.isListed && hooks.isListed(name);
    if (!shouldAdd(storedPath, selectPath, selectExt, portExtension, listed))
        return false;
    const QString note = hooks.noteOf ? hooks.noteOf(storedPath) : QString();
    hooks.addFileData(CommaText::write(row(storedPath, note)));
    return true;
}

QList<QPair<QString, QString>> fileTypes(const QStringList &extItems)
{
    QList<QPair<QString, QString>> types;
    for (int i = 0; i < extItems.size(); ++i) {
        const QString &item = extItems[i];
        const bool last = i > 0 && i == extItems.size() - 1;
        types.append({last ? item : item.mid(1), item});
    }
    return types;
}

} // namespace ReceiveFileList
