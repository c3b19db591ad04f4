#pragma once

#include "picture_loader.h"

#include <QObject>

#include <memory>

class QSocketNotifier;
class QTimer;

namespace mok::picture {

// The game's side of the decoding helper. It opens the player's file here
// (every check and reason of openPictureFile stays in the game), hands the
// open descriptor to a helper process, and turns whatever the helper does
// into a result: a preview, a reason the helper gave, or a reason for the
// way it ended (a crash, a fence, the time running out). The window never
// waits for it: finished() follows load() unless cancel() comes first.
//
// One helper waits ready once prepare() has been called, so that its start
// is never part of an open.
class PictureDecoder : public QObject {
    Q_OBJECT
public:
    // What the helper process that did a load cost, as the system counted it.
    struct HelperCost {
        qint64 peakKb = -1; // its peak resident memory
        qint64 cpuMs = -1;  // its CPU time, user and system
    };

    explicit PictureDecoder(QObject *parent = nullptr);
    ~PictureDecoder() override;

    // Starts a helper to wait for the next load, unless one waits already.
    void prepare();
    // Starts loading `path`, cancelling any load still running.
    void load(const QString &path, const Screen &screen, double devicePixelRatio = 1);
    // Ends the load at once; finished() does not follow.
    void cancel();
    bool isLoading() const;

    const PictureLoadResult &result() const { return m_result; }
    const HelperCost &lastHelperCost() const { return m_cost; }

    // The longest a helper may take to answer before it is ended.
    static constexpr int kAnswerTimeoutMs = 15000;
    // How long after a load the next helper is started.
    static constexpr int kRespawnDelayMs = 1000;

signals:
    void finished();

private:
    struct Helper;

    void onAnswerReady();
    void onTimeout();
    void finish(PictureLoadResult result);
    void finishLater(PictureLoadResult result);
    void endLoad(); // reaps the working helper

    std::unique_ptr<Helper> m_idle;
    // The helper of the load under way; a load that never reached a helper
    // holds an empty one while its outcome is on its way.
    std::unique_ptr<Helper> m_working;
    QSocketNotifier *m_answerNotifier = nullptr;
    QTimer *m_timeout = nullptr;
    Screen m_screen;
    double m_devicePixelRatio = 1;
    PictureLoadResult m_result;
    HelperCost m_cost;
};

} // namespace mok::picture
