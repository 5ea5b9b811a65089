#pragma once
// One auto-mode line on a pty for the link tests: the program side opens the slave, the test
// or a simulator plays the far end on the master.
#include "PtyPair.h"
#include "SendRig.h"
#include "automode/AutoLink.h"
#include "settings/PortSetting.h"
#include "transfer/LineControl.h"
#include "transfer/PortSerialLine.h"

#include <memory>

namespace AutoRig
{

inline QByteArray sentForm(const QByteArray &content)
{
    QByteArray b = content;
    b.replace('O', ':');
    return LineControl::DC2 + b + LineControl::DC4;
}

inline bool spin(const std::function<bool()> &done, int timeoutMs = 5000)
{
    return SendRig::spin(done, timeoutMs);
}

struct Line {
    Line(const QString &type, const QString &flow, const QString &work)
        : pty(std::make_unique<PtyPair>())
    {
        port = {"LATHE1",
                pty->slavePath(),
                QString::number(PtyPair::FastBaud),
                "None",
                "8",
                "1",
                flow,
                work,
                "*.nc",
                type};
        timings.promptTimeoutMs = 3000;
        timings.selectPauseMs = 20;
        timings.afterFileMs = 10;
        timings.holdFlushMs = 50;
    }
    ~Line()
    {
        link.reset();
        line.close();
    }
    bool open(const AutoMode::GeneralValues &values)
    {
        LineSettings settings;
        if (!PortSetting::toLineSettings(port, &settings, nullptr, nullptr))
            return false;
        line.setSettings(settings);
        QString error;
        if (!line.open(&error))
            return false;
        link = std::make_unique<AutoMode::AutoLink>(
            &line, PortProfile::fromFields(port), [values] { return values; }, timings);
        QObject::connect(link.get(), &AutoMode::AutoLink::logEvent, link.get(),
                         [this](const AutoMode::LogEvent &e) {
                             log << e.status + u' ' + e.kind + u' ' + e.path;
                         });
        QObject::connect(link.get(), &AutoMode::AutoLink::problem, link.get(),
                         [this](const QString &text) { problems << text; });
        QObject::connect(link.get(), &AutoMode::AutoLink::resolved, link.get(),
                         [this](const QString &text) { resolved << text; });
        link->start();
        return true;
    }
    // The adapter or cable is plugged in again: the same line object on a new device.
    bool reopen()
    {
        line.close();
        pty = std::make_unique<PtyPair>();
        LineSettings settings = line.settings();
        settings.portName = pty->slavePath();
        line.setSettings(settings);
        QString error;
        return line.open(&error);
    }
    bool idle() const { return link->sendList().isEmpty() && !link->threadOver(); }
    bool problemSays(const QString &text) const
    {
        for (const QString &p : problems)
            if (p.contains(text))
                return true;
        return false;
    }

    std::unique_ptr<PtyPair> pty;
    PortSerialLine line;
    QStringList port;
    AutoMode::LinkTimings timings;
    std::unique_ptr<AutoMode::AutoLink> link;
    QStringList log;
    QStringList problems;
    QStringList resolved;
};

} // namespace AutoRig
