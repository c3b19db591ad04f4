#include "source.h"

#include <algorithm>
#include <cerrno>
#include <sys/mman.h>
#include <unistd.h>

namespace mok::picture {

Source::Source(int fd) : m_fd(fd)
{
    // lseek rather than fstat: it answers the same for a regular file and is
    // one call the helper's filter lets through as it is.
    const off_t end = ::lseek(fd, 0, SEEK_END);
    if (end >= 0)
        m_size = end;
}

bool Source::seek(std::int64_t pos)
{
    if (pos < 0 || pos > m_size)
        return false;
    m_pos = pos;
    return true;
}

std::int64_t Source::readAt(void *into, std::int64_t count, std::int64_t at)
{
    std::int64_t done = 0;
    auto *out = static_cast<char *>(into);
    while (done < count && at + done < m_size) {
        const ssize_t got = ::pread(m_fd, out + done, std::size_t(count - done), at + done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return done > 0 ? done : -1;
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

std::int64_t Source::read(void *into, std::int64_t count)
{
    constexpr std::int64_t kBufferBytes = 64 * 1024;
    if (count >= kBufferBytes) {
        const std::int64_t got = readAt(into, count, m_pos);
        m_pos += std::max<std::int64_t>(got, 0);
        return got;
    }
    const std::int64_t buffered = std::int64_t(m_buffer.size());
    if (m_pos < m_bufferAt || m_pos + count > m_bufferAt + buffered) {
        m_buffer.resize(std::size_t(kBufferBytes));
        const std::int64_t got = readAt(m_buffer.data(), kBufferBytes, m_pos);
        m_buffer.resize(std::size_t(std::max<std::int64_t>(got, 0)));
        m_bufferAt = m_pos;
        if (got < 0)
            return -1;
    }
    const std::int64_t n = std::min(count, m_bufferAt + std::int64_t(m_buffer.size()) - m_pos);
    std::copy_n(m_buffer.data() + (m_pos - m_bufferAt), n, static_cast<std::uint8_t *>(into));
    m_pos += n;
    return n;
}

std::vector<std::uint8_t> Source::read(std::size_t count)
{
    const std::int64_t left = std::max<std::int64_t>(m_size - m_pos, 0);
    std::vector<std::uint8_t> bytes(std::size_t(std::min<std::int64_t>(std::int64_t(count), left)));
    const std::int64_t got = read(bytes.data(), std::int64_t(bytes.size()));
    bytes.resize(std::size_t(std::max<std::int64_t>(got, 0)));
    return bytes;
}

int Source::getByte()
{
    unsigned char c = 0;
    return read(&c, 1) == 1 ? c : -1;
}

MappedFile::MappedFile(const Source &source, Access access)
{
    if (source.size() <= 0)
        return;
    const bool writable = access == Access::CopyOnWrite;
    void *data = ::mmap(nullptr, std::size_t(source.size()),
                        writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_PRIVATE, source.fd(), 0);
    if (data == MAP_FAILED)
        return;
    m_data = static_cast<std::uint8_t *>(data);
    m_writable = writable;
    m_size = std::size_t(source.size());
}

MappedFile::~MappedFile()
{
    if (m_data)
        ::munmap(m_data, m_size);
}

} // namespace mok::picture
