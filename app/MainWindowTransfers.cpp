// The main window's doors to the line: the send, receive and auto-mode windows opened on a
// port setting from the tool bar's menus.
#include "app/MainWindow.h"

#include "automode/WATransport.h"
#include "library/LibraryEngine.h"
#include "library/LibraryPanes.h"
#include "library/NotesStore.h"
#include "settings/GeneralSettings.h"
#include "settings/GeneralSettingsRules.h"
#include "settings/LanguagePack.h"
#include "settings/Option.h"
#include "settings/PortProfile.h"
#include "settings/PortSetting.h"
#include "settings/UnitFunction.h"
#include "transfer/PortProblem.h"
#include "transfer/ReceiveFileDialog.h"
#include "transfer/ReceiveTransport.h"
#include "transfer/SerialLine.h"
#include "transfer/SerialLineFactory.h"
#include "transfer/Transport.h"

#include <QProcess>
#include <QStatusBar>
#include <QToolButton>

void TF_Main::ToolButtonClick(int tag)
{
    QToolButton *button = tag == 1 ? SendToolButton : tag == 2 ? ReadToolButton : AutoToolButton;
    button->showMenu();
}

// A port setting without a port would open a window that fails with "Is a directory".
bool TF_Main::portNamed(int tag)
{
    const QString record = m_portList.getPort(tag);
    const QString problem =
        PortProblem::missingPort(record, PortSetting::split(record).value(PortSetting::Port));
    if (problem.isEmpty())
        return true;
    tellProblem(caption(NoPortLine).arg(record));
    return false;
}

void TF_Main::SendFileDialog(int tag)
{
    if (m_engine->buffer().isEmpty() && m_engine->fullPath(Panel3->currentRow()).isEmpty()) {
        statusBar()->showMessage(caption(NothingToSendLine), 10000);
        return;
    }
    if (!portNamed(tag))
        return;
    const PortProfile profile = PortProfile::fromText(m_portList.getPort(tag));
    auto *window = new TTransport(makeSerialLine(profile.port()));
    window->setLanguage(m_option ? m_option->getLanguageList(LanguagePack::TransferFile)
                                 : LanguagePack::builtIn(LanguagePack::TransferFile));
    if (!window->setPortSetting(profile)) {
        delete window;
        return;
    }
    window->setFileList(m_engine->takeSendFiles(Panel3->currentRow()));
    m_lastTransfer = window;
    window->show();
}

void TF_Main::ReadFileDialog(int tag)
{
    if (!portNamed(tag))
        return;
    ReceiveRequest request;
    request.language = m_option ? m_option->getLanguageList(LanguagePack::ReceiveFile)
                                : LanguagePack::builtIn(LanguagePack::ReceiveFile);
    request.portSetting = m_portList.getPort(tag);
    request.extItems = extItems();
    request.selectedExt = Panel3->patternIndex();
    request.extText = Panel3->pattern();
    request.folder = currentFolder();
    request.hooks.isListed = [this](const QString &name) {
        for (const FileRow &r : m_engine->fileList().rows())
            if (r.name.compare(name, Qt::CaseInsensitive) == 0)
                return true;
        return false;
    };
    request.hooks.noteOf = [this](const QString &path) {
        return Check.value(GeneralSettingsRules::NoteFromComment) || m_notes->unusable()
                   ? GetCommentTitle(path)
                   : m_notes->getSQLMarkData(path);
    };
    request.hooks.addFileData = [this](const QString &row) { addFileData(row); };
    if (TReceiveTransport *window = ::ReadFileDialog(request, this))
        m_lastTransfer = window;
}

void TF_Main::AutoModeDialog(int tag)
{
    // The general values are read at each handling, so a change in the general settings
    // applies to the next program.
    auto values = [this] {
        AutoMode::GeneralValues v;
        if (m_option)
            AutoMode::fromGeneralList(m_option->getOptionList(TOption::GeneralList),
                                      m_general ? m_general->nameCode() : v.nameCode, &v);
        return v;
    };
    const PortProfile profile = PortProfile::fromText(m_portList.getPort(tag));
    SerialLine *line = makeSerialLine(profile.port());
    auto *window = new TWATransport(values, line);
    line->setParent(window);
    window->setOption(m_option);
    window->setLanguage(m_option ? m_option->getLanguageList(LanguagePack::AutoMode)
                                 : LanguagePack::builtIn(LanguagePack::AutoMode));
    window->setPortSetting(profile);
    window->setWindowsSize(m_option ? m_option->getWindowsSize(TOption::AutoModeSlot)
                                    : TWATransport::getWindowsSizeDefault());
    m_lastTransfer = window;
    window->show();
}

void TF_Main::UHFSClick()
{
    // The adapter's setup program lies outside NCFerry; a missing one is not reported.
    QProcess::startDetached(QStringLiteral("UHF Setup.exe"), {});
}
