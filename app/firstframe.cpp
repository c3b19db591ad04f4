// For tools that time the program's start-up from outside (the benchmark):
// with MOK_FIRST_FRAME set, the program writes that variable's text as one
// line on standard error once its first window, whichever it is, has been
// painted and put on the screen. Without it nothing is installed.
#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <utility>

namespace mok {
namespace {

class FirstFrameProbe : public QObject {
public:
    explicit FirstFrameProbe(QByteArray mark) : m_mark(std::move(mark)) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget *>(watched)->isWindow()) {
            QCoreApplication::instance()->removeEventFilter(this);
            // The frame is flushed after its paint events, before control
            // returns to the event loop.
            QTimer::singleShot(0, this, [this] {
                std::fprintf(stderr, "%s\n", m_mark.constData());
                std::fflush(stderr);
                deleteLater();
            });
        }
        return false;
    }

private:
    QByteArray m_mark;
};

void installFirstFrameProbe()
{
    QByteArray mark = qgetenv("MOK_FIRST_FRAME");
    if (mark.isEmpty())
        return;
    QCoreApplication *app = QCoreApplication::instance();
    auto *probe = new FirstFrameProbe(std::move(mark));
    probe->setParent(app);
    app->installEventFilter(probe);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installFirstFrameProbe)

} // namespace mok
