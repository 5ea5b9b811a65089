#include "settings/NcText.h"

#ifdef Q_OS_WIN
#include <QStringConverter>
#include <windows.h>
#endif

namespace NcText
{

#ifdef Q_OS_WIN
QByteArray toBytes(const QString &text)
{
    if (text.isEmpty())
        return {};
    const auto *w = reinterpret_cast<const wchar_t *>(text.utf16());
    const int n = WideCharToMultiByte(CP_ACP, 0, w, int(text.size()), nullptr, 0, nullptr, nullptr);
    QByteArray out(n, '\0');
    WideCharToMultiByte(CP_ACP, 0, w, int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

QString fromBytes(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, bytes.constData(), int(bytes.size()), nullptr, 0);
    QString out(n, QChar());
    MultiByteToWideChar(CP_ACP, 0, bytes.constData(), int(bytes.size()),
                        reinterpret_cast<wchar_t *>(out.data()), n);
    return out;
}
#else
QByteArray toBytes(const QString &text)
{
    return text.toLatin1();
}
QString fromBytes(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes);
}
#endif

} // namespace NcText
