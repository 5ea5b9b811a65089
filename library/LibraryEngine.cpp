#include "library/LibraryEngine.h"

#include "library/FileListing.h"
#include "library/NotesStore.h"
#include "library/PreviewCache.h"

#include <QFileInfo>

LibraryEngine::LibraryEngine(NotesStore *notes, QObject *parent)
    : QObject(parent), m_notes(notes), m_jobs(new LibraryJobQueue(this))
{
}

LibraryEngine::~LibraryEngine() = default;

void LibraryEngine::setPreviewCacheFolder(const QString &folder)
{
    m_previewCache.reset(folder.isEmpty() ? nullptr : new PreviewCache(folder));
}

void LibraryEngine::setPlainCaptions(const QStringList &captions)
{
    m_marks.setPlainCaptions(captions);
    emit headerChanged();
}

QString LibraryEngine::fullPath(int row) const
{
    if (row < 0 || row >= m_list.rowCount() || m_list.row(row).name.isEmpty())
        return {};
    return FileListing::folderWithSeparator(m_folder) + m_list.row(row).name;
}

void LibraryEngine::startListing(const QString &path, const QString &ext, bool rootSelected)
{
    m_marks.reset();
    emit headerChanged();
    auto *job = new SearchThread(m_jobs, this);
    job->setPathExt(path, ext);
    job->setRootSelected(rootSelected);
    job->start();
}

void LibraryEngine::HeaderControl1SectionClick(int section)
{
    if (section >= 0 && section < ColumnCount)
        SectionSort(section, m_marks.plainCaption(section));
}

void LibraryEngine::SectionSort(int column, const QString &caption)
{
    if (column < 0 || column >= ColumnCount)
        return;
    auto *job = new SortThread(m_jobs, this);
    const bool ascending = m_marks.SectionSort(column, caption);
    emit headerChanged();
    job->setParameter(column, 0, m_list.rowCount() - 1, ascending);
    job->start();
}

void LibraryEngine::KeyWordKeyUp(const QString &keyword)
{
    const int column = m_marks.keyWordColumn();
    emit headerChanged();
    auto *job = new KeyWordThread(m_jobs, this);
    job->setKeyWord(keyword, column);
    job->start();
}

int LibraryEngine::HeaderControl1MouseUp(bool rightButton, const QVector<int> &sectionWidths, int x)
{
    if (!rightButton)
        return -1;
    const int section = m_marks.HeaderControl1MouseUp(sectionWidths, x);
    if (section >= 0)
        emit headerChanged();
    return section;
}

bool LibraryEngine::StringGrid1Click(int row)
{
    const QString path = fullPath(row);
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return false;
    auto *job = new SourceThread(m_jobs, this);
    job->setFilePath(path, m_list.row(row).picture);
    job->start();
    return true;
}

bool LibraryEngine::StringGrid1DblClick(int row)
{
    if (!m_buffer.add(fullPath(row)))
        return false;
    emit bufferChanged();
    return true;
}

bool LibraryEngine::PopupClick(int tag, int bufferRow)
{
    bool changed = false;
    if (tag == 0) {
        changed = m_buffer.removeAt(bufferRow);
    } else if (tag == 1) {
        changed = !m_buffer.isEmpty();
        m_buffer.clear();
    }
    if (changed)
        emit bufferChanged();
    return changed;
}

QString LibraryEngine::picturePathForView(int row) const
{
    if (row < 0 || row >= m_list.rowCount() || m_list.row(row).picture != u"Y")
        return {};
    const QString path = fullPath(row);
    const QString existing = FileListing::existingPicture(path);
    if (!existing.isEmpty())
        return existing;
    const QFileInfo fi(path);
    return FileListing::folderWithSeparator(fi.path()) + FileListing::pictureNameFor(fi.fileName());
}

QStringList LibraryEngine::takeSendFiles(int currentRow)
{
    if (!m_buffer.isEmpty()) {
        QStringList files = m_buffer.takeAll();
        emit bufferChanged();
        return files;
    }
    const QString path = fullPath(currentRow);
    return path.isEmpty() ? QStringList() : QStringList{path};
}

bool LibraryEngine::addFileData(const QString &row)
{
    if (!m_list.addFileData(row))
        return false;
    emit rowsChanged();
    return true;
}

bool LibraryEngine::NoteEditExit(int row, const QString &text)
{
    m_noteError.clear();
    if (row < 0 || row >= m_list.rowCount())
        return false;
    m_list.setCell(row, NoteColumn, text);
    emit rowsChanged();
    const QString path = fullPath(row);
    if (m_commentMode || path.isEmpty())
        return true;
    if (!m_notes) {
        m_noteError = QStringLiteral("The notes database is not available.");
        return false;
    }
    if (!m_notes->storeNote(path, text)) {
        m_noteError = m_notes->lastError();
        return false;
    }
    return true;
}

void LibraryEngine::runListing(const QString &path, const QString &ext, bool rootSelected)
{
    if (path.isEmpty() || ext.isEmpty())
        return;
    m_folder = path;
    m_list.clear();
    if (!rootSelected) {
        const ListingResult result = FileListing::listFolder(
            path, ext, m_commentMode, m_notes, [this](int done) { emit listingProgress(done); });
        m_list.setRows(result.rows);
        if (!result.noteError.isEmpty())
            emit notesUnavailable(result.noteError, result.noteFailures);
    }
    emit rowsChanged();
    emit listingDone();
}

void LibraryEngine::runSort(int column, int left, int right, bool ascending)
{
    m_list.sortRows(column, left, right, ascending);
    emit rowsChanged();
    emit sortDone();
}

void LibraryEngine::runKeyWord(const QString &keyword, int column)
{
    m_list.keyWordPass(keyword, column);
    emit rowsChanged();
    emit keyWordDone();
}

void LibraryEngine::runPreview(const QString &filePath, const QString &checkImage)
{
    emit previewReady(Preview::load(filePath, checkImage, m_previewOptions, m_previewCache.get()));
}
