#pragma once
// Where a window opens: in the middle of the work area of its screen.
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace WindowPlace
{
// The top-left corner that centres a frame of this size in the work area. A frame larger
// than the area starts at the area's edge, so its title bar stays within reach.
QPoint centred(const QRect &workArea, const QSize &frame);
// Moves the window, frame and all, to the middle of its screen's work area.
void centre(QWidget *window);
} // namespace WindowPlace
