#pragma once
// The I/O thread's side of a PortSerialLine: creates and owns the QSerialPort there.
#include "settings/LineSettings.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSerialPort>
#include <QString>

class PortSerialLine;
class QTimer;

class PortIoWorker : public QObject
{
    Q_OBJECT
public:
    explicit PortIoWorker(PortSerialLine *line) : m_line(line) {}

public slots:
    bool doOpen(const LineSettings &s, QString *error);
    bool doApply(const LineSettings &s, QString *error);
    void doClose(bool discardOutput);
    int handle() const { return m_port ? int(m_port->handle()) : -1; }
    bool ctsReadable() const { return m_ctsReadable; }
    qint64 doWrite(const QByteArray &bytes, int timeoutMs);
    // The far end has gone: stop reading at once (a hung-up descriptor reports readable
    // for ever) and let the owner decide when to close.
    void goneAway();

private:
    bool apply(const LineSettings &s, QString *error);
    void onReadyRead();
    void onError(QSerialPort::SerialPortError e);
    bool hungUp() const;
    void poll();
    int pollInterval() const;

    PortSerialLine *m_line;
    QSerialPort *m_port = nullptr;
    QTimer *m_pollTimer = nullptr;
    QString m_portName;
    QString m_devicePath;
    QElapsedTimer m_deviceChecked;
    bool m_handshake = false;
    bool m_ctsReadable = true;
    bool m_cts = false;
};
