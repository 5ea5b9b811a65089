#pragma once
// The modal folder chooser of the settings dialogs.
#include <QString>

// The chosen folder's path, or the empty text when the user cancels. The chooser is titled
// with the prompt, centred on the work area and opens at the start folder; options 0 asks for
// the plain chooser.
QString BrowseFolder(const QString &prompt, const QString &startFolder, int options = 0);
