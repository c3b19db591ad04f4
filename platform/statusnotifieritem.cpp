#include "statusnotifieritem.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QImage>
#include <QtEndian>

#include <algorithm>
#include <utility>

namespace {

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
// How long a panel that does not answer may keep the game waiting.
constexpr int kCallTimeoutMs = 1000;

// An icon image as the protocol carries it: width, height, and ARGB32
// pixels in network byte order.
struct IconPixmap {
    int width = 0;
    int height = 0;
    QByteArray argb;
};
using IconPixmapList = QList<IconPixmap>;

// Icon name, images, title and text.
struct ToolTip {
    QString iconName;
    IconPixmapList images;
    QString title;
    QString text;
};

// One entry of the menu and the entries under it, as GetLayout returns it.
struct MenuLayout {
    int id = 0;
    QVariantMap properties;
    QVariantList children; // each a MenuLayout
};

struct MenuItemProperties {
    int id = 0;
    QVariantMap properties;
};

struct MenuEvent {
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};

} // namespace

Q_DECLARE_METATYPE(IconPixmap)
Q_DECLARE_METATYPE(ToolTip)
Q_DECLARE_METATYPE(MenuLayout)
Q_DECLARE_METATYPE(MenuItemProperties)
Q_DECLARE_METATYPE(MenuEvent)

namespace {

QDBusArgument &operator<<(QDBusArgument &arg, const IconPixmap &p)
{
    arg.beginStructure();
    arg << p.width << p.height << p.argb;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, IconPixmap &p)
{
    arg.beginStructure();
    arg >> p.width >> p.height >> p.argb;
    arg.endStructure();
    return arg;
}

QDBusArgument &operator<<(QDBusArgument &arg, const ToolTip &t)
{
    arg.beginStructure();
    arg << t.iconName << t.images << t.title << t.text;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, ToolTip &t)
{
    arg.beginStructure();
    arg >> t.iconName >> t.images >> t.title >> t.text;
    arg.endStructure();
    return arg;
}

QDBusArgument &operator<<(QDBusArgument &arg, const MenuLayout &m)
{
    arg.beginStructure();
    arg << m.id << m.properties << m.children;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, MenuLayout &m)
{
    arg.beginStructure();
    arg >> m.id >> m.properties >> m.children;
    arg.endStructure();
    return arg;
}

QDBusArgument &operator<<(QDBusArgument &arg, const MenuItemProperties &p)
{
    arg.beginStructure();
    arg << p.id << p.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, MenuItemProperties &p)
{
    arg.beginStructure();
    arg >> p.id >> p.properties;
    arg.endStructure();
    return arg;
}

QDBusArgument &operator<<(QDBusArgument &arg, const MenuEvent &e)
{
    arg.beginStructure();
    arg << e.id << e.eventId << e.data << e.timestamp;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, MenuEvent &e)
{
    arg.beginStructure();
    arg >> e.id >> e.eventId >> e.data >> e.timestamp;
    arg.endStructure();
    return arg;
}

void registerTypes()
{
    static const bool registered = [] {
        qDBusRegisterMetaType<IconPixmap>();
        qDBusRegisterMetaType<IconPixmapList>();
        qDBusRegisterMetaType<ToolTip>();
        qDBusRegisterMetaType<MenuLayout>();
        qDBusRegisterMetaType<MenuItemProperties>();
        qDBusRegisterMetaType<QList<MenuItemProperties>>();
        qDBusRegisterMetaType<MenuEvent>();
        qDBusRegisterMetaType<QList<MenuEvent>>();
        return true;
    }();
    Q_UNUSED(registered);
}

IconPixmapList iconPixmaps(const QIcon &icon)
{
    IconPixmapList pixmaps;
    for (const int side : {16, 22, 32, 48}) {
        const QImage image =
            icon.pixmap(side, side).toImage().convertToFormat(QImage::Format_ARGB32);
        const bool seen = std::any_of(pixmaps.cbegin(), pixmaps.cend(), [&](const IconPixmap &p) {
            return p.width == image.width();
        });
        if (image.isNull() || seen)
            continue;
        IconPixmap p{image.width(), image.height(), {}};
        p.argb.resize(qsizetype(image.width()) * image.height() * 4);
        auto *out = reinterpret_cast<quint32 *>(p.argb.data());
        for (int y = 0; y < image.height(); ++y) {
            const auto *row = reinterpret_cast<const quint32 *>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x)
                *out++ = qToBigEndian(row[x]);
        }
        pixmaps << p;
    }
    return pixmaps;
}

// The item itself, as the panels read it.
class ItemAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(IconPixmapList IconPixmap READ iconPixmap)
    Q_PROPERTY(ToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)
public:
    ItemAdaptor(mok::platform::StatusNotifierItem *item, QObject *object)
        : QDBusAbstractAdaptor(object), m_item(item)
    {
    }
    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const { return QCoreApplication::applicationName(); }
    QString title() const { return m_item->tip(); }
    QString status() const { return QStringLiteral("Active"); }
    int windowId() const { return 0; }
    QString iconName() const { return {}; }
    IconPixmapList iconPixmap() const { return iconPixmaps(m_item->icon()); }
    ToolTip toolTip() const { return {{}, {}, m_item->tip(), {}}; }
    bool itemIsMenu() const { return false; }
    QDBusObjectPath menu() const
    {
        return QDBusObjectPath(QLatin1String(mok::platform::StatusNotifierItem::kMenuPath));
    }

public slots:
    void Activate(int, int) { emit m_item->pressed(); }
    void ContextMenu(int, int) { emit m_item->pressed(); }
    // The middle button and the wheel do nothing.
    void SecondaryActivate(int, int) {}
    void Scroll(int, const QString &) {}

private:
    mok::platform::StatusNotifierItem *m_item;
};

// The menu the item names: one entry, the tip, never there long enough to
// be chosen, for opening it is a right press on the icon.
class MenuAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)
public:
    MenuAdaptor(mok::platform::StatusNotifierItem *item, QObject *object)
        : QDBusAbstractAdaptor(object), m_item(item)
    {
    }
    uint version() const { return 3; }
    QString textDirection() const { return QStringLiteral("ltr"); }
    QString status() const { return QStringLiteral("normal"); }
    QStringList iconThemePath() const { return {}; }

public slots:
    uint GetLayout(int parentId, int, const QStringList &, MenuLayout &layout)
    {
        layout = parentId == kEntry
                     ? entry()
                     : MenuLayout{0, rootProperties(), {QVariant::fromValue(entry())}};
        return 1;
    }
    QList<MenuItemProperties> GetGroupProperties(const QList<int> &ids, const QStringList &)
    {
        QList<MenuItemProperties> found;
        for (const int id : ids) {
            if (id == 0 || id == kEntry)
                found.append({id, id == 0 ? rootProperties() : entry().properties});
        }
        return found;
    }
    QDBusVariant GetProperty(int id, const QString &name)
    {
        return QDBusVariant((id == 0 ? rootProperties() : entry().properties).value(name));
    }
    void Event(int id, const QString &eventId, const QDBusVariant &, uint)
    {
        if ((id == 0 && eventId == u"opened") || (id == kEntry && eventId == u"clicked"))
            emit m_item->pressed();
    }
    QList<int> EventGroup(const QList<MenuEvent> &events)
    {
        for (const MenuEvent &e : events)
            Event(e.id, e.eventId, e.data, e.timestamp);
        return {};
    }
    bool AboutToShow(int id)
    {
        if (id == 0)
            emit m_item->pressed();
        return false;
    }
    QList<int> AboutToShowGroup(const QList<int> &ids, QList<int> &idErrors)
    {
        idErrors.clear();
        if (ids.contains(0))
            emit m_item->pressed();
        return {};
    }

private:
    static constexpr int kEntry = 1;
    static QVariantMap rootProperties()
    {
        return {{QStringLiteral("children-display"), QStringLiteral("submenu")}};
    }
    MenuLayout entry() const { return {kEntry, {{QStringLiteral("label"), m_item->tip()}}, {}}; }

    mok::platform::StatusNotifierItem *m_item;
};

} // namespace

namespace mok::platform {

StatusNotifierItem::StatusNotifierItem(QObject *parent) : QObject(parent)
{
    registerTypes();
}

StatusNotifierItem::~StatusNotifierItem()
{
    hide();
}

bool StatusNotifierItem::hostRunning()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(kWatcher))
        return false;
    QDBusMessage get = QDBusMessage::createMethodCall(
        kWatcher, kWatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << kWatcher << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = bus.call(get, QDBus::Block, kCallTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
}

bool StatusNotifierItem::show(const QIcon &icon, const QString &tip)
{
    hide();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    m_icon = icon;
    m_tip = tip;
    // The program has one icon: its name needs no number of its own.
    const QString service =
        QStringLiteral("org.kde.StatusNotifierItem-%1-1").arg(QCoreApplication::applicationPid());
    m_item = new QObject(this);
    new ItemAdaptor(this, m_item);
    m_menu = new QObject(this);
    new MenuAdaptor(this, m_menu);
    if (!bus.registerObject(QLatin1String(kItemPath), m_item) ||
        !bus.registerObject(QLatin1String(kMenuPath), m_menu) || !bus.registerService(service)) {
        hide();
        return false;
    }
    m_service = service;
    // Should the watcher go, the icon goes with it; a watcher that refuses
    // the icon leaves none either.
    m_watcher =
        new QDBusServiceWatcher(kWatcher, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            &StatusNotifierItem::areaLost);
    QDBusMessage add = QDBusMessage::createMethodCall(kWatcher, kWatcherPath, kWatcher,
                                                      QStringLiteral("RegisterStatusNotifierItem"));
    add << service;
    const QDBusMessage reply = bus.call(add, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        hide();
        return false;
    }
    return true;
}

void StatusNotifierItem::hide()
{
    delete m_watcher;
    m_watcher = nullptr;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!m_service.isEmpty())
        bus.unregisterService(std::exchange(m_service, QString()));
    if (m_item) {
        bus.unregisterObject(QLatin1String(kItemPath));
        bus.unregisterObject(QLatin1String(kMenuPath));
        delete std::exchange(m_item, nullptr);
        delete std::exchange(m_menu, nullptr);
    }
}

} // namespace mok::platform

#include "statusnotifieritem.moc"
