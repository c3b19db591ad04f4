#pragma once

#include "loaded_picture.h"
#include "protocol.h"
#include "twips.h"

#include <QObject>

#include <memory>

class QSocketNotifier;
class QTimer;

namespace mok::picture {

// The game's side of the decoding helper, mok-decode. It opens the player's
// file here (every check and reason of openPictureFile stays in the game),
// hands the open descriptor to a helper process, and turns whatever the
// helper does into a result: a preview, a reason the helper gave, or a
// reason for the way it ended (a crash, a fence, the time running out). The
// window never waits for it: finished() follows load() unless cancel() or
// another load comes first. See protocol.h for the round trip.
//
// A helper waits ready once prepare() has been called, so that its start is
// not part of the open that follows; the window calls it as the file dialog
// shows. No helper waits at rest: a load with none ready starts one itself,
// which costs it a few milliseconds.
class PictureDecoder : public QObject {
    Q_OBJECT
public:
    // What the helper process that did a load cost, as the system counted it.
    struct HelperCost {
        qint64 peakKb = -1; // its peak resident memory
        qint64 cpuMs = -1;  // its CPU time, user and system
    };

    // How long a helper may work: CPU seconds behind its fence, and the
    // time the game waits for its answer before ending it.
    struct Limits {
        quint32 cpuSeconds = protocol::kCpuSeconds;
        int answerTimeoutMs = 15000;
    };

    explicit PictureDecoder(QObject *parent = nullptr);
    ~PictureDecoder() override;

    // The helper program started: mok-decode beside the running program, or
    // where an installation keeps it relative to that; tests may start
    // another.
    static QString installedHelper();
    void setHelperProgram(const QString &path) { m_program = path; }
    void setLimits(Limits limits) { m_limits = limits; }

    // Starts a helper to wait for the next load, unless one waits already.
    void prepare();
    // Starts loading `path`, cancelling any load still running; returns the
    // load's number, which finished() carries.
    quint64 load(const QString &path, const Screen &screen, double devicePixelRatio = 1);
    // Ends the load at once; finished() does not follow.
    void cancel();
    bool isLoading() const;

    const HelperCost &lastHelperCost() const { return m_cost; }

signals:
    void finished(quint64 load, const mok::picture::PictureLoadResult &result);

private:
    struct Helper;

    void onAnswerReady();
    void onTimeout();
    void finish(PictureLoadResult result);
    void finishWith(PictureLoadResult result); // reaps the helper first
    void finishLater(PictureLoadResult result);
    void endLoad(); // reaps the working helper

    QString m_program;
    Limits m_limits;
    std::unique_ptr<Helper> m_idle;
    // The helper of the load under way; a load that never reached a helper
    // holds an empty one while its outcome is on its way.
    std::unique_ptr<Helper> m_working;
    QSocketNotifier *m_answerNotifier = nullptr;
    QTimer *m_timeout = nullptr;
    quint64 m_load = 0;
    Screen m_screen;
    double m_devicePixelRatio = 1;
    HelperCost m_cost;
};

} // namespace mok::picture
