#include "random.h"

namespace mok {

float Rnd::next()
{
    constexpr std::uint32_t kMask = (1u << 24) - 1;
    m_state = (m_state * 1140671485u + 12820163u) & kMask;
    return static_cast<float>(m_state) / static_cast<float>(1u << 24);
}

Rnd &sharedRandom()
{
    static Rnd generator;
    return generator;
}

} // namespace mok
