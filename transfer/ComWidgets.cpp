#include "transfer/ComWidgets.h"

#include "transfer/SerialLine.h"

#include <QPainter>
#include <QRadialGradient>
#include <QSerialPortInfo>

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
    m_signal = lsCTS;
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

TComComboBox::TComComboBox(QWidget *parent) : QComboBox(parent)
{
    setEditable(false);
    addItems(presentPorts());
    setCurrentIndex(-1);
}

QStringList TComComboBox::presentPorts()
{
    QStringList names;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        names << info.portName();
    return sortedPortNames(names);
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
