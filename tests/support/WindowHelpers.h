#pragma once
// Helpers for window tests: answering modal boxes and activating a window offscreen.
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

// Answers the next modal box and remembers what it said.
struct BoxCatcher {
    QString title, text;
    void arm()
    {
        QTimer::singleShot(50, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                title = box->windowTitle();
                text = box->text();
                box->accept();
            }
        });
    }
};

inline void showActive(QWidget *w)
{
    w->show();
    QApplication::setActiveWindow(w);
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
}
