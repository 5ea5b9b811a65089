#pragma once
// Where and how large the image viewer shows its picture, free of widgets: fit mode (the
// picture centred in the area, scaled down but never up) or box mode (a box of its own
// size, the picture scaled to fit it), zoom steps of 1.1 and the centring rule.
#include <QPoint>
#include <QSize>

class ViewerGeometry
{
public:
    static constexpr double ZoomStep = 1.1;

    void setPicture(const QSize &size) { m_picture = size; }
    QSize picture() const { return m_picture; }
    // The inside of the scroll area (its client area).
    void setInside(const QSize &size) { m_inside = size; }
    QSize inside() const { return m_inside; }

    bool fitMode() const { return m_fit; }
    QSize box() const { return m_box; }

    void fit() { m_fit = true; }
    void actualSize();
    void zoomIn() { zoom(true); }
    void zoomOut() { zoom(false); }

    // The size at which the picture is drawn: in fit mode scaled down to the inside when
    // larger, else as it is; in box mode the largest size of the picture's proportions that
    // fits the box.
    QSize shownSize() const;
    // The box that fit mode hands to the first zoom step.
    QSize fitBox() const;
    // Top-left of the box in the scrollable content: centred in a free dimension, at the
    // start of the content in a dimension it overflows.
    QPoint boxPosition() const;
    // The scroll range the box needs: the box's extent beyond the inside, never negative.
    QSize scrollRange() const;

    // Rounds to the nearest integer, a half to the even neighbour.
    static int roundEven(double value);
    static QSize scaledToFit(const QSize &picture, const QSize &box);

private:
    void zoom(bool in);

    QSize m_picture;
    QSize m_inside;
    QSize m_box;
    bool m_fit = true;
};

// The scroll change after the mouse was pressed at `press` and released at `release`: the
// picture follows the pointer.
inline QPoint scrollAfterRelease(const QPoint &press, const QPoint &release)
{
    return press - release;
}
