#pragma once

#include <cstdint>

namespace mok {

// A uniform generator in [0, 1) with a fixed initial state and no seeding:
// every run draws the same sequence, so the same actions on the same screen
// give the same scatter. The classic 24-bit linear congruential generator.
class Rnd {
public:
    float next();

private:
    std::uint32_t m_state = 327680;
};

// The program's one shared generator.
Rnd &sharedRandom();

} // namespace mok
