#include "EepromFileRules.h"

#include <gtest/gtest.h>

namespace {

using EepromFileRules::FileEntry;
using EepromFileRules::Table;
using State = EepromFileRules::RecordState;

constexpr unsigned int Chip = 32768;
constexpr FileEntry Erased{0xFFFF, 0xFFFF};

TEST(EepromFileRules, OnlyARecordReadWholeAndFailingOrWithoutEntryMayBeDiscarded)
{
    using EepromFileRules::JudgeRecord;
    EXPECT_EQ(JudgeRecord(true, 40, 40, true), State::Intact);
    EXPECT_EQ(JudgeRecord(true, 40, 40, false), State::Lost);
    EXPECT_EQ(JudgeRecord(true, 2, 2, true), State::Lost);
    EXPECT_EQ(JudgeRecord(false, 40, 0, false), State::Lost);
    EXPECT_EQ(JudgeRecord(true, 40, 16, false), State::Unreadable);
    EXPECT_EQ(JudgeRecord(true, 40, 0, false), State::Unreadable);
    EXPECT_TRUE(EepromFileRules::MayDiscard(State::Lost));
    EXPECT_FALSE(EepromFileRules::MayDiscard(State::Intact));
    EXPECT_FALSE(EepromFileRules::MayDiscard(State::Unreadable));
}

TEST(EepromFileRules, NextFreeStartIsTheBoundaryBehindTheHighestFile)
{
    using EepromFileRules::NextFreeStart;
    EXPECT_EQ(NextFreeStart(Table{Erased, Erased, Erased}), 64);
    EXPECT_EQ(NextFreeStart(Table{FileEntry{64, 200}, Erased, Erased}), 320);
    EXPECT_EQ(NextFreeStart(Table{FileEntry{64, 64}, Erased, Erased}), 128);
    // The highest start counts, not the index or the furthest end.
    EXPECT_EQ(NextFreeStart(Table{FileEntry{512, 10}, FileEntry{64, 2000}, Erased}), 576);
    // On equal starts the lower index's size counts.
    EXPECT_EQ(NextFreeStart(Table{Erased, FileEntry{128, 10}, FileEntry{128, 300}}), 192);
    // A start whose end passes 16 bits leaves no room instead of wrapping to 64.
    EXPECT_EQ(NextFreeStart(Table{FileEntry{64, 10}, FileEntry{0xFFC0, 0x80}, Erased}), 0xFFFF);
}

TEST(EepromFileRules, RecordIsPlacedOnlyInsideTheFileAreaAndClearOfOtherValidEntries)
{
    using EepromFileRules::CanPlace;
    const Table table{FileEntry{64, 100}, FileEntry{192, 20}, Erased};
    EXPECT_TRUE(CanPlace(table, 2, 256, 100, Chip));
    EXPECT_TRUE(CanPlace(table, 2, 164, 28, Chip));  // between the two
    EXPECT_FALSE(CanPlace(table, 2, 163, 2, Chip));  // last byte of file 0
    EXPECT_FALSE(CanPlace(table, 2, 211, 10, Chip)); // last byte of file 1
    EXPECT_TRUE(CanPlace(table, 1, 180, 30, Chip));  // a file may cover its own old place
    EXPECT_TRUE(CanPlace(table, 2, 32758, 10, Chip));
    EXPECT_FALSE(CanPlace(table, 2, 32759, 10, Chip));
    EXPECT_FALSE(CanPlace(table, 2, 15, 2, Chip)); // over the table
    EXPECT_FALSE(CanPlace(Table{Erased, Erased, Erased}, 0, 16, Chip, Chip));
}

} // namespace
