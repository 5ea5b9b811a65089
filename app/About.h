#pragma once
// The about box: the program's name and version over the lines of the about section.
#include <QDialog>

class QLabel;

class TAbout : public QDialog
{
    Q_OBJECT
public:
    explicit TAbout(QWidget *parent = nullptr);
    void setLanguage(const QStringList &lines);

protected:
    void showEvent(QShowEvent *event) override;

private:
    QLabel *StaticText1;
    QLabel *StaticText2;
};
