// The editor and the viewer: opening and colouring a 1 MB program, one key press at its
// end, and zoom steps on a 24-megapixel picture. Median of several runs each.
#include "editor/Editor.h"
#include "library/Viewer.h"

#include "JpegFixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QToolButton>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace
{
double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// About 20 bytes a line, every line with several address letters, like a milling program.
QByteArray program(int lines)
{
    QByteArray text("%\r\nO1000(BENCH PART)\r\n");
    for (int i = 0; i < lines - 4; ++i)
        text += "N" + QByteArray::number(i % 10000) + "G01X" + QByteArray::number(i % 997) +
                ".5Y-" + QByteArray::number(i % 313) + ".\r\n";
    return text + "M30\r\n%\r\n";
}

void settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("BIG.nc"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(program(50000)) < 0)
            return 1;
    }
    const double megabytes = QFileInfo(path).size() / 1e6;

    std::vector<double> open, key;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer clock;
        clock.start();
        auto *editor = new TEditor(nullptr, nullptr);
        editor->resize(800, 600);
        editor->setFileName(path);
        editor->show();
        settle();
        open.push_back(clock.nsecsElapsed() / 1e6);
        if (editor->findChild<QPlainTextEdit *>(QStringLiteral("RichEdit1"))
                ->document()
                ->blockCount() < 50000)
            return 2;

        // Typing at the end recolours only the line typed in.
        editor->findChild<QPlainTextEdit *>(QStringLiteral("RichEdit1"))
            ->moveCursor(QTextCursor::End);
        editor->findChild<QPlainTextEdit *>(QStringLiteral("RichEdit1"))
            ->moveCursor(QTextCursor::PreviousBlock);
        editor->findChild<QPlainTextEdit *>(QStringLiteral("RichEdit1"))
            ->moveCursor(QTextCursor::EndOfBlock);
        settle();
        for (int k = 0; k < 5; ++k) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::ShiftModifier, QStringLiteral("X"));
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_X, Qt::ShiftModifier,
                              QStringLiteral("X"));
            clock.restart();
            QCoreApplication::sendEvent(
                editor->findChild<QPlainTextEdit *>(QStringLiteral("RichEdit1")), &press);
            QCoreApplication::sendEvent(
                editor->findChild<QPlainTextEdit *>(QStringLiteral("RichEdit1")), &release);
            editor->findChild<QPlainTextEdit *>(QStringLiteral("RichEdit1"))->viewport()->repaint();
            key.push_back(clock.nsecsElapsed() / 1e6);
        }
        editor->setAttribute(Qt::WA_DeleteOnClose, false);
        delete editor;
    }
    const double openMs = median(open);
    std::printf("open and colour %.2f MB, 50,000 lines: %.0f ms (%.2f ms per 1,000 lines); "
                "target <= 500 ms\n",
                megabytes, openMs, openMs / 50.0);
    std::printf("one key press at the end of that program, recoloured and painted: %.2f ms "
                "(median of %zu); target <= 16 ms\n",
                median(key), key.size());

    const QString picture = dir.filePath(QStringLiteral("BIG.jpg"));
    {
        QFile f(picture);
        if (!f.open(QIODevice::WriteOnly) || f.write(JpegFixture::encode(6000, 4000, 3)) < 0)
            return 1;
    }
    TViewer viewer;
    viewer.resize(1000, 750);
    QElapsedTimer clock;
    clock.start();
    if (!viewer.setImageFile(picture))
        return 3;
    const double load = clock.nsecsElapsed() / 1e6;
    viewer.show();
    settle();
    std::vector<double> in, out;
    for (int i = 0; i < 8; ++i) {
        clock.restart();
        viewer.findChild<QToolButton *>(QStringLiteral("ZoomInButton"))->click();
        viewer.findChild<QScrollArea *>(QStringLiteral("ScrollBox1"))->viewport()->repaint();
        in.push_back(clock.nsecsElapsed() / 1e6);
    }
    for (int i = 0; i < 8; ++i) {
        clock.restart();
        viewer.findChild<QToolButton *>(QStringLiteral("ZoomOutButton"))->click();
        viewer.findChild<QScrollArea *>(QStringLiteral("ScrollBox1"))->viewport()->repaint();
        out.push_back(clock.nsecsElapsed() / 1e6);
    }
    clock.restart();
    viewer.findChild<QToolButton *>(QStringLiteral("ActualButton"))->click();
    viewer.findChild<QScrollArea *>(QStringLiteral("ScrollBox1"))->viewport()->repaint();
    const double actual = clock.nsecsElapsed() / 1e6;
    std::printf("24-megapixel picture (6000 x 4000): load %.0f ms; zoom in step %.1f ms, zoom "
                "out step %.1f ms (medians of 8, painted); actual size %.1f ms\n",
                load, median(in), median(out), actual);
    return 0;
}
