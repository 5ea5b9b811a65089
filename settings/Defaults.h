#pragma once
// Default option values of each window, computed without creating the window, so that the
// option store can build a first Option.ini and the windows can offer the same defaults.
// Sizes derived from the screen take its work area; R and B below are its right and bottom
// edges (left + width, top + height).
#include <QRect>
#include <QString>
#include <QStringList>

namespace Defaults
{

// "C:\" on Windows, the home folder elsewhere.
QString rootFolder();
// "C:\NC" on Windows, ~/NC elsewhere.
QString workFolder();

// Pack name for a Windows user-interface language identifier: 0x0404 "繁體中文",
// 0x0804 "简体中文", any other "English".
QString languageNameForId(int languageId);
// The same choice made from the user's own language.
QString userLanguageName();

// Main window: folder, extension choices, extension, font size, then its size text.
QStringList mainWindowList(const QRect &workArea);
// (R div 10)*8 by (B div 10)*8, tree, upper pane, preview and buffer widths, five columns.
// Width of each file-list column in the default window size.
constexpr int FileColumnWidth = 81;
QString mainWindowSize(const QRect &workArea);

// General settings: the eleven stored values, then its size text.
QStringList generalSettingsList(const QString &languageName);
// The values the general settings dialog's default button puts into its controls.
QStringList generalSettingsButtonList(const QString &languageName);
QString generalSettingsSize();

// Port settings dialog: the default port setting line, then its size text.
QStringList portSettingsList(const QRect &workArea);
QString portSettingsSize(const QRect &workArea);

// Editor: font size, style flags, colours, then its size text.
QStringList editorList(const QRect &workArea);
QString editorSize(const QRect &workArea);
QString editorColors();

// Auto-mode window: width, height, lower panel height, send pane width.
QString autoModeSize(const QRect &workArea);

} // namespace Defaults
