#pragma once
// The program library behind the main window's file list, previews and transfer buffer:
// the window forwards its events here and redraws from the model on the signals.
#include "library/FileList.h"
#include "library/LibraryJobs.h"
#include "library/Preview.h"
#include "library/TransferBuffer.h"

#include <QObject>

#include <memory>

class NotesStore;
class PreviewCache;

class LibraryEngine : public QObject, private LibraryJobBodies
{
    Q_OBJECT
public:
    // notes may be null (no notes database); it must outlive the engine.
    explicit LibraryEngine(NotesStore *notes = nullptr, QObject *parent = nullptr);
    ~LibraryEngine() override;

    // Check flag 1: notes from each file's first comment instead of the notes database.
    void setCommentMode(bool on) { m_commentMode = on; }
    bool commentMode() const { return m_commentMode; }
    void setPreviewOptions(const PreviewOptions &options) { m_previewOptions = options; }
    // Pictures are kept reduced in folder (PreviewCache); an empty folder keeps none.
    void setPreviewCacheFolder(const QString &folder);
    PreviewCache *previewCache() const { return m_previewCache.get(); }
    // Language section 0, lines 8 to 12: the plain header captions.
    void setPlainCaptions(const QStringList &captions);

    const FileList &fileList() const { return m_list; }
    const HeaderMarks &marks() const { return m_marks; }
    const TransferBuffer &buffer() const { return m_buffer; }
    // The folder of the latest listing, as the tree gave it.
    QString folder() const { return m_folder; }
    // The folder with a separator followed by the row's name; empty for a row without one.
    QString fullPath(int row) const;
    LibraryJobQueue *jobQueue() const { return m_jobs; }

    // ShellTreeView1Change and ExtComboBoxSelect: reset the marks, then list.
    void startListing(const QString &path, const QString &ext, bool rootSelected = false);
    void HeaderControl1SectionClick(int section);
    void SectionSort(int column, const QString &caption);
    // The keyword box's key release: mark the keyword column if needed, then run the pass.
    void KeyWordKeyUp(const QString &keyword);
    // Returns the new keyword column, or -1 when nothing changed.
    int HeaderControl1MouseUp(bool rightButton, const QVector<int> &sectionWidths, int x);

    // The current row changed: preview its file if it exists. True when a job was started.
    bool StringGrid1Click(int row);
    // Queue the row's file in the transfer buffer. False for a row without a name.
    bool StringGrid1DblClick(int row);
    // Buffer popup: tag 0 removes bufferRow, tag 1 empties the buffer.
    bool PopupClick(int tag, int bufferRow);
    // Tag 2 (view): the picture of the row when its flag is "Y", else empty.
    QString picturePathForView(int row) const;
    // What a send entry takes: the whole buffer (emptying it) when it holds entries,
    // otherwise the current row's file; empty when there is nothing to send.
    QStringList takeSendFiles(int currentRow);
    bool addFileData(const QString &row);
    // Leaving the note editor: the cell takes the text; in database mode it is stored too.
    // False when storing failed (noteError() says why); the cell keeps the text regardless.
    bool NoteEditExit(int row, const QString &text);
    QString noteError() const { return m_noteError; }

    // Job bodies; the workers run them on the GUI thread.
    void runListing(const QString &path, const QString &ext, bool rootSelected) override;
    void runSort(int column, int left, int right, bool ascending) override;
    void runKeyWord(const QString &keyword, int column) override;
    void runPreview(const QString &filePath, const QString &checkImage) override;

signals:
    void headerChanged();
    void rowsChanged();
    void listingProgress(int filesDone);
    void listingDone();
    // Some notes could not be read during the listing; those rows show no note.
    void notesUnavailable(const QString &message, const QStringList &files);
    void sortDone();
    void keyWordDone();
    void previewReady(const PreviewResult &result);
    void bufferChanged();

private:
    NotesStore *m_notes;
    LibraryJobQueue *m_jobs;
    FileList m_list;
    HeaderMarks m_marks;
    TransferBuffer m_buffer;
    PreviewOptions m_previewOptions;
    std::unique_ptr<PreviewCache> m_previewCache;
    QString m_folder;
    QString m_noteError;
    bool m_commentMode = false;
};
