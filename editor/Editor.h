#pragma once
// The NC program editor: one file per window, every address letter and its value in the
// letter's colour, file commands, font size and styles, and the unsaved-changes question.
#include <QMainWindow>
#include <QMessageBox>
#include <QStringList>
#include <functional>

class LetterHighlighter;
class TColorDialogs;
class TOption;
class QAction;
class QComboBox;
class QMenu;
class QPlainTextEdit;
class QToolButton;

class TEditor : public QMainWindow
{
    Q_OBJECT
public:
    // option and colors may be null (tests); the window then stores nothing when it closes.
    explicit TEditor(TOption *option, TColorDialogs *colors, QWidget *parent = nullptr);
    ~TEditor() override;

    void setFileName(const QString &path) { FileName = path; }
    QString fileName() const { return FileName; }
    void setPathExt(const QString &folder, const QString &pattern, int index);
    void setExtList(const QStringList &patterns);
    QString dialogFilter() const { return m_filter; }
    void setLanguage(const QStringList &lines);
    void setEditorList(const QStringList &list);
    QStringList getEditorList() const;
    int getFontStyle() const;
    void setColorList(const QString &text);
    QString getColorList() const;
    bool setWindowsSize(const QString &text);
    QString getWindowsSize() const;
    static QString getWindowsSizeDefault();
    static QStringList getDefault();

    void UpeateColor();
    // Asks for a name and writes the text there; false when no name was chosen or the write
    // failed (the user has been told).
    bool SaveFile();
    // Loads FileName into the text area (done when the window is first shown).
    bool loadFile();
    bool isModified() const { return Save; }

    // Menu commands.
    void FNewClick();
    void FOpenClick();
    bool FSave1Click();
    bool FSave2Click();
    void NColorClick();

    // Replaceable for tests: the file dialogs (empty = cancelled) and the question.
    std::function<QString()> askOpenName;
    std::function<QString()> askSaveName;
    std::function<QMessageBox::StandardButton(const QString &text)> askQuestion;
    // Refusals and write errors; a message box unless a test replaces it.
    std::function<void(const QString &text)> showMessage;

    LetterHighlighter *highlighter() const { return m_highlighter; }

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Controls, found by their object names.
    QMenu *NFile;
    QAction *FNew, *FOpen, *FSave1, *FSave2, *FExit, *NColor;
    QComboBox *FontComboBox;
    QToolButton *FontStyle1, *FontStyle2, *FontStyle3;
    QPlainTextEdit *RichEdit1;

    // The question when the text has changed; true when the command may go on.
    bool askToSave();
    // False, after saying which characters and where, when the NC code page cannot hold the
    // whole text: nothing is written until they are changed or another code page is chosen.
    bool encodable();
    bool writeTo(const QString &path);
    void setSaved();
    void applyFont();
    void FontComboBoxSelect();
    void updateTitle();
    QString fileDialogStart() const;

    TOption *m_option;
    TColorDialogs *m_colors;
    LetterHighlighter *m_highlighter;
    QString FileName;
    QString SelectPath, SelectExt;
    int SelectIndex = 0;
    QStringList m_patterns;
    QString m_filter;
    QStringList ColorList;
    QStringList language;
    QString m_sizeText;
    bool Save = false;
    bool m_loading = false;
    bool m_shown = false;
};
