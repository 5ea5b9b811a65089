#pragma once
// The widgets of the program library: the file grid with its header, pattern, font and
// keyword boxes and note editor (Panel3), and the preview, picture and buffer panes.
// They show a LibraryEngine and forward the user's actions to it.
#include <QAbstractTableModel>
#include <QImage>
#include <QWidget>

class LibraryEngine;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QTableView;

// The file rows as the grid shows them; header captions carry the sort and keyword marks.
class FileGridModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit FileGridModel(LibraryEngine *engine, QObject *parent = nullptr);
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    LibraryEngine *m_engine;
};

// Image1: the picture stretched over the whole area, proportions not kept.
class PictureBox : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;
    void setPicture(const QImage &image);
    const QImage &picture() const { return m_image; }

signals:
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent *) override;
    void mouseDoubleClickEvent(QMouseEvent *) override;

private:
    QImage m_image;
};

class FileListPane : public QWidget
{
    Q_OBJECT
public:
    explicit FileListPane(LibraryEngine *engine, QWidget *parent = nullptr);

    QWidget *Panel4 = nullptr;
    QComboBox *ExtComboBox = nullptr;
    QComboBox *FontComboBox = nullptr;
    QLineEdit *KeyWord = nullptr;
    QTableView *StringGrid1 = nullptr;
    QLineEdit *NoteEdit = nullptr;

    int currentRow() const;
    void setCurrentRow(int row);
    QVector<int> sectionWidths() const;
    void setSectionWidths(const QVector<int> &widths);
    // Opens the note editor over the current row's note cell.
    void openNoteEditor();
    bool isEditingNote() const;
    void setRowHeight(int height);

signals:
    void currentRowChanged(int row);
    void rowDoubleClicked(int row);
    void noteStoreFailed(const QString &message);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void fitDefaultColumns();
    // Columns left at the default width: they follow the font.
    QVector<bool> m_fitted;
    bool m_resizing = false;
    void NoteEditExit();
    void StringGrid1MouseWheel(int notches);

    LibraryEngine *m_engine;
    FileGridModel *m_model;
    bool m_leavingNote = false;
    int m_rowBeforeReset = 0;
};

class PreviewPanes : public QObject
{
    Q_OBJECT
public:
    PreviewPanes(LibraryEngine *engine, QWidget *parent);

    QWidget *SourcePanel = nullptr;
    QLabel *SourceStaticText = nullptr;
    QPlainTextEdit *SourceMemo = nullptr;
    QWidget *BufferPanel = nullptr;
    QLabel *BufferStaticText = nullptr;
    QListWidget *BufferString = nullptr;
    QWidget *ImagePanel = nullptr;
    QLabel *ImageStaticText = nullptr;
    PictureBox *Image1 = nullptr;

    int bufferSelectedRow() const;
    void setRowHeight(int height);

private:
    void showBuffer();
    LibraryEngine *m_engine;
};
