#pragma once
// The colour dialog: one swatch per letter A-Z. Created once and shown modally by editor
// windows; ColorList, the colours its exit button returns to, carries over between uses.
#include <QColor>
#include <QDialog>
#include <QLabel>
#include <QList>
#include <QStringList>
#include <functional>

class QGroupBox;
class QPushButton;

// A sunken box filled with its colour; painted, not a styled label, since 26 of them are
// made at start-up.
class ColorSwatch : public QWidget
{
    Q_OBJECT
public:
    explicit ColorSwatch(int tag, QWidget *parent = nullptr);
    void setColor(const QColor &color);
    QColor color() const { return m_color; }
    int tag() const { return m_tag; }
    QSize sizeHint() const override { return QSize(44, 22); }
signals:
    void clicked(int tag);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    int m_tag;
    QColor m_color;
};

class TColorDialogs : public QDialog
{
    Q_OBJECT
public:
    explicit TColorDialogs(QWidget *parent = nullptr);

    void setColor(const QStringList &list);
    QStringList getColor() const;
    QStringList defColor();
    void setLanguage(const QStringList &lines);
    QStringList colorList() const { return ColorList; }

    // The system colour picker; replaceable so that tests need no native dialog.
    std::function<QColor(const QColor &initial, QWidget *parent)> pickColor;

protected:
    void showEvent(QShowEvent *event) override;

private:
    // Controls, found by their object names; the swatches are "StaticTextA" to "StaticTextZ".
    QGroupBox *GroupBox1;
    QList<ColorSwatch *> StaticText; // A..Z
    QPushButton *OKButton, *defButton, *CancelButton;

    void StaticTextClick(int tag);
    void OKButtonClick();
    void defButtonClick();
    void CancelButtonClick();

    QStringList ColorList;
};
