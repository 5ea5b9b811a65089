#pragma once
// The main window: tool bar, menus, the folder tree and the library panes, and the entries
// that open the transfer windows and the settings dialogs.
#include "transfer/PortList.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>

class LibraryEngine;
class NotesStore;
class TOption;
class TAbout;
class TGeneralSettings;
class TTransferSettings;
class TColorDialogs;
class TViewer;
class TJournalWindow;
class TReviewWindow;
class CompareMenu;
class ShellTreeView;
class FileListPane;
class PreviewPanes;
class QMenu;
class QSplitter;
class QToolButton;
class QAction;

class TF_Main : public QMainWindow
{
    Q_OBJECT
public:
    // baseFolder: where access.mdb lives (the program's data folder), ending in "/".
    explicit TF_Main(const QString &baseFolder, QWidget *parent = nullptr);
    ~TF_Main() override;

    // The option store is created after the main window; UpdateOption reads it on show.
    void setOption(TOption *option) { m_option = option; }
    void setAbout(TAbout *about) { m_about = about; }
    void setGeneralSettings(TGeneralSettings *dialog) { m_general = dialog; }
    void setTransferSettings(TTransferSettings *dialog) { m_transfer = dialog; }
    void setColorDialog(TColorDialogs *dialog) { m_colors = dialog; }
    void setViewer(TViewer *viewer) { m_viewer = viewer; }

    void UpdateOption();
    QStringList getOption() const;
    void setWindowsSize(const QString &text);
    QString getWindowsSize() const;
    void setLanguage(const QStringList &lines);
    void setMenuItemData(const QStringList &names, QMenu *menu, void (TF_Main::*handler)(int));
    void MenuItemUpdate();

    void SendFileDialog(int tag);
    void ReadFileDialog(int tag);
    bool portNamed(int tag);
    void AutoModeDialog(int tag);
    void ToolButtonClick(int tag);
    void ExitToolButtonClick() { close(); }
    void UHFSClick();
    void GeneralSettingsClick();
    void TransferSettingsClick();
    void NAboutClick();
    void ExtComboBoxSelect();
    void FontComboBoxSelect();
    void ShellTreeView1Change();
    void StringGrid1Click();
    void StringGrid1DblClick();
    void PopupClick(int tag);
    void SEditClick();
    void SNoteClick();
    bool addFileData(const QString &row);

    QString currentFolder() const;
    QStringList extItems() const;
    PortList &portList() { return m_portList; }
    LibraryEngine *engine() const { return m_engine; }
    NotesStore *notes() const { return m_notes; }
    // Opened transfer windows report here (tests look at the last one).
    QWidget *lastTransferWindow() const { return m_lastTransfer; }
    // The last editor window opened (tests look at it).
    QWidget *lastEditorWindow() const { return m_lastEditor; }

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Pack lines used in more than one place, or away from their controls.
    enum CaptionLine {
        // The send, receive and auto-mode entries: tool button, menu and pop-up menu.
        SendLine = 3,
        ReadLine = 4,
        AutoLine = 5,
        // The settings dialogs' tool buttons and menu entries.
        GeneralSettingsLine = 6,
        TransferSettingsLine = 7,
        EditNoteLine = 17, // also the title of a note that could not be stored
        NothingToSendLine = 29,
        StopSendsLine = 30, // the question before a close during a send
        FontSizeLine = 31,
        NoPortLine = 34,
        // The refusal of a folder operation on a mount point.
        MountPointLine = 36
    };
    QString caption(int index) const;
    // A problem told in the window's one style: a warning, titled as the window unless given
    // a title; over the window, or without a parent while it is not shown yet.
    void tellProblem(const QString &text, const QString &title = {});
    QToolButton *toolButton(const QString &icon);
    // Captions under the icons while they fit whole, else icons alone (the caption in the
    // tooltip): a tool button never shows half a word.
    void fitToolBar();
    void buildMenus();
    void buildPanes();
    void nameControls();
    void keepPreviewRoom();
    void applyCheck();

    TOption *m_option = nullptr;
    TAbout *m_about = nullptr;
    TGeneralSettings *m_general = nullptr;
    TTransferSettings *m_transfer = nullptr;
    TColorDialogs *m_colors = nullptr;
    TViewer *m_viewer = nullptr;
    TJournalWindow *m_journalWindow = nullptr;
    TReviewWindow *m_reviewWindow = nullptr;
    void openJournal();
    void openReview();
    QStringList reviewFolders() const;
    // A tool button the pointer left while a dialog was open never hears of it: it is told.
    void settleToolButtons();
    NotesStore *m_notes;
    LibraryEngine *m_engine;
    PortList m_portList;
    QStringList language;
    QStringList General;
    QList<bool> Check;
    QList<int> m_pendingSizes;

    // Controls by their names; tests reach them with findChild.
    QToolButton *SendToolButton, *ReadToolButton, *AutoToolButton, *GeneralToolButton,
        *TransferToolButton, *ExitToolButton;
    QMenu *NTransfer, *NSend, *NRead, *NAuto, *NSettings;
    QAction *NGeneralS, *NTransferS, *UHFS, *NAbout;
    QAction *NJournal = nullptr;
    QAction *NReview = nullptr;
    QMenu *SendPopup, *ReadPopup, *AutoPopup;
    QMenu *PopupString, *SSend, *SRead, *SAuto;
    QAction *SEdit, *SNote, *NAddBuffer;
    CompareMenu *SCompare;
    QMenu *ImagePopup, *BufferPopup;
    QAction *NView, *NRemove, *NAllRemove;
    QWidget *Panel1, *Panel2;
    QSplitter *Splitter1, *Splitter2, *LowerSplitter;
    ShellTreeView *ShellTreeView1;
    FileListPane *Panel3;
    PreviewPanes *Previews;
    // Transfer windows delete themselves when closed.
    QPointer<QWidget> m_lastTransfer;
    QPointer<QWidget> m_lastEditor;
    bool m_shown = false;
};
