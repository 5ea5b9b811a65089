#include "library/PreviewCache.h"

#include "library/JpegImage.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace
{

const char Magic[8] = {'N', 'C', 'F', 'p', 'v', '1', '\r', '\n'};
// A queue longer than this drops its oldest writes: a user paging through a folder of
// photos must not pile up memory, and the newest pictures are the likeliest to come back.
const size_t MaxQueuedWrites = 4;
const qint64 MaxEntryBytes = 512LL * 1024 * 1024;

// Fixed part of an entry, followed by the picture's path (UTF-8) and its pixel rows.
struct Header {
    char magic[8];
    qint64 sourceSize;
    qint64 sourceTime; // nanoseconds since the epoch
    qint32 fullWidth, fullHeight, scale;
    qint32 width, height, format, bytesPerLine;
    qint32 pathLength;
    quint64 checksum; // of the pixel rows
};

// The file's size and modification time; false when it is not there.
bool identify(const QString &path, qint64 *size, qint64 *time)
{
#ifdef Q_OS_UNIX
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    *size = qint64(st.st_size);
#ifdef Q_OS_DARWIN
    const timespec &modified = st.st_mtimespec;
#else
    const timespec &modified = st.st_mtim;
#endif
    *time = qint64(modified.tv_sec) * 1000000000 + modified.tv_nsec;
#else
    const QFileInfo fi(path);
    if (!fi.isFile())
        return false;
    *size = fi.size();
    *time = fi.lastModified().toMSecsSinceEpoch() * 1000000;
#endif
    return true;
}

// Eight bytes at a time: cheap enough to check every entry that is read.
quint64 checksum(const uchar *data, size_t length)
{
    quint64 h = 0x9E3779B97F4A7C15ULL ^ length;
    size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        quint64 w;
        std::memcpy(&w, data + i, 8);
        h = (h ^ w) * 0x100000001B3ULL;
        h ^= h >> 29;
    }
    for (; i < length; ++i)
        h = (h ^ data[i]) * 0x100000001B3ULL;
    return h;
}

bool plausible(const Header &h)
{
    return h.width > 0 && h.height > 0 && h.width <= 65535 && h.height <= 65535 &&
           h.bytesPerLine >= h.width && h.bytesPerLine <= h.width * 8 && h.pathLength >= 0 &&
           (h.format == QImage::Format_Grayscale8 || h.format == QImage::Format_RGB888 ||
            h.format == QImage::Format_RGB32);
}

QByteArray serialise(const QByteArray &path, qint64 size, qint64 time, const QSize &full, int scale,
                     const QImage &image)
{
    Header h{};
    std::memcpy(h.magic, Magic, sizeof Magic);
    h.sourceSize = size;
    h.sourceTime = time;
    h.fullWidth = full.width();
    h.fullHeight = full.height();
    h.scale = scale;
    h.width = image.width();
    h.height = image.height();
    h.format = image.format();
    h.bytesPerLine = int(image.bytesPerLine());
    h.pathLength = int(path.size());
    const size_t pixels = size_t(image.sizeInBytes());
    h.checksum = checksum(image.constBits(), pixels);
    QByteArray out;
    out.reserve(qsizetype(sizeof h) + path.size() + qsizetype(pixels));
    out.append(reinterpret_cast<const char *>(&h), sizeof h);
    out.append(path);
    out.append(reinterpret_cast<const char *>(image.constBits()), qsizetype(pixels));
    return out;
}

// The entry's picture when it is whole and describes this very file at this reduction.
QImage deserialise(const QByteArray &bytes, const QByteArray &path, qint64 size, qint64 time,
                   const QSize &target)
{
    Header h;
    if (bytes.size() < qsizetype(sizeof h))
        return {};
    std::memcpy(&h, bytes.constData(), sizeof h);
    if (std::memcmp(h.magic, Magic, sizeof Magic) != 0 || !plausible(h) || h.sourceSize != size ||
        h.sourceTime != time || h.pathLength != path.size())
        return {};
    const qsizetype pixels = qsizetype(h.bytesPerLine) * h.height;
    if (bytes.size() != qsizetype(sizeof h) + h.pathLength + pixels ||
        std::memcmp(bytes.constData() + sizeof h, path.constData(), size_t(path.size())) != 0 ||
        h.scale != JpegImage::scaleNumerator(QSize(h.fullWidth, h.fullHeight), target))
        return {};
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData()) + sizeof h + h.pathLength;
    if (checksum(data, size_t(pixels)) != h.checksum)
        return {};
    QImage image(h.width, h.height, QImage::Format(h.format));
    if (image.isNull() || image.bytesPerLine() != h.bytesPerLine)
        return {};
    std::memcpy(image.bits(), data, size_t(pixels));
    return image;
}

} // namespace

QString PreviewCache::defaultFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::CacheLocation))
        .filePath(QStringLiteral("previews"));
}

PreviewCache::PreviewCache(const QString &folder, qint64 maxBytes)
    : m_folder(folder), m_maxBytes(maxBytes)
{
}

PreviewCache::~PreviewCache()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

QString PreviewCache::entryPath(const QString &path) const
{
    const QByteArray key = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha1);
    return QDir(m_folder).filePath(QString::fromLatin1(key.toHex()) + QStringLiteral(".pv"));
}

QImage PreviewCache::load(const QString &path, const QSize &target)
{
    m_lastSource = Nothing;
    qint64 size = 0, time = 0;
    if (!identify(path, &size, &time))
        return {};
    const QString entry = entryPath(path);
    const QByteArray pathBytes = path.toUtf8();
    QFile file(entry);
    // Anything larger than a picture of the largest size an entry can describe is damage.
    if (file.open(QIODevice::ReadOnly) && file.size() <= MaxEntryBytes) {
        QImage cached = deserialise(file.readAll(), pathBytes, size, time, target);
        if (!cached.isNull()) {
            m_lastSource = FromCache;
            Job used;
            used.entry = entry;
            enqueue(std::move(used));
            return cached;
        }
    }
    // Missing, stale or damaged: decode, and store the picture anew.
    Job job;
    job.image = JpegImage::load(path, target, &job.full);
    if (job.image.isNull())
        return {};
    m_lastSource = Decoded;
    // The image is shared with the writer, not copied; the pane only reads it.
    const QImage image = job.image;
    job.entry = entry;
    job.write = true;
    job.path = pathBytes;
    job.size = size;
    job.time = time;
    job.scale = JpegImage::scaleNumerator(job.full, target);
    enqueue(std::move(job));
    return image;
}

void PreviewCache::enqueue(Job job)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (job.write) {
            size_t writes = 0;
            for (const Job &j : m_jobs)
                writes += j.write;
            if (writes >= MaxQueuedWrites) {
                for (auto it = m_jobs.begin(); it != m_jobs.end(); ++it)
                    if (it->write) {
                        m_jobs.erase(it);
                        break;
                    }
            }
        } else if (m_jobs.size() >= 64) {
            return; // marking an entry as used is only a hint for eviction
        }
        m_jobs.push_back(std::move(job));
        if (!m_thread.joinable())
            m_thread = std::thread([this] { run(); });
    }
    m_wake.notify_one();
}

void PreviewCache::waitForWrites()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_idle.wait(lock, [this] { return m_jobs.empty() && !m_busy; });
}

void PreviewCache::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
        if (m_jobs.empty()) // stopping, nothing left to write
            return;
        Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_busy = true;
        lock.unlock();
        if (job.write)
            store(job);
        else
            markUsed(job.entry);
        job = Job(); // the picture is released outside the lock
        lock.lock();
        m_busy = false;
        if (m_jobs.empty())
            m_idle.notify_all();
    }
}

void PreviewCache::markUsed(const QString &entry)
{
#ifdef Q_OS_UNIX
    ::utimensat(AT_FDCWD, QFile::encodeName(entry).constData(), nullptr, 0);
#else
    QFile file(entry);
    if (file.open(QIODevice::ReadWrite))
        file.setFileTime(QDateTime::currentDateTimeUtc(), QFileDevice::FileModificationTime);
#endif
}

void PreviewCache::store(const Job &job)
{
    // A cache that cannot be written is no worse than none; nothing is reported.
    if (!QDir().mkpath(m_folder))
        return;
    const QByteArray bytes =
        serialise(job.path, job.size, job.time, job.full, job.scale, job.image);
    QSaveFile file(job.entry);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return;
    evict();
}

void PreviewCache::evict()
{
    // Newest first; every entry beyond the bound, counted from the newest, goes.
    const QFileInfoList entries =
        QDir(m_folder).entryInfoList({QStringLiteral("*.pv")}, QDir::Files, QDir::Time);
    qint64 total = 0;
    for (const QFileInfo &fi : entries) {
        total += fi.size();
        if (total > m_maxBytes)
            QFile::remove(fi.filePath());
    }
}
