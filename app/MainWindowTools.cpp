// The main window's lesser doors (journal, review queue, about box), its size text, and its
// tool buttons' state.
#include "app/MainWindow.h"

#include "app/About.h"

#include "automode/AutoModeValues.h"
#include "library/JournalWindow.h"
#include "library/LibraryEngine.h"
#include "library/LibraryPanes.h"
#include "library/NotesStore.h"
#include "library/ReviewWindow.h"
#include "library/TransferJournal.h"
#include "settings/CommaText.h"
#include "settings/GeneralSettings.h"
#include "settings/LanguagePack.h"
#include "settings/Option.h"
#include "settings/PortSetting.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QSplitter>
#include <QToolButton>

void TF_Main::openJournal()
{
    const TransferJournal *journal = TransferJournal::processJournal();
    if (!m_journalWindow) {
        m_journalWindow =
            new TJournalWindow(journal ? journal->path()
                                       : QFileInfo(m_notes->databasePath())
                                             .dir()
                                             .filePath(QLatin1String(TransferJournal::FileName)),
                               this);
        m_journalWindow->setLanguage(language);
    }
    m_journalWindow->refresh();
    m_journalWindow->show();
    m_journalWindow->raise();
    m_journalWindow->activateWindow();
}

// Held programs lie beside the programs they would replace: under the port settings' work
// folders and the request forms' path list.
QStringList TF_Main::reviewFolders() const
{
    QStringList folders;
    for (const QString &record : m_portList.getPortList())
        folders << PortSetting::split(record).value(PortSetting::WorkFolder);
    if (m_option) {
        AutoMode::GeneralValues v;
        if (AutoMode::fromGeneralList(m_option->getOptionList(TOption::GeneralList),
                                      m_general ? m_general->nameCode() : v.nameCode, &v))
            folders += v.pathList;
    }
    folders.removeAll(QString());
    folders.removeDuplicates();
    return folders;
}

void TF_Main::openReview()
{
    if (!m_reviewWindow) {
        m_reviewWindow = new TReviewWindow(this);
        m_reviewWindow->setLanguage(language);
        // An accepted program is shown in the file list as a received one is.
        connect(m_reviewWindow, &TReviewWindow::decided, this,
                [this](const QString &target) { addFileData(target); });
    }
    m_reviewWindow->setFolders(reviewFolders());
    m_reviewWindow->refresh();
    m_reviewWindow->show();
    m_reviewWindow->raise();
    m_reviewWindow->activateWindow();
}

void TF_Main::settleToolButtons()
{
    for (QToolButton *b : {SendToolButton, ReadToolButton, AutoToolButton, GeneralToolButton,
                           TransferToolButton, ExitToolButton}) {
        if (!b->testAttribute(Qt::WA_UnderMouse) ||
            b->rect().contains(b->mapFromGlobal(QCursor::pos())))
            continue;
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(b, &leave);
        b->setAttribute(Qt::WA_UnderMouse, false);
        b->update();
    }
}

void TF_Main::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        settleToolButtons();
}

namespace
{
// Numbers in the main window's size text.
constexpr int SizeCount = 11;
} // namespace

void TF_Main::setWindowsSize(const QString &text)
{
    QList<int> v;
    for (const QString &item : CommaText::read(text)) {
        bool ok = false;
        const int n = item.toInt(&ok);
        if (!ok)
            break;
        v << n;
    }
    if (v.size() < SizeCount) // the store repairs sizes; a short text still must not crash
        return;
    resize(v[0], v[1]);
    Splitter1->setSizes({v[2], qMax(1, v[0] - v[2])});
    Splitter2->setSizes({v[3], qMax(1, v[1] - v[3])});
    LowerSplitter->setSizes({v[4], v[5], qMax(1, v[0] - v[4] - v[5])});
    Panel3->setSectionWidths({v[6], v[7], v[8], v[9], v[10]});
}

QString TF_Main::getWindowsSize() const
{
    QStringList v;
    const QList<int> tree = Splitter1->sizes();
    const QList<int> panes = Splitter2->sizes();
    const QList<int> lower = LowerSplitter->sizes();
    v << QString::number(width()) << QString::number(height()) << QString::number(tree.value(0))
      << QString::number(panes.value(0)) << QString::number(lower.value(0))
      << QString::number(lower.value(1));
    for (int w : Panel3->sectionWidths())
        v << QString::number(w);
    return CommaText::write(v);
}

void TF_Main::NAboutClick()
{
    if (!m_about)
        return;
    m_about->setLanguage(m_option ? m_option->getLanguageList(LanguagePack::About)
                                  : LanguagePack::builtIn(LanguagePack::About));
    m_about->exec();
}
