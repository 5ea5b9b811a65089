#include "library/LibraryJobs.h"

void LibraryJobQueue::post(std::function<void()> job)
{
    m_jobs.enqueue(std::move(job));
    schedule();
}

void LibraryJobQueue::schedule()
{
    if (m_scheduled || m_running)
        return;
    m_scheduled = true;
    QMetaObject::invokeMethod(this, &LibraryJobQueue::runNext, Qt::QueuedConnection);
}

void LibraryJobQueue::runNext()
{
    m_scheduled = false;
    // A job that spins a local event loop must not let the next job overtake it.
    if (m_running || m_jobs.isEmpty())
        return;
    m_running = true;
    const std::function<void()> job = m_jobs.dequeue();
    job();
    m_running = false;
    if (m_jobs.isEmpty())
        emit idle();
    else
        schedule();
}

LibraryWorker::LibraryWorker(LibraryJobQueue *queue, LibraryJobBodies *bodies)
    : QObject(queue), m_queue(queue), m_bodies(bodies)
{
}

void LibraryWorker::start()
{
    if (std::exchange(m_started, true))
        return;
    m_queue->post([this] {
        Execute();
        emit finished();
        deleteLater();
    });
}

void SearchThread::setPathExt(const QString &sPath, const QString &sExt)
{
    Path = sPath;
    Ext = sExt;
}

void SearchThread::Execute()
{
    m_bodies->runListing(Path, Ext, m_root);
}

void SortThread::setParameter(int sCol, int sLeft, int sRight, bool sBool)
{
    Col = sCol;
    Left = sLeft;
    Right = sRight;
    Ascending = sBool;
}

void SortThread::Execute()
{
    m_bodies->runSort(Col, Left, Right, Ascending);
}

void KeyWordThread::setKeyWord(const QString &str, int count)
{
    KeyWord = str;
    Col = count;
}

void KeyWordThread::Execute()
{
    m_bodies->runKeyWord(KeyWord, Col);
}

void SourceThread::setFilePath(const QString &sFilePath, const QString &sCheckImage)
{
    FilePath = sFilePath;
    CheckImage = sCheckImage;
}

void SourceThread::Execute()
{
    m_bodies->runPreview(FilePath, CheckImage);
}
