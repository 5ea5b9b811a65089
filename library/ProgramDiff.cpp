#include "library/ProgramDiff.h"

#include "settings/NcText.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <vector>

namespace
{

// Myers' greedy diff keeps one V array per edit distance for the walk back, so its memory
// grows with d², and its work with (n + m) · d. Past these limits the region left after the
// common ends are stripped is taken as one hunk (all removed, then all added), and the block
// numbers pair what they can: programs that far apart are not worth seconds of work.
constexpr int MaxEdits = 2000;
constexpr qint64 MaxSteps = 40'000'000;

enum class Op { Same, Removed, Added };

// Edit script from a to b, or false when the limits are reached.
bool myers(const std::vector<int> &a, const std::vector<int> &b, std::vector<Op> *ops)
{
    const int n = int(a.size());
    const int m = int(b.size());
    const int maxD = std::min(n + m, MaxEdits);
    std::vector<int> v(2 * size_t(maxD) + 3, 0);
    const int off = maxD + 1;
    std::vector<int> trace; // V[-d..d] after step d, at d*d
    qint64 steps = 0;
    int found = -1;
    for (int d = 0; d <= maxD && found < 0; ++d) {
        for (int k = -d; k <= d; k += 2) {
            int x = (k == -d || (k != d && v[off + k - 1] < v[off + k + 1])) ? v[off + k + 1]
                                                                             : v[off + k - 1] + 1;
            int y = x - k;
            const int snakeFrom = x;
            while (x < n && y < m && a[x] == b[y]) {
                ++x;
                ++y;
            }
            steps += 1 + (x - snakeFrom);
            v[off + k] = x;
            if (x >= n && y >= m) {
                found = d;
                break;
            }
        }
        trace.insert(trace.end(), v.begin() + off - d, v.begin() + off + d + 1);
        if (steps > MaxSteps)
            return false;
    }
    if (found < 0)
        return false;

    std::vector<Op> rev;
    int x = n;
    int y = m;
    for (int d = found; d > 0; --d) {
        const int *prev = trace.data() + size_t(d - 1) * size_t(d - 1) + (d - 1);
        const int k = x - y;
        const bool down = k == -d || (k != d && prev[k - 1] < prev[k + 1]);
        const int pk = down ? k + 1 : k - 1;
        const int px = prev[pk];
        const int py = px - pk;
        const int sx = down ? px : px + 1; // where the edit lands, the snake starts
        while (x > sx) {
            rev.push_back(Op::Same);
            --x;
            --y;
        }
        rev.push_back(down ? Op::Added : Op::Removed);
        x = px;
        y = py;
    }
    while (x > 0) {
        rev.push_back(Op::Same);
        --x;
        --y;
    }
    ops->assign(rev.rbegin(), rev.rend());
    return true;
}

// One hunk's removed lines [l0, l1) and added lines [r0, r1) as rows: equal block numbers
// pair in order as Changed; between those pairs, lines without a block number pair up in
// order as Changed; everything else stays Removed (before) and Added.
void emitHunk(const QStringList &left, const QStringList &right, int l0, int l1, int r0, int r1,
              QList<DiffRow> *rows)
{
    if (l0 == l1 || r0 == r1) {
        for (int i = l0; i < l1; ++i)
            rows->append({DiffRow::Removed, i, -1});
        for (int j = r0; j < r1; ++j)
            rows->append({DiffRow::Added, -1, j});
        return;
    }
    std::vector<QString> ln(size_t(l1 - l0));
    std::vector<QString> rn(size_t(r1 - r0));
    for (int i = l0; i < l1; ++i)
        ln[size_t(i - l0)] = ProgramDiff::blockNumber(left.at(i));
    QHash<QString, std::vector<int>> byNumber; // right lines of each block number, in order
    for (int j = r0; j < r1; ++j) {
        rn[size_t(j - r0)] = ProgramDiff::blockNumber(right.at(j));
        if (!rn[size_t(j - r0)].isEmpty())
            byNumber[rn[size_t(j - r0)]].push_back(j);
    }

    std::vector<std::pair<int, int>> numbered; // a greedy in-order match, so rows stay in order
    int lastRight = r0 - 1;
    for (int i = l0; i < l1; ++i) {
        const QString &num = ln[size_t(i - l0)];
        if (num.isEmpty())
            continue;
        const auto it = byNumber.constFind(num);
        if (it == byNumber.cend())
            continue;
        const auto next = std::upper_bound(it->begin(), it->end(), lastRight);
        if (next == it->end())
            continue;
        numbered.emplace_back(i, *next);
        lastRight = *next;
    }
    numbered.emplace_back(l1, r1); // end mark

    int i = l0;
    int j = r0;
    // Equal lines meet here only in a hunk the diff gave up on: they are the same, not changed.
    auto pair = [&] {
        rows->append({left.at(i) == right.at(j) ? DiffRow::Same : DiffRow::Changed, i, j});
        ++i;
        ++j;
    };
    auto flush = [&](int li, int rj) {
        // Lines without a block number pair up in order; the rest come out as they stand.
        std::vector<int> plainL;
        std::vector<int> plainR;
        for (int a = i; a < li; ++a)
            if (ln[size_t(a - l0)].isEmpty())
                plainL.push_back(a);
        for (int b = j; b < rj; ++b)
            if (rn[size_t(b - r0)].isEmpty())
                plainR.push_back(b);
        const size_t pairs = std::min(plainL.size(), plainR.size());
        for (size_t p = 0; p < pairs; ++p) {
            for (; i < plainL[p]; ++i)
                rows->append({DiffRow::Removed, i, -1});
            for (; j < plainR[p]; ++j)
                rows->append({DiffRow::Added, -1, j});
            pair();
        }
        for (; i < li; ++i)
            rows->append({DiffRow::Removed, i, -1});
        for (; j < rj; ++j)
            rows->append({DiffRow::Added, -1, j});
    };
    for (const auto &[li, rj] : numbered) {
        flush(li, rj);
        if (li < l1)
            pair();
    }
}

} // namespace

ProgramDiff::ReadResult ProgramDiff::readProgram(const QString &path, QStringList *lines,
                                                 QString *error)
{
    lines->clear();
    // A pipe or a device would hold the window until it ends, if it ends.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        *error = QStringLiteral("not a file");
        return ReadResult::Unreadable;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = f.errorString();
        return ReadResult::Unreadable;
    }
    if (f.size() > MaxFileBytes)
        return ReadResult::TooLarge;
    // Read to the limit only: the file may grow while it is read.
    const QByteArray bytes = f.read(MaxFileBytes + 1);
    if (bytes.size() > MaxFileBytes)
        return ReadResult::TooLarge;
    if (f.error() != QFileDevice::NoError) {
        *error = f.errorString();
        return ReadResult::Unreadable;
    }
    *lines = NcText::fromBytes(bytes).split(u'\n');
    if (!lines->isEmpty() && lines->last().isEmpty())
        lines->removeLast(); // the line end of the last line
    for (QString &line : *lines)
        if (line.endsWith(u'\r'))
            line.chop(1);
    return ReadResult::Read;
}

QString ProgramDiff::blockNumber(const QString &line)
{
    const qsizetype n = line.size();
    qsizetype p = 0;
    auto skipBlanks = [&] {
        while (p < n && (line.at(p) == u' ' || line.at(p) == u'\t'))
            ++p;
    };
    skipBlanks();
    if (p < n && line.at(p) == u'/') {
        ++p;
        skipBlanks();
    }
    if (p >= n || (line.at(p) != u'N' && line.at(p) != u'n'))
        return {};
    ++p;
    skipBlanks();
    const qsizetype start = p;
    while (p < n && line.at(p).isDigit() && line.at(p).unicode() < 128)
        ++p;
    if (p == start)
        return {};
    qsizetype first = start;
    while (first < p - 1 && line.at(first) == u'0')
        ++first;
    return line.mid(first, p - first);
}

QList<DiffRow> DiffPrograms(const QStringList &left, const QStringList &right)
{
    const int n = int(left.size());
    const int m = int(right.size());
    int head = 0;
    while (head < n && head < m && left.at(head) == right.at(head))
        ++head;
    int tail = 0;
    while (tail < n - head && tail < m - head && left.at(n - 1 - tail) == right.at(m - 1 - tail))
        ++tail;

    QList<DiffRow> rows;
    rows.reserve(std::max(n, m));
    for (int i = 0; i < head; ++i)
        rows.append({DiffRow::Same, i, i});

    // Lines as numbers, so the diff compares integers.
    QHash<QString, int> ids;
    std::vector<int> a;
    std::vector<int> b;
    a.reserve(size_t(n - head - tail));
    b.reserve(size_t(m - head - tail));
    for (int i = head; i < n - tail; ++i) {
        auto it = ids.find(left.at(i));
        if (it == ids.end())
            it = ids.insert(left.at(i), int(ids.size()));
        a.push_back(it.value());
    }
    for (int j = head; j < m - tail; ++j) {
        const auto it = ids.constFind(right.at(j));
        b.push_back(it == ids.cend() ? -1 - j : it.value()); // a line only on the right
    }
    std::vector<Op> ops;
    if (!myers(a, b, &ops)) {
        ops.assign(a.size(), Op::Removed);
        ops.insert(ops.end(), b.size(), Op::Added);
    }

    int i = head;
    int j = head;
    size_t k = 0;
    while (k < ops.size()) {
        if (ops[k] == Op::Same) {
            rows.append({DiffRow::Same, i++, j++});
            ++k;
            continue;
        }
        const int l0 = i;
        const int r0 = j;
        for (; k < ops.size() && ops[k] != Op::Same; ++k)
            ops[k] == Op::Removed ? ++i : ++j;
        emitHunk(left, right, l0, i, r0, j, &rows);
    }
    for (int t = 0; t < tail; ++t)
        rows.append({DiffRow::Same, n - tail + t, m - tail + t});
    return rows;
}

QStringList DiffText(const QStringList &left, const QStringList &right, const QList<DiffRow> &rows)
{
    const int width = int(QString::number(std::max(left.size(), right.size())).size());
    auto number = [width](int line) {
        return line < 0 ? QString(width, u' ') : QStringLiteral("%1").arg(line + 1, width);
    };
    auto out = [&](const char *mark, int l, int r, const QString &text) {
        return QLatin1String(mark) + number(l) + u' ' + number(r) + u' ' + text;
    };
    QStringList lines;
    lines.reserve(rows.size());
    for (const DiffRow &row : rows) {
        switch (row.kind) {
        case DiffRow::Same:
            lines << out("  ", row.leftLine, row.rightLine, left.at(row.leftLine));
            break;
        case DiffRow::Removed:
            lines << out("- ", row.leftLine, -1, left.at(row.leftLine));
            break;
        case DiffRow::Added:
            lines << out("+ ", -1, row.rightLine, right.at(row.rightLine));
            break;
        case DiffRow::Changed:
            lines << out("~ ", row.leftLine, -1, left.at(row.leftLine));
            lines << out("~ ", -1, row.rightLine, right.at(row.rightLine));
            break;
        }
    }
    return lines;
}
