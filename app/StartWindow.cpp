#include "app/StartWindow.h"

#include "transfer/PortSetting.h"
#include "transfer/Transport.h"

#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

StartWindow::StartWindow(QWidget *parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("NCFerry"));
    m_portSetting = new QLineEdit(PortSetting::defaultLine(), this);
    m_files = new QListWidget(this);
    m_files->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto *add = new QPushButton(tr("Add files..."), this);
    auto *remove = new QPushButton(tr("Remove"), this);
    auto *send = new QPushButton(QIcon(QStringLiteral(":/icons/send.svg")), tr("Send"), this);
    send->setIconSize(QSize(32, 32));
    connect(add, &QPushButton::clicked, this, &StartWindow::addFiles);
    connect(remove, &QPushButton::clicked, this, [this] { qDeleteAll(m_files->selectedItems()); });
    connect(send, &QPushButton::clicked, this, &StartWindow::openSend);

    auto *form = new QFormLayout;
    form->addRow(tr("Port setting:"), m_portSetting);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addStretch();
    buttons->addWidget(send);
    auto *root = new QVBoxLayout(this);
    root->addLayout(form);
    root->addWidget(new QLabel(tr("Programs to send:"), this));
    root->addWidget(m_files, 1);
    root->addLayout(buttons);
    resize(640, 400);
}

void StartWindow::addFiles()
{
    const QStringList files = QFileDialog::getOpenFileNames(
        this, tr("Programs to send"), QDir::homePath(),
        tr("NC programs (*.nc *.NC *.txt *.tap);;All files (*)"));
    m_files->addItems(files);
}

void StartWindow::openSend()
{
    QStringList files;
    for (int i = 0; i < m_files->count(); ++i)
        files << m_files->item(i)->text();
    auto *window = new TTransport;
    if (!window->setPortSetting(m_portSetting->text())) {
        delete window;
        return;
    }
    window->setFileList(files);
    window->show();
}
