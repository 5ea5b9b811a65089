#pragma once
// Row bookkeeping and window-size text of the port settings dialog, kept apart from the
// window so that they can be checked without one.
#include <QList>
#include <QString>
#include <QStringList>

class PortList;

namespace TransferSettingsRows
{

bool isEmptyRow(const QStringList &fields);
// The default record fills the only row when that row is empty, otherwise it is appended
// under the first of "NewName", "NewName2", ... that no row carries. Returns its row.
int addDefault(PortList *list);
// The row other than `except` that carries `name` (letter case ignored: names become log
// file names), or -1.
int rowNamed(const PortList &list, const QString &name, int except);
QString uniqueName(const PortList &list, const QString &base);
// Removes the row; the last remaining row is emptied instead, so the list is never without
// a row. False for a row that does not exist.
bool deleteRow(PortList *list, int row);
// The extension editor's items: the main window's choices without their last one ("*.*").
QStringList extensionItems(const QString &commaText);

// Width, height and the ten column widths.
struct WindowSize {
    int width = 0;
    int height = 0;
    QList<int> columns;
};
constexpr int SizeValues = 12;
// False with a user-facing reason when the text has fewer than twelve values or a value
// that is not a whole number of at least 0.
bool parseWindowsSize(const QString &text, WindowSize *size, QString *error);
QString windowsSizeText(const WindowSize &size);

} // namespace TransferSettingsRows
