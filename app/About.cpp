#include "app/About.h"

#include "settings/LanguagePack.h"
#include "settings/UnitFunction.h"
#include "settings/WindowPlace.h"

#include <QCoreApplication>
#include <QLabel>
#include <QVBoxLayout>

TAbout::TAbout(QWidget *parent) : QDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("關於..."));
    QFont font = this->font();
    font.setPixelSize(16);
    StaticText1 = new QLabel(this);
    StaticText1->setAlignment(Qt::AlignCenter);
    StaticText1->setFont(font);
    StaticText1->setMinimumHeight(24);
    StaticText2 = new QLabel(this);
    StaticText2->setAlignment(Qt::AlignCenter);
    StaticText2->setFont(font);
    StaticText2->setFrameShape(QFrame::Panel);
    StaticText2->setFrameShadow(QFrame::Sunken);
    StaticText2->setWordWrap(true);
    StaticText1->setObjectName(QStringLiteral("StaticText1"));
    StaticText2->setObjectName(QStringLiteral("StaticText2"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(StaticText1);
    layout->addWidget(StaticText2, 1);
    resize(377, 242);
}

void TAbout::setLanguage(const QStringList &lines)
{
    const auto line = [&](int i) { return LanguagePack::caption(lines, LanguagePack::About, i); };
    setWindowTitle(line(0) + QStringLiteral("..."));
    StaticText1->setText(line(1) + QStringLiteral(" Ver") +
                         GetFileVersion(QCoreApplication::applicationFilePath()));
    QString rest;
    for (int i = 2; i < lines.size(); ++i)
        rest += lines[i] + QLatin1Char('\n');
    StaticText2->setText(rest);
}

void TAbout::showEvent(QShowEvent *event)
{
    // A fixed box (no maximising, no resizing), grown only where the font needs room.
    setFixedSize(QSize(377, 242).expandedTo(sizeHint()));
    QDialog::showEvent(event);
    WindowPlace::centre(this);
}
