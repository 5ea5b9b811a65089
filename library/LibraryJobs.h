#pragma once
// The main window's jobs: each worker hands its job to the GUI thread, where the jobs run
// one at a time, in the order started, each after the event that started it.
#include <QObject>
#include <QQueue>

#include <functional>

class QString;

class LibraryJobQueue : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    void post(std::function<void()> job);
    int pendingJobs() const { return int(m_jobs.size()) + (m_running ? 1 : 0); }

signals:
    // Every posted job has run.
    void idle();

private:
    void schedule();
    void runNext();

    QQueue<std::function<void()>> m_jobs;
    bool m_scheduled = false;
    bool m_running = false;
};

// The job bodies the workers run. The library engine implements them, so the workers need
// not know the engine that posts them.
class LibraryJobBodies
{
public:
    virtual void runListing(const QString &path, const QString &ext, bool rootSelected) = 0;
    virtual void runSort(int column, int left, int right, bool ascending) = 0;
    virtual void runKeyWord(const QString &keyword, int column) = 0;
    virtual void runPreview(const QString &filePath, const QString &checkImage) = 0;

protected:
    ~LibraryJobBodies() = default;
};

// Workers are created, given their parameters by their setter, then started; each frees
// itself after its job has run.
class LibraryWorker : public QObject
{
    Q_OBJECT
public:
    // The worker is a child of the queue; both must outlive the start of the job.
    LibraryWorker(LibraryJobQueue *queue, LibraryJobBodies *bodies);
    void start();

signals:
    void finished();

protected:
    virtual void Execute() = 0;
    LibraryJobQueue *m_queue;
    LibraryJobBodies *m_bodies;

private:
    bool m_started = false;
};

class SearchThread : public LibraryWorker
{
    Q_OBJECT
public:
    using LibraryWorker::LibraryWorker;
    void setPathExt(const QString &sPath, const QString &sExt);
    // The tree's root (the whole computer) lists nothing.
    void setRootSelected(bool root) { m_root = root; }

protected:
    void Execute() override;

private:
    QString Path, Ext;
    bool m_root = false;
};

class SortThread : public LibraryWorker
{
    Q_OBJECT
public:
    using LibraryWorker::LibraryWorker;
    void setParameter(int sCol, int sLeft, int sRight, bool sBool);

protected:
    void Execute() override;

private:
    int Col = 0, Left = 0, Right = 0;
    bool Ascending = true;
};

class KeyWordThread : public LibraryWorker
{
    Q_OBJECT
public:
    using LibraryWorker::LibraryWorker;
    void setKeyWord(const QString &str, int count);

protected:
    void Execute() override;

private:
    QString KeyWord;
    int Col = 0;
};

class SourceThread : public LibraryWorker
{
    Q_OBJECT
public:
    using LibraryWorker::LibraryWorker;
    void setFilePath(const QString &sFilePath, const QString &sCheckImage);

protected:
    void Execute() override;

private:
    QString FilePath, CheckImage;
};
