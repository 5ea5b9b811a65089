#include "settings/WindowPlace.h"

#include <QScreen>
#include <QWidget>

QPoint WindowPlace::centred(const QRect &workArea, const QSize &frame)
{
    return {workArea.x() + qMax(0, (workArea.width() - frame.width()) / 2),
            workArea.y() + qMax(0, (workArea.height() - frame.height()) / 2)};
}

void WindowPlace::centre(QWidget *window)
{
    if (const QScreen *screen = window->screen())
        window->move(centred(screen->availableGeometry(), window->frameGeometry().size()));
}
