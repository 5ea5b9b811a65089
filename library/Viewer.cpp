#include "library/Viewer.h"

#include "library/JpegImage.h"
#include "settings/LanguagePack.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

void ViewerPicture::setImage(const QImage &image)
{
    m_image = image;
    m_halves.clear();
    m_scaled = QImage();
    m_shown = QSize();
    update();
}

void ViewerPicture::setShownSize(const QSize &size)
{
    if (size == m_shown)
        return;
    m_shown = size;
    // Reduced copies are made once per size; an enlarged picture is drawn straight from the
    // original, only where it is exposed, so a large zoom costs no memory.
    if (!m_image.isNull() && size.width() <= m_image.width() && size.height() <= m_image.height() &&
        size != m_image.size()) {
        const QImage *source = &m_image;
        for (int level = 0;; ++level) {
            const QSize half = source->size() / 2;
            if (half.width() < size.width() || half.height() < size.height())
                break;
            if (level == m_halves.size())
                m_halves.append(
                    source->scaled(half, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
            source = &m_halves[level];
        }
        m_scaled = source->scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    } else
        m_scaled = QImage();
    update();
}

void ViewerPicture::paintEvent(QPaintEvent *)
{
    if (m_image.isNull() || m_shown.isEmpty())
        return;
    QPainter p(this);
    const QRect target(QPoint((width() - m_shown.width()) / 2, (height() - m_shown.height()) / 2),
                       m_shown);
    if (!m_scaled.isNull()) {
        p.drawImage(target.topLeft(), m_scaled);
    } else {
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(target, m_image);
    }
}

void ViewerPicture::mousePressEvent(QMouseEvent *event)
{
    emit pressed(event->position().toPoint());
}

void ViewerPicture::mouseReleaseEvent(QMouseEvent *event)
{
    emit released(event->position().toPoint());
}

TViewer::TViewer(QWidget *parent) : QDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::WindowMaximizeButtonHint);
    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setWidgetResizable(false);
    ScrollBox1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_canvas = new QWidget;
    ImageVewer = new ViewerPicture(m_canvas);
    ScrollBox1->setWidget(m_canvas);
    ScrollBox1->viewport()->installEventFilter(this);
    ImageVewer->installEventFilter(this);

    auto button = [this](const QString &icon) {
        auto *b = new QToolButton(this);
        b->setIcon(QIcon(icon));
        b->setIconSize(QSize(64, 64));
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setMinimumSize(71, 91);
        b->setAutoRaise(true);
        return b;
    };
    FitButton = button(QStringLiteral(":/viewer/icons/fit.svg"));
    ActualButton = button(QStringLiteral(":/viewer/icons/actual.svg"));
    ZoomInButton = button(QStringLiteral(":/viewer/icons/zoomin.svg"));
    ZoomOutButton = button(QStringLiteral(":/viewer/icons/zoomout.svg"));
    // Tests find the controls by these names.
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ImageVewer->setObjectName(QStringLiteral("ImageVewer"));
    FitButton->setObjectName(QStringLiteral("FitButton"));
    ActualButton->setObjectName(QStringLiteral("ActualButton"));
    ZoomInButton->setObjectName(QStringLiteral("ZoomInButton"));
    ZoomOutButton->setObjectName(QStringLiteral("ZoomOutButton"));
    connect(FitButton, &QToolButton::clicked, this, &TViewer::FitButtonClick);
    connect(ActualButton, &QToolButton::clicked, this, &TViewer::ActualButtonClick);
    connect(ZoomInButton, &QToolButton::clicked, this, &TViewer::ZoomInButtonClick);
    connect(ZoomOutButton, &QToolButton::clicked, this, &TViewer::ZoomOutButtonClick);
    auto *bar = new QHBoxLayout;
    // Equal stretches either side keep the four buttons in the middle.
    bar->addStretch(1);
    for (QToolButton *b : {FitButton, ActualButton, ZoomInButton, ZoomOutButton})
        bar->addWidget(b);
    bar->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ScrollBox1, 1);
    layout->addLayout(bar);
    resize(492, 366);

    connect(ImageVewer, &ViewerPicture::pressed, this, [this](const QPoint &pos) {
        MouseX = pos.x();
        MouseY = pos.y();
    });
    connect(ImageVewer, &ViewerPicture::released, this, [this](const QPoint &pos) {
        const QPoint by = scrollAfterRelease(QPoint(MouseX, MouseY), pos);
        ScrollBox1->verticalScrollBar()->setValue(ScrollBox1->verticalScrollBar()->value() +
                                                  by.y());
        ScrollBox1->horizontalScrollBar()->setValue(ScrollBox1->horizontalScrollBar()->value() +
                                                    by.x());
    });

    centreTimer = new QTimer(this);
    centreTimer->setInterval(CentreInterval);
    connect(centreTimer, &QTimer::timeout, this, &TViewer::centre);
    setLanguage(LanguagePack::builtIn(LanguagePack::Viewer));
}

bool TViewer::setImageFile(const QString &path)
{
    m_error.clear();
    const QImage image = JpegImage::load(path);
    if (image.isNull()) {
        m_error = QFileInfo::exists(path)
                      ? QStringLiteral("The picture \"%1\" cannot be read: it is not a JPEG "
                                       "picture or it is damaged.")
                            .arg(QDir::toNativeSeparators(path))
                      : QStringLiteral("The picture \"%1\" does not exist.")
                            .arg(QDir::toNativeSeparators(path));
        return false;
    }
    m_path = path;
    ImageX = image.width();
    ImageY = image.height();
    m_geometry.setPicture(image.size());
    ImageVewer->setImage(image);
    updateCaption();
    centre();
    return true;
}

void TViewer::setLanguage(const QStringList &lines)
{
    const auto line = [&](int i) { return LanguagePack::caption(lines, LanguagePack::Viewer, i); };
    TitleStr = line(0);
    FitButton->setText(line(1));
    ActualButton->setText(line(2));
    ZoomInButton->setText(line(3));
    ZoomOutButton->setText(line(4));
    updateCaption();
}

void TViewer::updateCaption()
{
    setWindowTitle(m_path.isEmpty() ? TitleStr
                                    : QDir::toNativeSeparators(m_path) + u'-' + TitleStr);
}

void TViewer::FitButtonClick()
{
    m_geometry.fit();
    centre();
}

void TViewer::ActualButtonClick()
{
    m_geometry.actualSize();
    centre();
}

void TViewer::ZoomInButtonClick()
{
    m_geometry.setInside(ScrollBox1->viewport()->size());
    m_geometry.zoomIn();
    centre();
}

void TViewer::ZoomOutButtonClick()
{
    m_geometry.setInside(ScrollBox1->viewport()->size());
    m_geometry.zoomOut();
    centre();
}

bool TViewer::isCentring() const
{
    return centreTimer->isActive();
}

void TViewer::centre()
{
    // The inside is what the scroll area shows without its bars: a box that overflows
    // gets bars, and the bars must not shrink the space a fitted picture is measured in.
    QSize inside = ScrollBox1->maximumViewportSize();
    m_geometry.setInside(inside);
    if (m_geometry.fitMode()) {
        m_canvas->resize(inside);
        ImageVewer->setGeometry(QRect(QPoint(0, 0), inside));
    } else {
        const QSize box = m_geometry.box();
        m_canvas->resize(std::max(box.width(), inside.width()),
                         std::max(box.height(), inside.height()));
        // With bars showing, the free space is the viewport's.
        m_geometry.setInside(ScrollBox1->viewport()->size());
        ImageVewer->setGeometry(QRect(m_geometry.boxPosition(), box));
        m_canvas->resize(std::max(box.width(), ScrollBox1->viewport()->width()),
                         std::max(box.height(), ScrollBox1->viewport()->height()));
    }
    ImageVewer->setShownSize(m_geometry.shownSize());
}

void TViewer::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    updateCaption();
    if (const QScreen *screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        move((area.right() + 1 - frameGeometry().width()) / 2,
             (area.bottom() + 1 - frameGeometry().height()) / 2);
    }
    centre();
    centreTimer->start();
}

void TViewer::hideEvent(QHideEvent *event)
{
    QDialog::hideEvent(event);
    if (event->spontaneous())
        return; // minimised, not closed
    centreTimer->stop();
    m_geometry.fit();
    // The viewer lives as long as the program: a large picture is not kept between uses.
    ImageVewer->setImage(QImage());
    centre();
}

void TViewer::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    centre();
}

bool TViewer::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Wheel &&
        (watched == ScrollBox1->viewport() || watched == ImageVewer)) {
        // One step per notch: away from the user zooms in.
        m_wheel += static_cast<QWheelEvent *>(event)->angleDelta().y();
        while (m_wheel >= 120) {
            m_wheel -= 120;
            ZoomInButtonClick();
        }
        while (m_wheel <= -120) {
            m_wheel += 120;
            ZoomOutButtonClick();
        }
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
