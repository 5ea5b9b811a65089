#pragma once
// The general values that steer the auto mode. They are read afresh at every handling, so a
// change made in the general settings (or in the Option.ini a service runs from) applies to
// the next program without reopening the line.
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>

namespace AutoMode
{

struct GeneralValues {
    QString requestNumber = QStringLiteral("9999");
    QString pathCode = QStringLiteral("P");
    QString folderCode = QStringLiteral("F");
    QString nameCode = QStringLiteral("N");
    QString errorNumber = QStringLiteral("9997");
    // Entry n of a list is selected by the number n, counting from 1.
    QStringList pathList;
    QStringList folderList;
    bool overwrite = true;       // check flag 16
    bool nameFromComment = true; // check flag 32
    bool readErrorReply = true;  // check flag 64
    bool saveOkReply = true;     // check flag 128
};

// Called once at the start of every handling.
using GeneralValuesSource = std::function<GeneralValues()>;

// From the eleven entries of the general list (check flags, ..., path list, folder list) and
// the file-name code, which the general list does not hold. False, with *values untouched,
// when the check flags are not an integer.
bool fromGeneralList(const QStringList &general, const QString &nameCode, GeneralValues *values);

// The [General] section of an Option.ini, read again whenever the file changes (time or size).
// A file that cannot be read or holds no usable section keeps the values last read; error()
// then says why, until a good read clears it.
class GeneralValuesFile
{
public:
    explicit GeneralValuesFile(const QString &path, const QString &nameCode = QStringLiteral("N"));

    // Re-reads when the file changed; true when the values are from the file as it is now.
    bool refresh();
    // refresh(), then the values: a GeneralValuesSource.
    GeneralValues values();
    QString error() const { return m_error; }
    // False until the file has been read once.
    bool loaded() const { return m_loaded; }

private:
    bool read();

    QString m_path;
    QString m_nameCode;
    GeneralValues m_values;
    QDateTime m_stamp;
    qint64 m_size = -1;
    bool m_loaded = false;
    QString m_error;
};

} // namespace AutoMode
