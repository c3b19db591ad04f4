#pragma once

#include <QString>

#include <array>

namespace mok {

// One row of the level list: its text and its item data, the last piece
// index of the level (pieces - 1), which is what the game keys on.
struct LevelEntry {
    QString text;
    int lastIndex;
};

constexpr int kLevelCount = 9;
constexpr int kPieceCount = 100;

const std::array<LevelEntry, kLevelCount> &levelTable();

// The row a fresh main window selects ("Level 4 (25コマ)").
constexpr int kDefaultLevelRow = 3;

// Pieces per row and column for a level's item data; 0 for a value that no
// level has.
int gridSideFor(int lastIndex);

} // namespace mok
