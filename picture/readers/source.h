#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mok::picture {

// The picture file, behind a descriptor the game opened: read at a position
// of our own (pread), so nothing depends on the descriptor's offset, and
// never through a path, so it works behind every fence.
class Source {
public:
    explicit Source(int fd);

    int fd() const { return m_fd; }
    // The file's size when it was opened; -1 when it could not be told.
    std::int64_t size() const { return m_size; }
    std::int64_t pos() const { return m_pos; }
    bool atEnd() const { return m_pos >= m_size; }
    // Moves to `pos`, which must lie within the file.
    bool seek(std::int64_t pos);

    // Reads up to `count` bytes; returns how many came (0 at the end), or -1
    // when reading failed.
    std::int64_t read(void *into, std::int64_t count);
    // Up to `count` bytes, fewer at the end of the file or on a failure.
    std::vector<std::uint8_t> read(std::size_t count);
    // The next byte, or -1 at the end or on a failure.
    int getByte();

private:
    std::int64_t readAt(void *into, std::int64_t count, std::int64_t at);

    int m_fd;
    std::int64_t m_size = -1;
    std::int64_t m_pos = 0;
    // Small reads (a header walked a byte at a time) come from here.
    std::vector<std::uint8_t> m_buffer;
    std::int64_t m_bufferAt = 0;
};

// The whole file mapped, for the decoders that want it in memory: no copy
// is made, and pages no decoder looks at are never read. Mapped for
// writing, it is the process's own copy: only the pages written are copied,
// and the file never changes.
class MappedFile {
public:
    enum class Access { ReadOnly, CopyOnWrite };
    explicit MappedFile(const Source &source, Access access = Access::ReadOnly);
    ~MappedFile();
    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;

    bool isValid() const { return m_data != nullptr; }
    const std::uint8_t *data() const { return m_data; }
    // Null unless mapped CopyOnWrite.
    std::uint8_t *writableData() const { return m_writable ? m_data : nullptr; }
    std::size_t size() const { return m_size; }

private:
    std::uint8_t *m_data = nullptr;
    bool m_writable = false;
    std::size_t m_size = 0;
};

} // namespace mok::picture
