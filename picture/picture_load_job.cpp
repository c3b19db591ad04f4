#include "picture_load_job.h"

#include <QThread>

namespace mok {

PictureLoadJob::PictureLoadJob(const QString &path, const Screen &screen, double devicePixelRatio,
                               QObject *parent)
    : QObject(parent), m_path(path), m_screen(screen), m_devicePixelRatio(devicePixelRatio)
{
}

PictureLoadJob::~PictureLoadJob()
{
    wait();
}

void PictureLoadJob::start()
{
    if (m_thread)
        return;
    m_running = true;
    // The thread writes m_result and nothing else; it is read only after the
    // thread has finished.
    m_thread =
        QThread::create([this] { m_result = loadPicture(m_path, m_screen, m_devicePixelRatio); });
    m_thread->setObjectName(QStringLiteral("picture load"));
    connect(m_thread, &QThread::finished, this, [this] {
        m_running = false;
        emit finished();
    });
    m_thread->start();
}

void PictureLoadJob::wait()
{
    if (!m_thread)
        return;
    m_thread->wait();
    m_running = false;
    delete m_thread;
    m_thread = nullptr;
}

} // namespace mok
