#pragma once
// SerialLine on a real port: QSerialPort owned by an I/O thread of its own.
#include "transfer/DeviceClaim.h"
#include "transfer/SerialLine.h"

#include <QMutex>
#include <QThread>

#include <atomic>

class PortIoWorker;

class PortSerialLine : public SerialLine
{
    Q_OBJECT
public:
    // How often CTS is looked at while the handshake paces by it; without the handshake it
    // only lights the window's lamp.
    static constexpr int CtsPollMs = 10;
    static constexpr int CtsLampPollMs = 100;
    // A line with no modem status is looked at only as a backstop: a hang-up or an unplugged
    // adapter reaches the read notifier by itself.
    static constexpr int IdleCheckMs = 1000;
    // How often the device node is looked for while the line is open.
    static constexpr int DeviceCheckMs = 250;

    explicit PortSerialLine(QObject *parent = nullptr);
    ~PortSerialLine() override;

    // True while a line of this program has the port open.
    static bool isOpenHere(const QString &portName);

    bool setSettings(const LineSettings &settings, QString *error = nullptr) override;
    LineSettings settings() const override;
    bool open(QString *error) override;
    void close() override;
    void drainAndClose() override;
    bool isConnected() const override { return m_connected.load(); }
    qint64 write(const QByteArray &bytes) override;
    qint64 outputQueued() const override;
    bool cts() const override { return m_cts.load(); }
    bool hasModemLines() const override { return m_modemLines.load(); }

private slots:
    void deliverCts(bool on);

private:
    friend class PortIoWorker;
    void closeLine(bool discardOutput);
    void markLost(const QString &message);
    bool transmitterEmpty() const override;
    static QString lostText(const QString &port);

    QMutex m_openMutex;
    QThread m_ioThread;
    PortIoWorker *m_worker = nullptr;
    std::atomic<bool> m_connected{false};
    std::atomic<bool> m_closing{false};
    std::atomic<bool> m_cts{false};
    std::atomic<bool> m_modemLines{true};
    // The device, taken from every other line of the program until close or loss.
    DeviceClaim m_claim;

    mutable QMutex m_writeMutex;
    std::atomic<int> m_fd{-1};
};
