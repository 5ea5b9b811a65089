#include "transfer/ComWidgets.h"

#include "transfer/DetectedPorts.h"
#include "transfer/SerialLine.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QLineEdit>
#include <QStyledItemDelegate>

#include <QClipboard>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QRadialGradient>
#include <QScreen>
#include <QStyle>

void TElidedLabel::setFullText(const QString &text, const QString &tip)
{
    setText(text);
    setToolTip(tip.isEmpty() ? text : tip);
    updateInteraction();
}

void TElidedLabel::setSelectable(bool on)
{
    m_selectable = on;
    updateInteraction();
}

QRect TElidedLabel::textRoom() const
{
    return contentsRect().adjusted(margin(), margin(), -margin(), -margin());
}

bool TElidedLabel::isElided() const
{
    return fontMetrics().horizontalAdvance(text()) > textRoom().width();
}

void TElidedLabel::updateInteraction()
{
    // A mouse selection over shortened text would pick characters other than those shown.
    const bool select = m_selectable && !isElided();
    if (select != bool(textInteractionFlags() & Qt::TextSelectableByMouse))
        setTextInteractionFlags(select ? Qt::TextSelectableByMouse : Qt::NoTextInteraction);
}

void TElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    updateInteraction();
}

void TElidedLabel::contextMenuEvent(QContextMenuEvent *event)
{
    if (!m_selectable || !isElided()) {
        QLabel::contextMenuEvent(event);
        return;
    }
    QMenu menu(this);
    // Qt's own caption, in the language its translation was loaded for.
    menu.addAction(QCoreApplication::translate("QWidgetTextControl", "&Copy"), this,
                   [this] { QGuiApplication::clipboard()->setText(text()); });
    menu.exec(event->globalPos());
}

QSize TElidedLabel::minimumSizeHint() const
{
    // Room for a few characters; the rest is the layout's to give.
    const QSize full = QLabel::minimumSizeHint();
    return {qMin(full.width(), fontMetrics().averageCharWidth() * 8), full.height()};
}

void TElidedLabel::paintEvent(QPaintEvent *event)
{
    const QRect room = textRoom();
    if (!isElided()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter p(this);
    p.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
    p.drawText(room, int(alignment()) | Qt::TextSingleLine,
               fontMetrics().elidedText(text(), Qt::ElideMiddle, room.width()));
}

TComLed::TComLed(QWidget *parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void TComLed::setState(TLedState state)
{
    if (m_state == state)
        return;
    m_state = state;
    update();
}

void TComLed::setComPort(SerialLine *line)
{
    connect(line, &SerialLine::ctsChanged, this, [this](bool on) { setState(on ? lsOn : lsOff); });
}

void TComLed::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int d = qMin(width(), height()) - 4;
    const QRectF r((width() - d) / 2.0, (height() - d) / 2.0, d, d);
    QColor base = m_state == lsOn ? QColor(235, 30, 30) : QColor(90, 20, 20);
    if (!isEnabled())
        base = base.lighter(160).toHsv().convertTo(QColor::Rgb);
    QRadialGradient g(r.center() - QPointF(d / 5.0, d / 5.0), d / 1.5);
    g.setColorAt(0, m_state == lsOn ? QColor(255, 190, 190) : base.lighter(130));
    g.setColorAt(1, base);
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(g);
    p.drawEllipse(r);
}

namespace
{

constexpr int DescriptionRole = Qt::UserRole + 1;

// The drop-down list shows "name   description"; the edit field keeps the bare name,
// which is what the record stores.
class PortItemDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const QString description = index.data(DescriptionRole).toString();
        if (!description.isEmpty())
            option->text += QStringLiteral("   ") + description;
    }
};

} // namespace

TComComboBox::TComComboBox(QWidget *parent) : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // Port names are matched with their letter case.
    completer()->setCaseSensitivity(Qt::CaseSensitive);
    view()->setItemDelegate(new PortItemDelegate(view()));
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setPorts(DetectedPorts::present());
    setCurrentIndex(-1);
    connect(this, &QComboBox::currentTextChanged, this, [this](const QString &text) {
        const int i = findText(text, Qt::MatchExactly);
        setToolTip(i >= 0 ? itemData(i, Qt::ToolTipRole).toString() : m_help);
    });
}

void TComComboBox::setPorts(const QList<DetectedPort> &ports)
{
    const QString text = currentText();
    m_ports = ports;
    clear();
    for (const DetectedPort &port : ports) {
        QString description = port.description;
        QString toolTip = port.toolTip;
        if (port.access.denied) {
            // Said before the user picks it, not only when a transfer fails to open it.
            const QString mark =
                port.access.groupMayUse ? m_noAccess[0].arg(port.access.group) : m_noAccess[1];
            description =
                description.isEmpty() ? mark : description + QStringLiteral(" \u2014 ") + mark;
            toolTip = toolTip.isEmpty() ? mark : mark + u'\n' + toolTip;
        }
        addItem(port.name);
        setItemData(count() - 1, description, DescriptionRole);
        setItemData(count() - 1, toolTip, Qt::ToolTipRole);
    }
    setEditText(text);
}

void TComComboBox::showPopup()
{
    // A /dev/serial/by-id/ name with its description is far wider than the grid cell: the
    // list is as wide as its longest line, but never wider than the screen.
    QAbstractItemView *list = view();
    int wide = list->sizeHintForColumn(0) + 2 * list->frameWidth() +
               style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 8;
    if (const QScreen *s = screen())
        wide = qMin(wide, s->availableGeometry().width() - 16);
    list->setMinimumWidth(qMax(wide, width()));
    QComboBox::showPopup();
}

void TComComboBox::setNoAccessTexts(const QString &withGroup, const QString &withoutGroup)
{
    m_noAccess[0] = withGroup;
    m_noAccess[1] = withoutGroup;
    setPorts(QList<DetectedPort>(m_ports));
}

QStringList TComComboBox::presentPorts()
{
    QStringList names;
    for (const DetectedPort &port : DetectedPorts::present())
        names << port.name;
    return names;
}

QStringList TComComboBox::sortedPortNames(QStringList names)
{
    for (QString &n : names)
        n = n.trimmed();
    names.removeDuplicates();
    names.sort(Qt::CaseSensitive);
    return names;
}

void TComComboBox::setText(const QString &name)
{
    const int i = findText(name, Qt::MatchExactly);
    if (i >= 0)
        setCurrentIndex(i);
}
