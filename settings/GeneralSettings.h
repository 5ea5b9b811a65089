#pragma once
// The general settings dialog. Its controls hold the general values for the whole run:
// the auto-mode window reads its transfer values from them at each use.
#include "settings/GeneralSettingsRules.h"

#include <QDialog>
#include <QSize>
#include <QStringList>
#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTableWidget;
class TOption;

class TGeneralSettings : public QDialog
{
    Q_OBJECT
public:
    enum CloseReason { NotClosed, ClosedByOk, ClosedByCancel, ClosedByCloseBox };
    static constexpr int GeneralCount = 11;

    // baseFolder: the settings folder, ending in "/"; LanguageFolder() finds the packs from it.
    explicit TGeneralSettings(const QString &baseFolder, QWidget *parent = nullptr);
    ~TGeneralSettings() override;

    // The store that receives the general list whenever the dialog closes.
    void setOption(TOption *option) { m_option = option; }

    void setLanguage(const QStringList &lines);
    // False, with no control changed, when the check flags are not an integer.
    bool setGeneralList(const QStringList &list);
    QStringList getGeneralList() const;
    void setExtList(const QStringList &choices);
    QStringList getExtList() const;
    void setCheck(const QList<bool> &flags);
    QString getCheck() const;
    void setPathList(const QString &commaText);
    void setFolderList(const QString &commaText);
    QString getPathList() const;
    QString getFolderList() const;
    // The eleven stored defaults, then the default window-size text.
    static QStringList getDefault();
    static QString getWindowsSizeDefault();
    void Default();

    QString errorText() const { return m_error; }
    CloseReason closeReason() const { return m_closeReason; }
    // The file-name code, kept for the current run only.
    QString nameCode() const;

    // The folder chooser and the program chooser, replaceable so that tests need no modal
    // dialog. Each returns the empty text when the user cancels.
    using FolderChooser = std::function<QString(const QString &prompt, const QString &start)>;
    using ProgramChooser = std::function<QString(const QString &start)>;
    void setFolderChooser(FolderChooser chooser) { m_chooseFolder = std::move(chooser); }
    void setProgramChooser(ProgramChooser chooser) { m_chooseProgram = std::move(chooser); }

public slots:
    void OKButtonClick();
    void DefaultButtonClick();
    void CancelButtonClick();
    void AddButtonClick();
    void UPButtonClick();
    void DownButtonClick();
    void DelButtonClick();
    void EditorButtonClick();
    void ImageButtonClick();
    // Deletes the current row of the grid on which the pop-up menu was last opened.
    void N1Click();
    void deleteGridRow(QTableWidget *grid);
    void PathStringGridDblClick(int row, int column);

protected:
    void done(int result) override;
    // Room for the window frame a desktop adds around the dialog.
    static constexpr QSize FrameRoom{16, 48};
    // Each page as large as the largest needs, or scrolling where that exceeds the screen.
    void fitPagesTo(const QSize &screenRoom);
    void setPagesScroll(bool scroll);
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Pack lines used in more than one place, or away from the other captions.
    enum CaptionLine {
        DeleteLine = 5,        // the delete button and the grids' pop-up item
        NumberHeaderLine = 26, // the number column of both grids
        ChooseFolderLine = 32, // the folder chooser's prompt
        ExtensionKeyLine = 33, // a key that an extension cannot hold
        CodePageLine = 42,     // the code page choice, appended to the section
        CodePageAutoLine = 43
    };
    // The width of the grids' number column, unless its caption needs more.
    static constexpr int NumberColumnWidth = 50;

    // Controls, found by their object names.
    QTabWidget *PageControl1 = nullptr;
    QLineEdit *ExtEdit = nullptr;
    QPushButton *AddButton = nullptr;
    QPushButton *UPButton = nullptr;
    QPushButton *DownButton = nullptr;
    QPushButton *DelButton = nullptr;
    QListWidget *ExtListBox = nullptr;
    QComboBox *LanguageComboBox = nullptr;
    // The NC text code page (kept in NCFerry.ini, not in the general list).
    QLabel *CodePageLabel = nullptr;
    QComboBox *CodePageComboBox = nullptr;
    QRadioButton *EditorRadioButton1 = nullptr;
    QRadioButton *EditorRadioButton2 = nullptr;
    QLineEdit *EditorEdit = nullptr;
    QPushButton *EditorButton = nullptr;
    QRadioButton *ImageRadioButton1 = nullptr;
    QRadioButton *ImageRadioButton2 = nullptr;
    QLineEdit *ImageEdit = nullptr;
    QPushButton *ImageButton = nullptr;
    QRadioButton *NoteRadioButton1 = nullptr;
    QRadioButton *NoteRadioButton2 = nullptr;
    QRadioButton *SourceRadioButton1 = nullptr;
    QRadioButton *SourceRadioButton2 = nullptr;
    QLineEdit *SourceEdit = nullptr;
    QLineEdit *ReadEdit = nullptr;
    QLineEdit *PathEdit = nullptr;
    QLineEdit *FolderEdit = nullptr;
    QLineEdit *NameEdit = nullptr;
    QCheckBox *CoverCheckBox = nullptr;
    QCheckBox *NoteCheckBox = nullptr;
    QCheckBox *ErrorMsgCheckBox = nullptr;
    QCheckBox *SaveOKCheckBox = nullptr;
    QLineEdit *ErrorMsgEdit = nullptr;
    QTabWidget *DataPageControl = nullptr;
    QTableWidget *PathStringGrid = nullptr;
    QTableWidget *FolderStringGrid = nullptr;
    QMenu *StringGridPop = nullptr;
    QPushButton *OKButton = nullptr;
    QPushButton *DefaultButton = nullptr;
    QPushButton *CancelButton = nullptr;

    // Making the controls.
    QWidget *buildBasicPage();
    QWidget *buildTransferPage();
    QTableWidget *makeGrid();
    QHBoxLayout *buildButtonRow();
    // Values in and out of the controls.
    void applyValues(const QList<bool> &flags, const QStringList &list);
    void updateCompanions();
    void showGrid(QTableWidget *grid, const GeneralSettingsRules::NumberedList &list);
    void commitFolderEdit();
    void showCodePage();
    // Captions.
    QString caption(int index) const;
    void setGridHeaders();
    // Edits.
    void FolderStringGridChanged(int row, int column);
    // A problem told in the dialog's one style: a warning over the dialog.
    void tellProblem(const QString &text, const QString &title = QStringLiteral("message"));

    QString m_baseFolder;
    TOption *m_option = nullptr;
    QStringList Settings;
    QList<bool> Check;
    QStringList Language;
    GeneralSettingsRules::NumberedList m_pathList;
    GeneralSettingsRules::NumberedList m_folderList;
    QTableWidget *m_popupGrid = nullptr;
    bool m_showingGrid = false;
    QString m_error;
    CloseReason m_closeReason = NotClosed;
    FolderChooser m_chooseFolder;
    ProgramChooser m_chooseProgram;

    QGroupBox *ExtGroupBox = nullptr, *LanguageGroupBox = nullptr, *EditorGroupBox = nullptr,
              *ImageGroupBox = nullptr, *NoteGroupBox = nullptr, *SourceGroupBox = nullptr,
              *ATGroupBox = nullptr, *FileSaveBox = nullptr, *MsgGroupBox = nullptr;
    QLabel *ExtStaticText = nullptr, *ReadStaticText = nullptr, *PathStaticText = nullptr,
           *FolderStaticText = nullptr, *NameStaticText = nullptr, *ErrorMsgStaticText = nullptr;
    QAction *N1 = nullptr;
};
