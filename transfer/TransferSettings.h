#pragma once
// The port settings dialog: a grid over the list of port settings, one row per setting and
// one in-place editor per column.
#include <QDialog>
#include <QHash>
#include <QStringList>
#include <functional>

class PortList;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLineEdit;
class QTableWidget;
class QToolBar;
class QToolButton;
class TComComboBox;
class TOption;

class TTransferSettings : public QDialog
{
    Q_OBJECT
public:
    enum ButtonTag { OKTag = 0, AddTag, DeleteTag, CancelTag };
    static constexpr int WorkFolderColumn = 7;

    // list: the list to show and edit, kept by the caller; null gives the dialog its own.
    explicit TTransferSettings(PortList *list = nullptr, QWidget *parent = nullptr);
    ~TTransferSettings() override;

    // The store that receives the list and the window size whenever the dialog closes.
    void setOption(TOption *option) { m_option = option; }
    PortList *portList() const { return m_list; }

    // The default record, then the default window-size text.
    QStringList getDefault() const;
    void setPortList(const QStringList &lines);
    QStringList getPortList() const;
    QStringList getPortName() const;
    QString getPort(int n) const;

    void setLanguage(const QStringList &lines);
    void setExtData(const QString &commaText);
    // False, size unchanged, when the text cannot be applied; windowsSizeError() says why.
    bool setWindowsSize(const QString &text);
    QString getWindowsSize() const;
    QString getWindowsSizeDefault() const;
    QString windowsSizeError() const { return m_sizeError; }

    void FalseVisble();
    void DataUpdate(QWidget *editor);
    void setObjectBounds(QWidget *editor, int column, int row);
    // Shows the grid from the list again, after the list was changed from outside.
    void refresh();

    // Replaceable so that tests need no modal chooser; empty text when cancelled.
    using FolderChooser = std::function<QString(const QString &prompt, const QString &start)>;
    void setFolderChooser(FolderChooser chooser) { m_chooseFolder = std::move(chooser); }
    // Refusals (a name another row carries); a message box unless a test replaces it.
    std::function<void(const QString &text)> showMessage;

    // Where NCFerry.ini lies, with each port setting's answer delay and hold for review in the
    // auto mode; the program's settings folder unless set.
    void setSettingsFolder(const QString &folder);

    // The editor that opens on a column's cells; null for the work folder.
    QWidget *editorFor(int column) const;

public slots:
    void ButtonClick(int tag);
    void reject() override;
    void StringGrid1SelectCell(int column, int row);
    void StringGrid1DblClick(int row, int column);

protected:
    void done(int result) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Controls, found by their object names.
    QToolBar *ToolBar1 = nullptr;
    QToolButton *OKButton = nullptr;
    QToolButton *AddButton = nullptr;
    QToolButton *delButton = nullptr;
    QToolButton *CancelButton = nullptr;
    QTableWidget *StringGrid1 = nullptr;
    QLineEdit *Edit1 = nullptr;
    TComComboBox *PortComboBox = nullptr;
    QComboBox *BaudComboBox = nullptr;
    QComboBox *ParityComboBox = nullptr;
    QComboBox *DataComboBox = nullptr;
    QComboBox *BitComboBox = nullptr;
    QComboBox *FlowComboBox = nullptr;
    QComboBox *ExtComboBox = nullptr;
    QComboBox *TypeComboBox = nullptr;
    // The selected port setting's answer delay in the auto mode (seconds), kept by name.
    QDoubleSpinBox *DelaySpinBox = nullptr;
    QHash<QString, double> m_delays;
    // Whether the selected port setting holds returned programs for review, kept by name.
    QCheckBox *HoldCheckBox = nullptr;
    QHash<QString, bool> m_holds;
    QString m_settingsFolder;
    void loadDelays();
    void showDelay(int row);

    QComboBox *makeCombo(int column, const QStringList &items);
    QToolButton *makeButton(int tag, const QIcon &icon);
    QString editorText(QWidget *editor) const;
    void setCell(int row, int column, const QString &text);
    void fitPortColumn(const QString &port);
    void fitColumns();
    // A problem told in the dialog's one style: a warning over the dialog.
    void tellProblem(const QString &text, const QString &title = QStringLiteral("message"));
    QString caption(int index) const;
    // Pack lines used in more than one place, or away from their controls.
    enum CaptionLine {
        ColumnHeaderLine = 5, // the grid's column headers, from here in column order
        DeleteQuestionLine = 15,
        // The port column's help, three pack lines from here.
        PortHelpLine = 16,
        FolderPromptLine = 19,
        // The port list's mark on a port this user may not open, with a group and without.
        NoAccessMarkLine = 20,
        DuplicateNameLine = 22,
        HoldLine = 23 // then its tooltip
    };

    PortList *m_list;
    bool m_ownsList;
    TOption *m_option = nullptr;
    QStringList language;
    QStringList m_openedList;
    QList<QWidget *> m_editors;
    // The cell the visible editor writes to; -1 while no editor is placed.
    int m_editRow = -1;
    bool m_fittingPort = false;
    int m_editColumn = -1;
    // A port name that is not among the ports present, shown so that it is not lost.
    QString m_sizeError;
    FolderChooser m_chooseFolder;
};
