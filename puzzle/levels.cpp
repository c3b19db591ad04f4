#include "levels.h"

namespace mok {

const std::array<LevelEntry, kLevelCount> &levelTable()
{
    static const std::array<LevelEntry, kLevelCount> table{{
        {QStringLiteral(u"Level 1 (4コマ)"), 3},
        {QStringLiteral(u"Level 2 (9コマ)"), 8},
        {QStringLiteral(u"Level 3 (16コマ)"), 15},
        {QStringLiteral(u"Level 4 (25コマ)"), 24},
        {QStringLiteral(u"Level 5 (36コマ)"), 35},
        {QStringLiteral(u"Level 6 (49コマ)"), 48},
        {QStringLiteral(u"Level 7 (64コマ)"), 63},
        {QStringLiteral(u"Level 8 (81コマ)"), 80},
        {QStringLiteral(u"Level 9 (100コマ)"), 99},
    }};
    return table;
}

int gridSideFor(int lastIndex)
{
    // Row r of the table is a grid of (r + 2) x (r + 2) pieces.
    for (int row = 0; row < kLevelCount; ++row) {
        if (levelTable()[row].lastIndex == lastIndex)
            return row + 2;
    }
    return 0;
}

} // namespace mok
