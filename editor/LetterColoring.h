#pragma once
// Letter colouring of NC text: every upper-case address letter A-Z and what follows it, up
// to the next upper-case letter or the line end, take the letter's colour. A line without
// an upper-case letter is black; characters before a line's first upper-case letter keep
// whatever colour they had (typed text keeps its typing colour).
#include <QColor>
#include <QList>
#include <QStringView>
#include <QSyntaxHighlighter>

struct ColorRun {
    int start = 0;
    int length = 0;
    int letter = -1; // 0 = A ... 25 = Z; -1 black
    bool operator==(const ColorRun &o) const
    {
        return start == o.start && length == o.length && letter == o.letter;
    }
};

namespace LetterColoring
{
// The runs of one line (without its line break). Positions not covered keep their colour.
QList<ColorRun> lineRuns(QStringView line);
inline bool isAddressLetter(QChar c)
{
    return c >= u'A' && c <= u'Z';
}
} // namespace LetterColoring

// Applies the runs to a text document, line by line. Only lines that change are coloured
// again as the user types; rehighlight() colours the whole text.
class LetterHighlighter : public QSyntaxHighlighter
{
    Q_OBJECT
public:
    explicit LetterHighlighter(QTextDocument *document);
    // 26 colours, A first.
    void setColors(const QList<QColor> &colors);
    const QList<QColor> &colors() const { return m_colors; }

protected:
    void highlightBlock(const QString &text) override;

private:
    QList<QColor> m_colors;
    QList<QTextCharFormat> m_formats; // 26 letters, then black
};
