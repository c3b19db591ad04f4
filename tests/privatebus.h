#pragma once

// A session bus of the test's own, and a notification area on it: the
// watcher that StatusNotifierItem panels run, standing in for one.
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QMutex>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <csignal>

#include <sys/prctl.h>

// Starts dbus-daemon and makes it the session bus of everything that
// connects to one from now on. Call it before anything in the process uses
// the session bus.
class PrivateBus {
public:
    bool start()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
            return false;
        m_daemon.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"),
                        QStringLiteral("--print-address=1"),
                        QStringLiteral("--address=unix:tmpdir=/tmp")});
        QByteArray address;
        for (QDeadlineTimer deadline(10000); !address.endsWith('\n') && !deadline.hasExpired();) {
            m_daemon.waitForReadyRead(100);
            address += m_daemon.readAllStandardOutput();
        }
        m_address = QString::fromLatin1(address.trimmed());
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.trimmed());
        return !m_address.isEmpty();
    }
    QString address() const { return m_address; }
    ~PrivateBus()
    {
        m_daemon.kill();
        m_daemon.waitForFinished();
    }

private:
    QProcess m_daemon;
    QString m_address;
};

class WatcherAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
public:
    explicit WatcherAdaptor(QObject *parent) : QDBusAbstractAdaptor(parent) {}
    bool hostRegistered() const { return true; }
    QStringList items() const
    {
        QMutexLocker lock(&m_mutex);
        return m_items;
    }
    int protocolVersion() const { return 0; }

public slots:
    void RegisterStatusNotifierItem(const QString &service)
    {
        QMutexLocker lock(&m_mutex);
        m_items << service;
    }

private:
    mutable QMutex m_mutex;
    QStringList m_items;
};

// The watcher runs on a thread and a connection of its own, so that it
// answers the game's calls while the test waits on the main thread.
class StandInWatcher {
public:
    explicit StandInWatcher(const QString &address)
        : m_bus(QDBusConnection::connectToBus(address, QStringLiteral("stand-in watcher")))
    {
        m_adaptor = new WatcherAdaptor(m_object);
        // It goes on its own thread, which is where its adaptor speaks.
        QObject::connect(&m_thread, &QThread::finished, m_object, &QObject::deleteLater);
        m_object->moveToThread(&m_thread);
        m_thread.start();
        m_bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), m_object);
        m_bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"));
    }
    ~StandInWatcher()
    {
        m_bus.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
        m_bus.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
        QDBusConnection::disconnectFromBus(QStringLiteral("stand-in watcher"));
        m_thread.quit();
        m_thread.wait();
    }
    // What registered with it, in order.
    QStringList items() const { return m_adaptor->items(); }
    // Whether `service` is on the bus now.
    bool onBus(const QString &service) const
    {
        return m_bus.interface()->isServiceRegistered(service);
    }

private:
    QDBusConnection m_bus;
    QThread m_thread;
    QObject *m_object = new QObject;
    WatcherAdaptor *m_adaptor = nullptr;
};
