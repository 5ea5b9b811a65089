#include "editor/LetterColoring.h"

#include "editor/ColorText.h"

namespace LetterColoring
{

QList<ColorRun> lineRuns(QStringView line)
{
    QList<ColorRun> runs;
    const int n = int(line.size());
    int mark = -1;
    int letter = -1;
    for (int i = 0; i < n; ++i) {
        const QChar c = line.at(i);
        if (!isAddressLetter(c))
            continue;
        if (mark >= 0)
            runs.append({mark, i - mark, letter});
        letter = c.unicode() - u'A';
        mark = i;
    }
    if (mark >= 0)
        runs.append({mark, n - mark, letter});
    else
        runs.append({0, n, -1});
    return runs;
}

} // namespace LetterColoring

LetterHighlighter::LetterHighlighter(QTextDocument *document) : QSyntaxHighlighter(document)
{
    setColors(ColorText::letterColors(ColorText::defaultLetterColors()));
}

void LetterHighlighter::setColors(const QList<QColor> &colors)
{
    m_colors = colors;
    m_formats.clear();
    for (int i = 0; i <= ColorText::LetterCount; ++i) {
        QTextCharFormat f;
        f.setForeground(i < colors.size() && i < ColorText::LetterCount ? colors.at(i)
                                                                        : QColor(Qt::black));
        m_formats << f;
    }
}

void LetterHighlighter::highlightBlock(const QString &text)
{
    const QList<ColorRun> runs = LetterColoring::lineRuns(text);
    for (const ColorRun &run : runs)
        setFormat(run.start, run.length,
                  m_formats.at(run.letter < 0 ? ColorText::LetterCount : run.letter));
}
