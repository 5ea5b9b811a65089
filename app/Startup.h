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
    // settings: the folder of Option.ini, data: the folder of access.mdb, each ending in "/";
    // workArea sizes the default windows.
    LongLivedWindows(const QString &settings, const QString &data, const QRect &workArea)
        : main(data), general(settings), transfer(&main.portList()), option(settings, workArea)
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

    LongLivedWindows(const QString &base, const QRect &workArea)
        : LongLivedWindows(base, base, workArea)
    {
    }

    TF_Main main;
    TGeneralSettings general;
    TTransferSettings transfer;
    TAbout about;
    TViewer viewer;
    TColorDialogs colors;
    TOption option;
};
