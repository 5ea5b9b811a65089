#pragma once
// The listing job: the files of one folder that match the pattern in use, as file rows.
#include "library/FileList.h"

#include <functional>

class NotesStore;

struct ListingResult {
    QVector<FileRow> rows; // in the file system's order; empty for an empty folder
    // Files whose note could not be read; they are listed with an empty note.
    QStringList noteFailures;
    QString noteError; // message of the first failure, for the window to show
    bool folderMissing = false;
};

namespace FileListing
{

// The folder with a trailing separator, in the platform's native form.
QString folderWithSeparator(const QString &folder);
// The name with its last extension replaced by ".jpg" (".jpg" appended when it has none).
QString pictureNameFor(const QString &name);
// The picture beside filePath (".jpg", or ".JPG"), or empty when there is none.
QString existingPicture(const QString &filePath);
// Splits the pattern box text at ";" into wildcard patterns ("*" and "?").
QStringList patternList(const QString &ext);
// Windows-style wildcard match, letter case ignored; "*.*" matches every name.
bool matchesPattern(const QString &name, const QString &pattern);

// Lists folder with the pattern text. commentMode takes notes from each file's comment,
// otherwise from notes (no notes at all when it is null). progress gets the files done so far.
ListingResult listFolder(const QString &folder, const QString &ext, bool commentMode,
                         NotesStore *notes, const std::function<void(int)> &progress = {});

} // namespace FileListing
