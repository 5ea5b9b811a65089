#pragma once
// A plain start window: pick a port setting line and files, open a send window.
#include <QWidget>

class QLineEdit;
class QListWidget;

class StartWindow : public QWidget
{
    Q_OBJECT
public:
    explicit StartWindow(QWidget *parent = nullptr);

private:
    void addFiles();
    void openSend();

    QLineEdit *m_portSetting;
    QListWidget *m_files;
};
