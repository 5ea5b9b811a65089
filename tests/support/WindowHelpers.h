#pragma once
// Helpers for window tests: answering modal boxes and activating a window offscreen.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

// A window's control by its object name; a missing one ends the test run at once.
template <typename T, typename Window> T *named(const Window &window, const char *name)
{
    T *control = window->template findChild<T *>(QString::fromLatin1(name));
    if (!control)
        qFatal("no control named %s", name);
    return control;
}

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

// Presses one button of the next question box and remembers its text; `asked` stays false
// when no box came up.
struct BoxAnswer {
    QString text;
    bool asked = false;
    void arm(QMessageBox::StandardButton button, int afterMs = 50)
    {
        QTimer::singleShot(afterMs, [this, button] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                asked = true;
                text = box->text();
                if (QAbstractButton *b = box->button(button))
                    b->click();
            }
        });
    }
};
