#include "library/ViewerGeometry.h"

#include <algorithm>
#include <cfenv>
#include <cmath>

int ViewerGeometry::roundEven(double value)
{
    // std::nearbyint follows the rounding mode, which is to-nearest-even unless changed.
    const int mode = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(value);
    std::fesetround(mode);
    return int(r);
}

QSize ViewerGeometry::scaledToFit(const QSize &picture, const QSize &box)
{
    if (picture.isEmpty() || box.isEmpty())
        return QSize(0, 0);
    const double sx = double(box.width()) / picture.width();
    const double sy = double(box.height()) / picture.height();
    if (sx <= sy)
        return QSize(box.width(), std::max(1, roundEven(picture.height() * sx)));
    return QSize(std::max(1, roundEven(picture.width() * sy)), box.height());
}

QSize ViewerGeometry::fitBox() const
{
    const int W = m_inside.width(), H = m_inside.height();
    const int X = m_picture.width(), Y = m_picture.height();
    if (X <= 0 || Y <= 0)
        return QSize(W, H);
    if (H > Y && W > X)
        return QSize(X, Y);
    if (H < Y && W < X) {
        const double wr = double(W) / X, hr = double(H) / Y;
        if (wr < hr)
            return QSize(W, roundEven(wr * Y));
        return QSize(roundEven(hr * X), H);
    }
    if (H > Y && W < X)
        return QSize(W, roundEven(double(W) / X * Y));
    if (H < Y && W > X)
        return QSize(roundEven(double(H) / Y * X), H);
    return QSize(W, H);
}

void ViewerGeometry::actualSize()
{
    m_fit = false;
    m_box = m_picture;
}

void ViewerGeometry::zoom(bool in)
{
    if (m_fit) {
        m_box = fitBox();
        m_fit = false;
    }
    const double f = in ? ZoomStep : 1.0 / ZoomStep;
    m_box = QSize(roundEven(m_box.width() * f), roundEven(m_box.height() * f));
}

QSize ViewerGeometry::shownSize() const
{
    if (m_fit) {
        if (m_picture.width() <= m_inside.width() && m_picture.height() <= m_inside.height())
            return m_picture;
        return scaledToFit(m_picture, m_inside);
    }
    return scaledToFit(m_picture, m_box);
}

QPoint ViewerGeometry::boxPosition() const
{
    if (m_fit)
        return QPoint(0, 0);
    const int dx = m_inside.width() - m_box.width();
    const int dy = m_inside.height() - m_box.height();
    return QPoint(dx > 0 ? dx / 2 : 0, dy > 0 ? dy / 2 : 0);
}

QSize ViewerGeometry::scrollRange() const
{
    if (m_fit)
        return QSize(0, 0);
    return QSize(std::max(0, m_box.width() - m_inside.width()),
                 std::max(0, m_box.height() - m_inside.height()));
}
