#pragma once
// A send engine wired to a line, with the worker's updates collected in order.
#include "transfer/SendController.h"
#include "transfer/SerialLine.h"
#include "transfer/TransportThread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QVector>
#include <functional>

struct SendRig {
    explicit SendRig(SerialLine *l) : line(l), ctl(l, &worker)
    {
        worker.setComPort(line);
        ctl.setDelays(50, 50);
        QObject::connect(
            &worker, &TransportThread::updatesPending, &worker,
            [this] { updates += worker.takeUpdates(); }, Qt::QueuedConnection);
    }
    ~SendRig()
    {
        worker.stopWorker();
        line->close();
        worker.join();
    }

    bool has(SendUpdate::Kind kind) const
    {
        for (const SendUpdate &u : updates)
            if (u.kind == kind)
                return true;
        return false;
    }
    int count(SendUpdate::Kind kind) const
    {
        int n = 0;
        for (const SendUpdate &u : updates)
            n += u.kind == kind;
        return n;
    }

    // Runs the event loop until `done` holds or the time is up; `poll` runs each turn.
    static bool spin(const std::function<bool()> &done, int timeoutMs,
                     const std::function<void()> &poll = {})
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (poll)
                poll();
            if (done())
                return true;
        }
        return done();
    }

    SerialLine *line;
    TransportThread worker;
    SendController ctl;
    QVector<SendUpdate> updates;
};
