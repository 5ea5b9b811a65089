#pragma once
// The main window's receive entry: asks for the target file, then opens a receive window.
#include "transfer/ReceiveFileList.h"

#include <QStringList>

class QFileDialog;
class QWidget;
class TReceiveTransport;

struct ReceiveRequest {
    QStringList language; // language section of the receive window
    QString portSetting;  // the chosen port setting's line
    QStringList extItems; // items of the main window's extension box
    int selectedExt = -1; // its selected item, -1 for none
    QString extText;      // its text (the current filter)
    QString folder;       // the folder the main window shows
    ReceiveFileList::Hooks hooks;
};

// Save dialog set up from the extension box: types, initial folder, selected type, the
// selected type's extension for names typed without one, overwrite confirmation.
void configureReceiveSaveDialog(QFileDialog &dialog, const QStringList &extItems, int selectedExt,
                                const QString &folder);

// The shown window (deleted on close), or nullptr when the user cancelled or the port
// setting cannot be used.
TReceiveTransport *ReadFileDialog(const ReceiveRequest &request, QWidget *dialogParent);
