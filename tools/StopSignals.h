#pragma once
// SIGINT and SIGTERM as an event: the command finishes what it must keep (a program half
// received) instead of dying with it.
#include <QObject>

class QSocketNotifier;

class StopSignals : public QObject
{
    Q_OBJECT
public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

signals:
    void stopRequested(int signalNumber);

private:
    QSocketNotifier *m_notifier = nullptr;
};
