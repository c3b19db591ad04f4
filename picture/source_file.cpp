#include "source_file.h"

#include "load_limits.h"
#include "reasons.h"

#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace mok::picture {

namespace {

// A name that does not survive the trip to the system's encoding and back
// (a folder whose name was not valid UTF-8, shown with replacement marks)
// can never be opened under that name; "not found" would be a lie.
bool representable(const QString &path)
{
    return QFile::decodeName(QFile::encodeName(path)) == path &&
           !path.contains(QChar::ReplacementCharacter);
}

QString checkedSize(qint64 size)
{
    if (size == 0)
        return reason::emptyFile();
    if (size > kMaxFileBytes)
        return reason::fileTooLarge();
    return {};
}

#ifdef Q_OS_UNIX
// errno after stat() or open() said no. A folder on the way that may not be
// entered gives EACCES just as the file itself does.
QString whyNotOpened(int error, const QString &path)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return representable(path) ? reason::notFound() : reason::nameNotRepresentable();
    case EACCES:
    case EPERM:
        return reason::noPermission();
    default:
        return reason::cannotOpen();
    }
}
#endif

} // namespace

// The file is looked at with stat() first so that FIFOs and devices are never
// opened at all: opening a FIFO blocks until a writer turns up, and opening
// some devices has side effects. The open itself is non-blocking and checked
// again with fstat(), because the file can be swapped for a FIFO in between.
QString openPictureFile(const QString &path, QFile &file)
{
    if (path.isEmpty())
        return reason::notFound();
#ifdef Q_OS_UNIX
    const QByteArray native = QFile::encodeName(path);
    struct stat st = {};
    if (::stat(native.constData(), &st) != 0)
        return whyNotOpened(errno, path);
    if (!S_ISREG(st.st_mode))
        return reason::notAFile();
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return whyNotOpened(errno, path);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return reason::notAFile();
    }
    if (const QString why = checkedSize(st.st_size); !why.isEmpty()) {
        ::close(fd);
        return why;
    }
    // O_NONBLOCK only mattered for the open; clear it so that no read below
    // ever sees EAGAIN.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags != -1)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return reason::cannotOpen();
    }
#else
    const QFileInfo info(path);
    if (!info.exists())
        return representable(path) ? reason::notFound() : reason::nameNotRepresentable();
    if (!info.isFile())
        return reason::notAFile();
    if (const QString why = checkedSize(info.size()); !why.isEmpty())
        return why;
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly))
        return info.isReadable() ? reason::cannotOpen() : reason::noPermission();
#endif
    return {};
}

} // namespace mok::picture
