// Timings of the program library at shop scale: listing a large folder against what the
// file system itself costs for the same folder, sorting many rows, and picture previews.
// Every figure is measured several times; the verdict is taken on the median.
#include "library/FileList.h"
#include "library/FileListing.h"
#include "library/JpegImage.h"
#include "library/NotesStore.h"
#include "library/PreviewCache.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

#include <jpeglib.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace
{

const int Runs = 5;

struct Stats {
    double min = 0, median = 0, max = 0;
};

Stats statsOf(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return {v.front(), v[v.size() / 2], v.back()};
}

void printFigure(const char *what, const Stats &s, const char *unit)
{
    std::printf("  %-44s %9.4f %s  (min %.4f, max %.4f)\n", what, s.median, unit, s.min, s.max);
}

int missed = 0;

void verdict(const char *what, double value, const char *unit, const char *target, bool met)
{
    std::printf("  %-44s %9.2f %-3s target %-14s %s\n", what, value, unit, target,
                met ? "ok" : "MISSED");
    if (!met)
        ++missed;
}

// The CPU time of this thread: what a figure costs when other programs share the machine.
double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + ts.tv_nsec / 1e9;
}

double seconds(const std::function<void()> &f)
{
    QElapsedTimer t;
    t.start();
    f();
    return t.nsecsElapsed() / 1e9;
}

// What the file system costs for the folder: one readdir pass and one stat per entry.
qint64 fileSystemPass(const QByteArray &folder)
{
    qint64 bytes = 0;
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return -1;
    const int fd = ::dirfd(dir);
    while (const dirent *e = ::readdir(dir)) {
        if (e->d_type == DT_DIR)
            continue;
        struct stat st;
        if (::fstatat(fd, e->d_name, &st, 0) == 0)
            bytes += st.st_size;
    }
    ::closedir(dir);
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A shop folder: NC programs, one in twenty with a set-up photo beside it.
bool makeFolder(const QString &folder, int files)
{
    if (!QDir().mkpath(folder))
        return false;
    const QDir d(folder);
    for (int i = 0; i < files; ++i) {
        const QString base = QStringLiteral("O%1").arg(i, 6, 10, QChar(u'0'));
        if (!writeFile(d.filePath(base + ".nc"), "%\nO1(PART)\nG0X0\nM30\n%\n"))
            return false;
        if (i % 20 == 0 && !writeFile(d.filePath(base + ".jpg"), "jpg"))
            return false;
    }
    return true;
}

// Notes for every program of folder, and as many for a neighbouring folder, in one
// transaction (the program itself adds them one at a time).
bool fillNotes(const QString &databasePath, const QString &folder, int files)
{
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "fill");
        db.setDatabaseName(databasePath);
        ok = db.open() && db.transaction();
        QSqlQuery q(db);
        q.prepare("insert into FileNote (FilePath, Mark) values (?, ?)");
        for (const QString &f : {folder, folder + QStringLiteral("-old")}) {
            const QString base = FileListing::folderWithSeparator(f);
            for (int i = 0; ok && i < files; ++i) {
                q.addBindValue(base + QStringLiteral("O%1.nc").arg(i, 6, 10, QChar(u'0')));
                q.addBindValue(QStringLiteral("軸 %1 SHAFT").arg(i % 997));
                ok = q.exec();
            }
        }
        ok = ok && db.commit();
    }
    QSqlDatabase::removeDatabase("fill");
    return ok;
}

bool benchListing(const QString &root, int files)
{
    const QString folder = QDir(root).filePath(QStringLiteral("nc%1").arg(files));
    if (!makeFolder(folder, files))
        return false;
    const QString withNotes = QDir(root).filePath(QStringLiteral("notes%1").arg(files));
    const QString without = QDir(root).filePath(QStringLiteral("empty%1").arg(files));
    QDir().mkpath(withNotes);
    QDir().mkpath(without);
    NotesStore notesAll(withNotes), notesNone(without);
    if (!notesAll.open() || !notesNone.open() || !fillNotes(notesAll.databasePath(), folder, files))
        return false;

    const QByteArray folderBytes = QFile::encodeName(folder);
    for (NotesStore *store : {&notesAll, &notesNone}) {
        const bool noted = store == &notesAll;
        std::vector<double> base, list, ratio, notesOnly;
        for (int run = 0; run < Runs + 1; ++run) {
            ListingResult listed;
            const double b = seconds([&] { fileSystemPass(folderBytes); });
            const double l = seconds([&] {
                listed = FileListing::listFolder(folder, QStringLiteral("*.nc"), false, store);
            });
            if (listed.rows.size() != files || listed.rows.first().note.isEmpty() != !noted) {
                std::printf("sanity check failed: %d rows\n", int(listed.rows.size()));
                return false;
            }
            FolderNotes folderNotes;
            const double n = seconds([&] {
                store->loadFolderNotes(FileListing::folderWithSeparator(folder), &folderNotes);
            });
            if (run == 0)
                continue; // the first run warms the caches of both
            notesOnly.push_back(n);
            base.push_back(b);
            list.push_back(l);
            ratio.push_back(l / b);
        }
        std::printf("listing %d files (+%d pictures), notes on %s\n", files, files / 20,
                    noted ? "every file" : "none");
        printFigure("readdir + fstat of every entry (baseline)", statsOf(base), "s");
        printFigure("listing: rows with time, size, note, picture", statsOf(list), "s");
        printFigure("  of which the folder's notes", statsOf(notesOnly), "s");
        const Stats r = statsOf(ratio);
        std::printf("  %-44s %9.2f x  (min %.2f, max %.2f)\n", "listing / baseline", r.median,
                    r.min, r.max);
        verdict("  verdict", r.median, "x", "<= 2x", r.median <= 2.0);
    }
    return true;
}

QVector<FileRow> randomRows(int rows, std::mt19937 &rng)
{
    const auto pick = [&rng](int n) { return int(rng() % unsigned(n)); };
    const QStringList words = {"SHAFT", "軸", "FLANGE", "法蘭", "roughing", "Ölwanne", "", "BASE"};
    QVector<FileRow> data;
    data.reserve(rows);
    for (int i = 0; i < rows; ++i) {
        FileRow r;
        r.name = (pick(4) ? QStringLiteral("O%1.nc") : QStringLiteral("P%1.NC")).arg(pick(1000000));
        r.time = QStringLiteral("20%1-%2-%3 %4:%5:%6")
                     .arg(10 + pick(15))
                     .arg(1 + pick(12), 2, 10, QChar(u'0'))
                     .arg(1 + pick(28), 2, 10, QChar(u'0'))
                     .arg(pick(24), 2, 10, QChar(u'0'))
                     .arg(pick(60), 2, 10, QChar(u'0'))
                     .arg(pick(30) * 2, 2, 10, QChar(u'0'));
        r.size = QString::number((qint64(rng()) << 1) % Q_INT64_C(5000000000));
        r.note = pick(5) ? words.at(pick(words.size())) + QString::number(pick(5000)) : QString();
        r.picture = pick(3) == 0 ? QStringLiteral("Y") : QString();
        data.append(r);
    }
    return data;
}

void benchSort(int rows)
{
    std::mt19937 rng(12);
    const QVector<FileRow> data = randomRows(rows, rng);
    std::printf("sorting %d rows, each sort from a fresh random order (wall; cpu of the thread)\n",
                rows);
    const char *names[] = {"name", "time", "size", "note", "picture"};
    FileList list;
    for (int c = 0; c < ColumnCount; ++c) {
        for (bool ascending : {true, false}) {
            std::vector<double> times, cpuTimes;
            for (int run = 0; run < Runs; ++run) {
                QVector<FileRow> shuffled = data;
                std::shuffle(shuffled.begin(), shuffled.end(), rng);
                list.setRows(std::move(shuffled));
                const double cpu = threadCpuSeconds();
                times.push_back(seconds([&] { list.sortRows(c, 0, rows - 1, ascending); }));
                cpuTimes.push_back(threadCpuSeconds() - cpu);
            }
            const QByteArray what =
                QByteArray("by ") + names[c] + (ascending ? " ascending" : " descending");
            const Stats s = statsOf(times);
            std::printf("  %-22s %7.4f s (min %.4f, max %.4f; cpu %.4f)  target <= 0.1 s  %s\n",
                        what.constData(), s.median, s.min, s.max, statsOf(cpuTimes).median,
                        s.median <= 0.1 ? "ok" : "MISSED");
            if (s.median > 0.1)
                ++missed;
        }
    }
}

// A set-up photo as a camera writes it: 6000 x 4000, smooth shapes under sensor noise.
QByteArray photo(int width, int height)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char *out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 92, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<unsigned char> row(size_t(width) * 3);
    std::mt19937 rng(7);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = int(cinfo.next_scanline);
        for (int x = 0; x < width; ++x) {
            const int noise = int(rng() % 25) - 12;
            const int base = ((x / 300 + y / 200) % 2) * 90 + (x * 60 / width) + (y * 40 / height);
            for (int c = 0; c < 3; ++c)
                row[size_t(x * 3 + c)] =
                    static_cast<unsigned char>(std::clamp(base + c * 30 + noise, 0, 255));
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    QByteArray bytes(reinterpret_cast<const char *>(out), qsizetype(outSize));
    jpeg_destroy_compress(&cinfo);
    std::free(out);
    return bytes;
}

bool benchPreview(const QString &root)
{
    const QString picture = QDir(root).filePath(QStringLiteral("O1000.jpg"));
    const QByteArray bytes = photo(6000, 4000);
    if (!writeFile(picture, bytes))
        return false;
    const QSize pane(400, 300);
    PreviewCache cache(QDir(root).filePath(QStringLiteral("cache")));
    std::vector<double> full, eighth, first, repeat;
    for (int run = 0; run < Runs + 1; ++run) {
        QImage image;
        const double f = seconds([&] { image = JpegImage::load(picture); });
        if (image.size() != QSize(6000, 4000))
            return false;
        const double e = seconds([&] { image = JpegImage::load(picture, pane); });
        QFile::remove(cache.entryPath(picture));
        const double v1 = seconds([&] { image = cache.load(picture, pane); });
        if (cache.lastSource() != PreviewCache::Decoded)
            return false;
        cache.waitForWrites(); // not part of the view: the pane never waits for it
        const double v2 = seconds([&] { image = cache.load(picture, pane); });
        if (cache.lastSource() != PreviewCache::FromCache || image.size() != QSize(750, 500))
            return false;
        cache.waitForWrites();
        if (run == 0)
            continue; // warms the file cache
        full.push_back(f);
        eighth.push_back(e);
        first.push_back(v1);
        repeat.push_back(v2);
    }
    std::printf("picture preview, %.1f MB JPEG of 6000 x 4000 shown at 400 x 300\n",
                bytes.size() / 1e6);
    const Stats sf = statsOf(full), se = statsOf(eighth), s1 = statsOf(first), s2 = statsOf(repeat);
    printFigure("full decode", sf, "s");
    printFigure("1/8-scale decode", se, "s");
    printFigure("first view (cache empty)", s1, "s");
    printFigure("repeated view (from the cache)", s2, "s");
    verdict("first view / 1/8-scale decode", s1.median / se.median, "x", "<= 1.2x",
            s1.median <= 1.2 * se.median);
    verdict("full decode / repeated view", sf.median / s2.median, "x", ">= 20x",
            sf.median >= 20 * s2.median);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    // A section name as argument runs only that section: listing, sort, preview.
    const QString only = app.arguments().value(1);
    std::printf("(median of %d runs; verdicts on the median)\n", Runs);
    if (only.isEmpty() || only == u"listing")
        for (int files : {20000, 100000})
            if (!benchListing(dir.path(), files))
                return 1;
    if (only.isEmpty() || only == u"sort")
        benchSort(100000);
    if ((only.isEmpty() || only == u"preview") && !benchPreview(dir.path())) {
        std::printf("preview sanity check failed\n");
        return 1;
    }
    std::printf(missed ? "%d figures MISSED their target\n" : "every figure met its target\n",
                missed);
    return 0;
}
