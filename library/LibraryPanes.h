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

    int currentRow() const;
    void setCurrentRow(int row);
    QVector<int> sectionWidths() const;
    void setSectionWidths(const QVector<int> &widths);
    // Opens the note editor over the current row's note cell.
    void openNoteEditor();
    bool isEditingNote() const;
    void setRowHeight(int height);

    // The file-name pattern box (ExtComboBox).
    QStringList patterns() const;
    void setPatterns(const QStringList &items);
    QString pattern() const;
    void setPattern(const QString &text);
    void setPatternIndex(int index);
    int patternIndex() const;
    // The font size box (FontComboBox): what it shows, and whether the box accepts it.
    QString fontSizeText() const;
    void setFontSizeText(const QString &text);
    void setFontSizeRange(int minimum, int maximum);
    bool fontSizeAcceptable() const;
    int fontBoxHeight() const;

signals:
    void currentRowChanged(int row);
    void rowDoubleClicked(int row);
    void noteStoreFailed(const QString &message);
    void patternChosen();
    void fontSizeChosen();
    void menuRequested(const QPoint &globalPos);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void fitDefaultColumns();
    void NoteEditExit();
    void StringGrid1MouseWheel(int notches);

    QWidget *Panel4 = nullptr;
    QComboBox *ExtComboBox = nullptr;
    QComboBox *FontComboBox = nullptr;
    QLineEdit *KeyWord = nullptr;
    QTableView *StringGrid1 = nullptr;
    QLineEdit *NoteEdit = nullptr;

    // Columns left at the default width: they follow the font.
    QVector<bool> m_fitted;
    bool m_resizing = false;
    LibraryEngine *m_engine;
    FileGridModel *m_model;
    bool m_leavingNote = false;
    int m_rowBeforeReset = 0;
};

// The source preview, the transfer buffer and the picture, each under its caption strip.
class PreviewPanes : public QObject
{
    Q_OBJECT
public:
    PreviewPanes(LibraryEngine *engine, QWidget *parent);

    // The three captioned panes, for the window's splitter.
    QWidget *sourcePanel() const { return SourcePanel; }
    QWidget *bufferPanel() const { return BufferPanel; }
    QWidget *imagePanel() const { return ImagePanel; }
    void setCaptions(const QString &source, const QString &buffer, const QString &image);
    QSize pictureSize() const;

    int bufferSelectedRow() const;
    void setRowHeight(int height);

signals:
    void pictureDoubleClicked();
    void pictureMenuRequested(const QPoint &globalPos);
    void bufferMenuRequested(const QPoint &globalPos);

private:
    void showBuffer();

    QWidget *SourcePanel = nullptr;
    QLabel *SourceStaticText = nullptr;
    QPlainTextEdit *SourceMemo = nullptr;
    QWidget *BufferPanel = nullptr;
    QLabel *BufferStaticText = nullptr;
    QListWidget *BufferString = nullptr;
    QWidget *ImagePanel = nullptr;
    QLabel *ImageStaticText = nullptr;
    PictureBox *Image1 = nullptr;
    LibraryEngine *m_engine;
};
