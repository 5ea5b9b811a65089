// ThreadSanitizer build only. QWaitCondition::wait() releases and retakes the caller's QMutex
// inside Qt, which is not built with ThreadSanitizer, while Qt's inline QMutex::lock() and
// unlock() in our code are annotated: ThreadSanitizer then sees the mutex held twice and
// reports every access it guards. Our calls reach this wrapper first (the executable's
// definition binds before libQt6Core's); it tells ThreadSanitizer about the release and the
// retake and calls Qt's own function.
#include <QDeadlineTimer>
#include <QMutex>
#include <QWaitCondition>

#include <dlfcn.h>
#include <limits>
#include <sanitizer/tsan_interface.h>

namespace
{

using Wait = bool (*)(QWaitCondition *, QMutex *, QDeadlineTimer);

Wait qtWait()
{
    static const Wait wait = reinterpret_cast<Wait>(
        dlsym(RTLD_NEXT, "_ZN14QWaitCondition4waitEP6QMutex14QDeadlineTimer"));
    return wait;
}

} // namespace

bool QWaitCondition::wait(QMutex *lockedMutex, QDeadlineTimer deadline)
{
    __tsan_mutex_pre_unlock(lockedMutex, 0);
    __tsan_mutex_post_unlock(lockedMutex, 0);
    const bool woken = qtWait()(this, lockedMutex, deadline);
    __tsan_mutex_pre_lock(lockedMutex, 0);
    __tsan_mutex_post_lock(lockedMutex, 0, 0);
    return woken;
}

bool QWaitCondition::wait(QMutex *lockedMutex, unsigned long time)
{
    if (time == std::numeric_limits<unsigned long>::max())
        return wait(lockedMutex, QDeadlineTimer(QDeadlineTimer::Forever));
    return wait(lockedMutex, QDeadlineTimer(qint64(time)));
}
