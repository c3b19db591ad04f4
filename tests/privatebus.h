#pragma once

// A session bus of the test's own, and on it a stand-in for the watcher that
// StatusNotifierItem panels run.
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QProcess>
#include <QThread>

#include <csignal>

#include <sys/prctl.h>

// Starts dbus-daemon and makes it the session bus of the process: call it
// before anything connects to one. Returns its address, empty without one.
inline QString startPrivateBus(QProcess &daemon)
{
    daemon.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--nofork"),
                  QStringLiteral("--print-address=1"),
                  QStringLiteral("--address=unix:tmpdir=/tmp")});
    QByteArray address;
    while (!address.endsWith('\n') && daemon.waitForReadyRead(10000))
        address += daemon.readAllStandardOutput();
    if (address.trimmed().isEmpty())
        return {};
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.trimmed());
    return QString::fromLatin1(address.trimmed());
}

// Takes every icon; the game's calls fail if it is not there to answer.
class WatcherAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
public:
    explicit WatcherAdaptor(QObject *parent) : QDBusAbstractAdaptor(parent) {}
    bool hostRegistered() const { return true; }

public slots:
    void RegisterStatusNotifierItem(const QString &) {}
};

// Runs on a thread and a connection of its own, so that it answers the
// game's calls while the test waits on the main thread.
class StandInWatcher {
public:
    explicit StandInWatcher(const QString &address)
        : m_bus(QDBusConnection::connectToBus(address, QStringLiteral("watcher")))
    {
        new WatcherAdaptor(m_object);
        QObject::connect(&m_thread, &QThread::finished, m_object, &QObject::deleteLater);
        m_object->moveToThread(&m_thread);
        m_thread.start();
        m_bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), m_object);
        m_bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"));
    }
    ~StandInWatcher()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("watcher"));
        m_thread.quit();
        m_thread.wait();
    }

private:
    QDBusConnection m_bus;
    QThread m_thread;
    QObject *m_object = new QObject;
};
