#pragma once
// Reduced pictures kept on disk, so that a set-up photo shown again is read, not decoded.
// Entries are keyed by the picture's path, size and modification time; the folder is kept
// under a size bound by removing the entries used longest ago.
#include <QImage>
#include <QSize>
#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

class PreviewCache
{
public:
    static constexpr qint64 DefaultMaxBytes = 256LL * 1024 * 1024;
    // "previews" in the user's cache folder.
    static QString defaultFolder();

    explicit PreviewCache(const QString &folder, qint64 maxBytes = DefaultMaxBytes);
    // Writes still queued are finished first.
    ~PreviewCache();
    PreviewCache(const PreviewCache &) = delete;
    PreviewCache &operator=(const PreviewCache &) = delete;

    QString folder() const { return m_folder; }
    // The picture as JpegImage::load(path, target) gives it; from the cache when it holds the
    // picture at its present size and time for the same reduction. A decoded picture is
    // stored by a background thread: this never waits for a disk write.
    QImage load(const QString &path, const QSize &target);

    enum Source { Nothing, FromCache, Decoded };
    // Where the last load's picture came from (Nothing: no picture).
    Source lastSource() const { return m_lastSource; }
    // The file holding path's entry.
    QString entryPath(const QString &path) const;
    // Blocks until every queued write is done; for tests and the benchmark.
    void waitForWrites();

private:
    struct Job {
        QString entry;
        bool write = false; // otherwise: mark the entry as just used
        // For a write: the picture and what identifies it.
        QByteArray path;
        qint64 size = 0, time = 0;
        QSize full;
        int scale = 8;
        QImage image;
    };
    void enqueue(Job job);
    void run();
    void store(const Job &job);
    void markUsed(const QString &entry);
    void evict();

    QString m_folder;
    qint64 m_maxBytes;
    Source m_lastSource = Nothing;

    std::mutex m_mutex;
    std::condition_variable m_wake, m_idle;
    std::deque<Job> m_jobs;
    bool m_busy = false;
    bool m_stop = false;
    std::thread m_thread; // started with the first job
};
