#pragma once
// The image viewer: a program's picture fitted, at actual size or zoomed (buttons and the
// wheel), scrolled by pressing and releasing the mouse on it. One viewer is reused for every
// picture and returns to fit mode when it closes.
#include "library/ViewerGeometry.h"

#include <QDialog>
#include <QImage>
#include <QStringList>

class QScrollArea;
class QTimer;
class QToolButton;

class ViewerPicture : public QWidget
{
    Q_OBJECT
public:
    explicit ViewerPicture(QWidget *parent = nullptr) : QWidget(parent) {}
    void setImage(const QImage &image);
    // The size the picture is drawn at, centred in the widget.
    void setShownSize(const QSize &size);
    QSize shownSize() const { return m_shown; }

signals:
    void pressed(const QPoint &pos);
    void released(const QPoint &pos);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QImage m_image;
    // Halved copies, made once per picture, so each zoom step scales from the smallest one
    // that still covers the size shown instead of from the whole picture.
    QList<QImage> m_halves;
    QImage m_scaled; // the picture reduced to m_shown, made once per size
    QSize m_shown;
};

class TViewer : public QDialog
{
    Q_OBJECT
public:
    static constexpr int CentreInterval = 500; // ms

    explicit TViewer(QWidget *parent = nullptr);

    // False when the picture cannot be loaded; errorText() then says why.
    bool setImageFile(const QString &path);
    QString errorText() const { return m_error; }
    void setLanguage(const QStringList &lines);
    void setWindowsSize(const QString &) {}
    QString getWindowsSize() const { return QString(); }
    QString getWindowsSizeDefault() const { return QString(); }

    void FitButtonClick();
    void ActualButtonClick();
    void ZoomInButtonClick();
    void ZoomOutButtonClick();
    // Lays the picture out by the current mode and the centring rule.
    void centre();

    const ViewerGeometry &geometry() const { return m_geometry; }
    // The picture's size in pixels, as loaded.
    QSize imageSize() const { return QSize(ImageX, ImageY); }
    // Whether the picture is re-laid out on the centring timer.
    bool isCentring() const;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Controls, found by their object names.
    QScrollArea *ScrollBox1;
    ViewerPicture *ImageVewer;
    QToolButton *FitButton, *ActualButton, *ZoomInButton, *ZoomOutButton;

    void updateCaption();

    QTimer *centreTimer;
    int ImageY = 0, ImageX = 0;
    int MouseY = 0, MouseX = 0;
    QString TitleStr;

    ViewerGeometry m_geometry;
    QWidget *m_canvas;
    QString m_path;
    QString m_error;
    int m_wheel = 0;
};
