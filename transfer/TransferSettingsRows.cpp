#include "transfer/TransferSettingsRows.h"

#include "settings/CommaText.h"
#include "settings/PortSetting.h"
#include "transfer/PortList.h"

namespace TransferSettingsRows
{

bool isEmptyRow(const QStringList &fields)
{
    for (const QString &f : fields)
        if (!f.isEmpty())
            return false;
    return true;
}

int rowNamed(const PortList &list, const QString &name, int except)
{
    for (int r = 0; r < list.rowCount(); ++r)
        if (r != except &&
            list.row(r).value(PortSetting::Name).compare(name, Qt::CaseInsensitive) == 0)
            return r;
    return -1;
}

QString uniqueName(const PortList &list, const QString &base)
{
    QString name = base;
    for (int n = 2; rowNamed(list, name, -1) >= 0; ++n)
        name = base + QString::number(n);
    return name;
}

int addDefault(PortList *list)
{
    QStringList record = PortSetting::split(PortSetting::defaultLine());
    if (list->rowCount() == 1 && isEmptyRow(list->row(0))) {
        list->setRow(0, record);
        return 0;
    }
    // Each port setting names its menu entries and its log: a new row gets a name of its own.
    record[PortSetting::Name] = uniqueName(*list, record.value(PortSetting::Name));
    list->insertRow(list->rowCount(), record);
    return list->rowCount() - 1;
}

bool deleteRow(PortList *list, int row)
{
    if (row < 0 || row >= list->rowCount())
        return false;
    if (list->rowCount() == 1)
        list->setRow(0, {});
    else
        list->removeRow(row);
    return true;
}

QStringList extensionItems(const QString &commaText)
{
    QStringList items = CommaText::read(commaText);
    if (!items.isEmpty())
        items.removeLast();
    return items;
}

bool parseWindowsSize(const QString &text, WindowSize *size, QString *error)
{
    const QStringList values = CommaText::read(text);
    auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("The window size \"%1\" of the port settings cannot be "
                                    "used: %2")
                         .arg(text, why);
        return false;
    };
    if (values.size() < SizeValues)
        return fail(
            QStringLiteral("it needs %1 numbers, it has %2.").arg(SizeValues).arg(values.size()));
    QList<int> numbers;
    for (int i = 0; i < SizeValues; ++i) {
        bool ok = false;
        const int v = values[i].toInt(&ok, 10);
        if (!ok || v < 0)
            return fail(QStringLiteral("\"%1\" is not a size.").arg(values[i]));
        numbers << v;
    }
    size->width = numbers[0];
    size->height = numbers[1];
    size->columns = numbers.mid(2);
    return true;
}

QString windowsSizeText(const WindowSize &size)
{
    QStringList texts{QString::number(size.width), QString::number(size.height)};
    for (int w : size.columns)
        texts << QString::number(w);
    return texts.join(u',');
}

} // namespace TransferSettingsRows
