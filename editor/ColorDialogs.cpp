#include "editor/ColorDialogs.h"

#include "editor/ColorText.h"
#include "settings/LanguagePack.h"

#include <QColorDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <qdrawutil.h>

ColorSwatch::ColorSwatch(int tag, QWidget *parent) : QWidget(parent), m_tag(tag)
{
    setMinimumSize(40, 22);
    setCursor(Qt::PointingHandCursor);
}

void ColorSwatch::setColor(const QColor &color)
{
    m_color = color;
    setToolTip(ColorText::write(ColorText::fromColor(color)));
    update();
}

void ColorSwatch::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QBrush fill(m_color);
    qDrawShadePanel(&p, rect(), palette(), true, 2, &fill);
}

void ColorSwatch::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked(m_tag);
    QWidget::mouseReleaseEvent(event);
}

TColorDialogs::TColorDialogs(QWidget *parent) : QDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    pickColor = [](const QColor &initial, QWidget *owner) {
        return QColorDialog::getColor(initial, owner);
    };

    GroupBox1 = new QGroupBox(this);
    auto *grid = new QGridLayout(GroupBox1);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(6);
    const QList<QColor> defaults = ColorText::letterColors(ColorText::defaultLetterColors());
    for (int i = 0; i < ColorText::LetterCount; ++i) {
        // Three pairs of columns: A-I, J-R, S-Z.
        const int pair = i / 9, row = i % 9;
        auto *label = new QLabel(QString(QChar(u'A' + i)) + u':', GroupBox1);
        label->setAlignment(Qt::AlignCenter);
        auto *swatch = new ColorSwatch(i, GroupBox1);
        swatch->setObjectName(QStringLiteral("StaticText") + QChar(u'A' + i));
        swatch->setColor(defaults.at(i));
        connect(swatch, &ColorSwatch::clicked, this, &TColorDialogs::StaticTextClick);
        grid->addWidget(label, row, pair * 2);
        grid->addWidget(swatch, row, pair * 2 + 1);
        StaticText << swatch;
    }

    OKButton = new QPushButton(this);
    defButton = new QPushButton(this);
    CancelButton = new QPushButton(this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    OKButton->setObjectName(QStringLiteral("OKButton"));
    defButton->setObjectName(QStringLiteral("defButton"));
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    auto *bar = new QHBoxLayout;
    // Equal stretches either side keep the three buttons centred at any width.
    bar->addStretch(1);
    bar->addWidget(OKButton);
    bar->addSpacing(20);
    bar->addWidget(defButton);
    bar->addSpacing(20);
    bar->addWidget(CancelButton);
    bar->addStretch(1);
    for (QPushButton *b : {OKButton, defButton, CancelButton}) {
        b->setMinimumWidth(55);
        b->setAutoDefault(false);
    }
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &TColorDialogs::OKButtonClick);
    connect(defButton, &QPushButton::clicked, this, &TColorDialogs::defButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &TColorDialogs::CancelButtonClick);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox1);
    layout->addLayout(bar);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setLanguage(LanguagePack::builtIn(LanguagePack::Editor));
    ColorList = getColor();
}

void TColorDialogs::setColor(const QStringList &list)
{
    const QList<QColor> colors = ColorText::letterColors(list);
    for (int i = 0; i < StaticText.size(); ++i)
        StaticText[i]->setColor(colors.at(i));
}

QStringList TColorDialogs::getColor() const
{
    QStringList list;
    for (const ColorSwatch *s : StaticText)
        list << ColorText::write(ColorText::fromColor(s->color()));
    return list;
}

QStringList TColorDialogs::defColor()
{
    setColor(ColorText::defaultLetterColors());
    return getColor();
}

void TColorDialogs::setLanguage(const QStringList &lines)
{
    const auto line = [&](int i) { return LanguagePack::caption(lines, LanguagePack::Editor, i); };
    setWindowTitle(line(7));
    GroupBox1->setTitle(line(10));
    OKButton->setText(line(11));
    defButton->setText(line(12));
    CancelButton->setText(line(13));
}

void TColorDialogs::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (const QScreen *screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        move((area.right() + 1 - frameGeometry().width()) / 2,
             (area.bottom() + 1 - frameGeometry().height()) / 2);
    }
}

void TColorDialogs::StaticTextClick(int tag)
{
    ColorSwatch *swatch = StaticText.value(tag);
    if (!swatch || !pickColor)
        return;
    const QColor chosen = pickColor(swatch->color(), this);
    if (chosen.isValid())
        swatch->setColor(chosen);
}

void TColorDialogs::OKButtonClick()
{
    ColorList = getColor();
    accept();
}

void TColorDialogs::defButtonClick()
{
    ColorList = defColor();
    accept();
}

void TColorDialogs::CancelButtonClick()
{
    setColor(ColorList);
    reject();
}
