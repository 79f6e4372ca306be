#include "EepromFileRules.h"

#include <gtest/gtest.h>

namespace {

using EepromFileRules::FileEntry;
using EepromFileRules::Findings;
using EepromFileRules::PlanWrite;
using EepromFileRules::Table;
using State = EepromFileRules::RecordState;
using Wanted = std::array<bool, 3>;

constexpr unsigned int Chip = 32768;
constexpr FileEntry Erased = EepromFileRules::ErasedEntry;

// Three files back to back on their boundaries.
constexpr Table ThreeFiles{FileEntry{64, 52}, FileEntry{128, 32}, FileEntry{192, 12}};

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

TEST(EepromFileRules, WriteReadsOnlyTheRecordsItMightCoverOrMove)
{
    using EepromFileRules::RecordsToRead;
    EXPECT_EQ(RecordsToRead(Table{FileEntry{64, 52}, Erased, Erased}, 1, 10, Chip), (Wanted{false, false, false}));
    EXPECT_EQ(RecordsToRead(ThreeFiles, 0, 152, Chip), (Wanted{false, true, true}));
    EXPECT_EQ(RecordsToRead(ThreeFiles, 2, 20, Chip), (Wanted{false, false, false}));
    // In place: only entries the record covers, stale ones included.
    EXPECT_EQ(RecordsToRead(ThreeFiles, 1, 32, Chip), (Wanted{false, false, false}));
    const Table stale{FileEntry{64, 52}, FileEntry{128, 200}, FileEntry{192, 12}};
    EXPECT_EQ(RecordsToRead(stale, 1, 200, Chip), (Wanted{false, false, true}));
    // A write refused anyway reads nothing.
    EXPECT_EQ(RecordsToRead(ThreeFiles, 0, Chip + 1, Chip), (Wanted{false, false, false}));
    EXPECT_EQ(RecordsToRead(Table{FileEntry{32760, 20}, Erased, FileEntry{32700, 60}}, 0, 20, Chip),
              (Wanted{false, false, false}));
}

TEST(EepromFileRules, NewFileGoesBehindTheHighestFileAndTheTableIsRewritten)
{
    const auto plan = PlanWrite(Table{FileEntry{64, 200}, Erased, Erased}, 1, 102, Findings{}, Chip);
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->start, 320);
    EXPECT_EQ(plan->table, (Table{FileEntry{64, 200}, FileEntry{320, 102}, Erased}));
    EXPECT_EQ(plan->moves, (Wanted{false, false, false}));
    EXPECT_TRUE(plan->rewritesTable);
    EXPECT_FALSE(PlanWrite(Table{FileEntry{64, 10}, FileEntry{32704, 3}, Erased}, 2, 12, Findings{}, Chip));
    EXPECT_FALSE(PlanWrite(ThreeFiles, 3, 12, Findings{}, Chip));
}

TEST(EepromFileRules, SameSizeGoesInPlaceOnlyOverRecordsThatAreLost)
{
    const Table stale{FileEntry{64, 52}, FileEntry{128, 200}, FileEntry{192, 12}};
    const auto plan = PlanWrite(stale, 1, 200, Findings{std::nullopt, std::nullopt, State::Lost}, Chip);
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->start, 128);
    EXPECT_EQ(plan->table, stale);
    EXPECT_FALSE(plan->rewritesTable);
    for (const auto finding :
         {std::optional<State>(State::Intact), std::optional<State>(State::Unreadable), std::optional<State>()}) {
        EXPECT_FALSE(PlanWrite(stale, 1, 200, Findings{std::nullopt, std::nullopt, finding}, Chip));
    }
    EXPECT_FALSE(PlanWrite(Table{FileEntry{8, 6}, Erased, Erased}, 0, 6, Findings{}, Chip)); // over the table
}

TEST(EepromFileRules, ResizeMovesIntactLaterFilesBehindAndDropsLostOnes)
{
    const auto grown = PlanWrite(ThreeFiles, 0, 152, Findings{std::nullopt, State::Intact, State::Intact}, Chip);
    ASSERT_TRUE(grown);
    EXPECT_EQ(grown->start, 64);
    EXPECT_EQ(grown->table, (Table{FileEntry{64, 152}, FileEntry{256, 32}, FileEntry{320, 12}}));
    EXPECT_EQ(grown->moves, (Wanted{false, true, true}));
    EXPECT_TRUE(grown->rewritesTable);

    const auto dropped = PlanWrite(ThreeFiles, 0, 152, Findings{std::nullopt, State::Lost, State::Intact}, Chip);
    ASSERT_TRUE(dropped);
    EXPECT_EQ(dropped->table, (Table{FileEntry{64, 152}, Erased, FileEntry{256, 12}}));
    EXPECT_EQ(dropped->moves, (Wanted{false, false, true}));

    // Earlier files stay where they are, also when they lie higher up.
    const Table earlierHigh{FileEntry{1024, 10}, FileEntry{64, 100}, FileEntry{192, 12}};
    const auto shrunk = PlanWrite(earlierHigh, 1, 20, Findings{std::nullopt, std::nullopt, State::Intact}, Chip);
    ASSERT_TRUE(shrunk);
    EXPECT_EQ(shrunk->table, (Table{FileEntry{1024, 10}, FileEntry{64, 20}, FileEntry{1088, 12}}));

    EXPECT_FALSE(PlanWrite(ThreeFiles, 0, 152, Findings{std::nullopt, State::Unreadable, State::Intact}, Chip));
    EXPECT_FALSE(PlanWrite(ThreeFiles, 0, 152, Findings{std::nullopt, State::Intact, std::nullopt}, Chip));
    // Growing into an earlier file, or pushing a later one past the end.
    EXPECT_FALSE(PlanWrite(earlierHigh, 1, 1000, Findings{std::nullopt, std::nullopt, State::Lost}, Chip));
    EXPECT_FALSE(PlanWrite(Table{FileEntry{64, 3}, FileEntry{32000, 702}, Erased}, 0, 32052,
                           Findings{std::nullopt, State::Intact, State::Lost}, Chip));
}

} // namespace
