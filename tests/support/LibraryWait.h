#pragma once
// Waits until every job the library engine posted has run.
#include "library/LibraryEngine.h"

#include <QSignalSpy>
#include <QTest>

inline void waitIdle(LibraryEngine &engine)
{
    if (engine.jobQueue()->pendingJobs() == 0)
        return;
    QSignalSpy idle(engine.jobQueue(), &LibraryJobQueue::idle);
    QVERIFY(idle.wait(5000));
}
