#pragma once
// The long-lived windows and the option store, created and wired in start order: the main
// window (and its notes database), the dialogs, the about box, then the option store, which
// reads Option.ini and the language pack.
#include "app/About.h"
#include "app/MainWindow.h"
#include "editor/ColorDialogs.h"
#include "library/Viewer.h"
#include "settings/GeneralSettings.h"
#include "settings/Option.h"
#include "transfer/TransferSettings.h"

struct LongLivedWindows {
    // base: the program folder, ending in "/"; workArea sizes the default windows.
    LongLivedWindows(const QString &base, const QRect &workArea)
        : main(base), general(base), transfer(&main.portList()), option(base, workArea)
    {
        general.setOption(&option);
        transfer.setOption(&option);
        main.setGeneralSettings(&general);
        main.setTransferSettings(&transfer);
        main.setOption(&option);
        main.setAbout(&about);
        main.setViewer(&viewer);
        main.setColorDialog(&colors);
    }

    TF_Main main;
    TGeneralSettings general;
    TTransferSettings transfer;
    TAbout about;
    TViewer viewer;
    TColorDialogs colors;
    TOption option;
};
