#pragma once

#include "row_sink.h"

#include <cstddef>
#include <thread>

namespace mok::picture {

// The preview's memory in the helper: a memfd exactly the preview's size,
// which the readers write straight into. seal() closes it for good and
// hands over the descriptor the game maps.
class AnswerMemory : public PreviewMemory {
public:
    AnswerMemory() = default;
    ~AnswerMemory() override;
    AnswerMemory(const AnswerMemory &) = delete;
    AnswerMemory &operator=(const AnswerMemory &) = delete;

    Rgb *allocate(PixelSize size) override;

    // Unmaps the preview and seals the memfd against writing, shrinking and
    // growing (and further seals); returns it, or -1. The memfd stays ours
    // to close.
    int seal();

private:
    void populateAside();
    void awaitPopulated();

    int m_fd = -1;
    std::thread m_populating;
    void *m_data = nullptr;
    std::size_t m_bytes = 0;
};

} // namespace mok::picture
