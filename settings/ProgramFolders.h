#pragma once
// Where the program keeps the files it writes and finds the language packs. A copy whose
// folder can be written keeps everything beside the executable (portable use, the build
// folder); an installed copy keeps Option.ini in the user's configuration folder and
// access.mdb and log/ in the user's data folder, since /usr/bin is no place for them.
#include <QString>

struct ProgramFolders {
    QString program;  // the executable's folder
    QString settings; // Option.ini
    QString data;     // access.mdb and log/
    bool portable = true;
};

// The choice for a program in programFolder (every folder ends in "/"). The program counts as
// installed when its folder cannot be written, or when its packs are not beside it but in
// ../share/ncferry (root can write /usr/bin, and must not litter it); then the settings go to
// configFolder and the data to dataFolder.
ProgramFolders ChooseProgramFolders(const QString &programFolder, const QString &configFolder,
                                    const QString &dataFolder);

// The running program's folders: GetExePath(), and "NCFerry" in the user's configuration and
// data folders (XDG on Linux). Nothing is created here.
ProgramFolders GetProgramFolders();

// The folder holding the language packs, ending in "/": baseFolder's "language" folder when it
// exists; for an installed program then its own "language" folder or the installed packs
// (../share/ncferry/language beside the program's folder), the first that exists; else
// baseFolder + "language/". A portable program looks in baseFolder only, as it always did.
QString LanguageFolder(const QString &baseFolder, const ProgramFolders &program);
QString LanguageFolder(const QString &baseFolder);
