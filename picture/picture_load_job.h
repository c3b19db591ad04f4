#pragma once

#include "picture_loader.h"

#include <QObject>

class QThread;

namespace mok {

// Runs loadPicture() on a thread of its own, so that the window that asked
// keeps painting. finished() arrives on the job's own thread; the result is
// read after it. Destroying a running job waits for the load to end, which
// the limits of the loader keep to seconds.
class PictureLoadJob : public QObject {
    Q_OBJECT
public:
    PictureLoadJob(const QString &path, const Screen &screen, double devicePixelRatio = 1.0,
                   QObject *parent = nullptr);
    ~PictureLoadJob() override;

    void start();
    bool isRunning() const { return m_running; }
    // Blocks until the load has ended; for the rare caller that must not go on
    // without it (the application quitting mid-load).
    void wait();
    const PictureLoadResult &result() const { return m_result; }

signals:
    void finished();

private:
    QString m_path;
    Screen m_screen;
    double m_devicePixelRatio;
    QThread *m_thread = nullptr;
    PictureLoadResult m_result;
    bool m_running = false;
};

} // namespace mok
