#pragma once
// The indicator light and the port list that go with a serial line.
#include "transfer/DetectedPorts.h"

#include <QComboBox>
#include <QLabel>
#include <QWidget>

class SerialLine;

// One line of text that gives way to the window: a long port name is shortened in the middle
// ("...") rather than widening the window, and the whole text is in the tooltip.
class TElidedLabel : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;
    // The text, and a tooltip that is the text unless given.
    void setFullText(const QString &text, const QString &tip = QString());
    QSize minimumSizeHint() const override;
    // Selectable by mouse while the whole text shows; shortened, a Copy menu takes the whole.
    void setSelectable(bool on);
    bool isElided() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    QRect textRoom() const;
    void updateInteraction();
    bool m_selectable = false;
};

class TComLed : public QWidget
{
    Q_OBJECT
public:
    enum TLedState { lsOff, lsOn };

    explicit TComLed(QWidget *parent = nullptr);

    TLedState State() const { return m_state; }
    void setState(TLedState state);
    bool isOn() const { return m_state == lsOn; }
    // Bound to CTS: follows each CTS change, before the window's own handler runs
    // (bind before the window connects its handler).
    void setComPort(SerialLine *line);

    QSize sizeHint() const override { return {18, 18}; }

protected:
    void paintEvent(QPaintEvent *) override;

private:
    TLedState m_state = lsOff;
};

// Ports present on the system, read once, sorted as text ("COM10" before "COM2"), then the
// stable /dev/serial/by-id/ names. Editable: any port name or device path may be typed.
// The list shows each port's description; its tooltip adds manufacturer and serial number.
class TComComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit TComComboBox(QWidget *parent = nullptr);
    static QStringList presentPorts();
    // Replaces the items; for tests and a re-scan.
    void setPorts(const QList<DetectedPort> &ports);
    // Blanks removed, duplicates dropped, sorted as text: "COM10" before "COM2".
    static QStringList sortedPortNames(QStringList names);
    void setText(const QString &name);
    // Shown for a typed name that is no detected port.
    void setHelp(const QString &help) { m_help = help; }
    // The mark on a port this user may not open: with the group to join (%1), and without.
    void setNoAccessTexts(const QString &withGroup, const QString &withoutGroup);
    void showPopup() override;

private:
    QString m_help;
    QList<DetectedPort> m_ports;
    QString m_noAccess[2];
};
