// Sizing the dialog on show: each page as large as the font in use needs, scrolling where
// that exceeds the screen.
#include "settings/GeneralSettings.h"

#include "settings/WindowPlace.h"

#include <QComboBox>
#include <QLayout>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTabWidget>

namespace
{
QWidget *pageOf(QWidget *tab)
{
    auto *scroll = qobject_cast<QScrollArea *>(tab);
    return scroll ? scroll->widget() : tab;
}
} // namespace

void TGeneralSettings::setPagesScroll(bool scroll)
{
    const int current = PageControl1->currentIndex();
    for (int i = 0; i < PageControl1->count(); ++i) {
        QWidget *tab = PageControl1->widget(i);
        if (scroll == bool(qobject_cast<QScrollArea *>(tab)))
            continue;
        const QString text = PageControl1->tabText(i);
        PageControl1->removeTab(i);
        QWidget *page = nullptr;
        if (scroll) {
            auto *area = new QScrollArea;
            area->setFrameShape(QFrame::NoFrame);
            area->setWidgetResizable(true);
            area->setWidget(tab);
            page = area;
        } else {
            page = static_cast<QScrollArea *>(tab)->takeWidget();
            tab->deleteLater();
        }
        PageControl1->insertTab(i, page, text);
        page->show();
    }
    PageControl1->setCurrentIndex(current);
}

void TGeneralSettings::fitPagesTo(const QSize &screenRoom)
{
    const QSize room = screenRoom - FrameRoom;
    // Sizes are cached along the way up; hidden pages do not pass a change on.
    auto relayout = [&] {
        PageControl1->updateGeometry();
        layout()->invalidate();
        layout()->activate();
    };
    setPagesScroll(false);
    relayout();
    const QSize whole = minimumSizeHint();
    const int tooTall = whole.height() - room.height();
    const int tooWide = whole.width() - room.width();
    if (tooTall <= 0 && tooWide <= 0)
        return;
    // Too large for the screen at this font: the pages scroll, each as large as there is room
    // for, a scroll bar's room added across it.
    QSize widest;
    for (int i = 0; i < PageControl1->count(); ++i)
        widest = widest.expandedTo(PageControl1->widget(i)->minimumSizeHint());
    setPagesScroll(true);
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    QSize page = widest;
    if (tooTall > 0) {
        page.rheight() = qMax(widest.height() - tooTall - bar, 120);
        page.rwidth() += bar;
    }
    const int over = whole.width() + (page.width() - widest.width()) - room.width();
    if (over > 0) {
        page.rwidth() = qMax(page.width() - over, 200);
        page.rheight() += bar;
    }
    for (int i = 0; i < PageControl1->count(); ++i) {
        auto *area = static_cast<QScrollArea *>(PageControl1->widget(i));
        area->setMinimumSize(page);
        // Scrolled only the way the screen has no room.
        area->setHorizontalScrollBarPolicy(over > 0 ? Qt::ScrollBarAsNeeded
                                                    : Qt::ScrollBarAlwaysOff);
        area->setVerticalScrollBarPolicy(tooTall > 0 ? Qt::ScrollBarAsNeeded
                                                     : Qt::ScrollBarAlwaysOff);
    }
    relayout();
}

void TGeneralSettings::showEvent(QShowEvent *event)
{
    m_closeReason = NotClosed;
    showCodePage();
    PageControl1->setCurrentIndex(0);
    DataPageControl->setCurrentIndex(0);
    // Fixed at its size, grown where the font in use needs more room on any page: a hidden
    // page's controls are not polished yet and report the sizes of the font they were made with,
    // and a page never shown keeps its controls out of its layout, so each is shown once.
    const QList<QWidget *> controls = findChildren<QWidget *>();
    for (QWidget *c : controls)
        c->ensurePolished();
    for (QTabWidget *tabs : {PageControl1, DataPageControl}) {
        for (int i = tabs->count() - 1; i >= 0; --i)
            tabs->setCurrentIndex(i);
        for (int i = 0; i < tabs->count(); ++i) {
            if (QLayout *l = pageOf(tabs->widget(i))->layout()) {
                l->invalidate();
                l->activate();
            }
        }
    }
    setGridHeaders();
    {
        // Its cached hint can lag a font change by a pixel: the widest choice decides.
        QStyleOptionComboBox option;
        option.initFrom(CodePageComboBox);
        const QFontMetrics fm = CodePageComboBox->fontMetrics();
        int widest = 0;
        for (int i = 0; i < CodePageComboBox->count(); ++i)
            widest = qMax(widest, fm.horizontalAdvance(CodePageComboBox->itemText(i)));
        CodePageComboBox->setMinimumWidth(CodePageComboBox->style()
                                              ->sizeFromContents(QStyle::CT_ComboBox, &option,
                                                                 QSize(widest, fm.height()),
                                                                 CodePageComboBox)
                                              .width());
    }
    const QSize screenRoom = screen() ? screen()->availableGeometry().size() : QSize(1280, 800);
    fitPagesTo(screenRoom);
    layout()->activate();
    const QSize room = screenRoom - FrameRoom;
    setFixedSize(size().boundedTo(room).expandedTo(minimumSizeHint()));
    WindowPlace::centre(this);
    QDialog::showEvent(event);
}
