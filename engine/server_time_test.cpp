#include "engine/server_time.h"
#include "engine/timing.h"

#include <gtest/gtest.h>

namespace engine {
namespace {

TEST(RoundingTest, WholeMillisecondsAreRoundedNotCut)
{
    EXPECT_EQ(roundToMilliseconds(0), 0);
    EXPECT_EQ(roundToMilliseconds(499), 0);
    EXPECT_EQ(roundToMilliseconds(500), 1);
    EXPECT_EQ(roundToMilliseconds(287999), 288);
    EXPECT_EQ(roundToMilliseconds(287499), 287);
    EXPECT_EQ(roundToMilliseconds(70000000), 70000);
    EXPECT_EQ(roundToMilliseconds(-1499), -1);
    EXPECT_EQ(roundToMilliseconds(-1500), -2);
}

// Our clock stands at 3,000,000,123.456 ms; its 32-bit millisecond count is 3,000,000,123.
constexpr Microseconds kNow = 3000000123456;

TEST(ServerTimeTest, ServerMillisecondsMapToTheMiddleOfThatMillisecondOnOurClock)
{
    EXPECT_EQ(ServerTimeRelation::toLocal(3000000123U, kNow), 3000000123500);
    EXPECT_EQ(ServerTimeRelation::toLocal(3000000000U, kNow), 3000000000500);
    // Across the turn of the 32-bit count, both ways.
    const Microseconds afterTurn = (Microseconds {1} << 32) * 1000 + 5000;
    EXPECT_EQ(ServerTimeRelation::toLocal(0xFFFFFFFEU, afterTurn), afterTurn - 7000 + 500);
    EXPECT_EQ(ServerTimeRelation::toLocal(6U, afterTurn - 10000), afterTurn + 1500);
}

TEST(ServerTimeTest, TheRelationHoldsOnlyWhileEveryObservationAgrees)
{
    ServerTimeRelation relation;
    EXPECT_FALSE(relation.holds()) << "nothing observed yet";
    // The server's millisecond lies within the bracket.
    EXPECT_TRUE(relation.observe(kNow, 3000000123U, kNow + 300));
    EXPECT_TRUE(relation.holds());
    // A server reading the coarse clock may lag by one more millisecond.
    EXPECT_TRUE(relation.observe(kNow + 1000, 3000000123U, kNow + 1200));
    EXPECT_TRUE(relation.holds());
    // A server 5 ms ahead of us, or 3 ms behind, or on a clock of its own, is not ours.
    EXPECT_FALSE(ServerTimeRelation().observe(kNow + 3000, 3000000123U, kNow + 3200));
    ServerTimeRelation ahead;
    EXPECT_FALSE(ahead.observe(kNow, 3000000128U, kNow + 300));
    EXPECT_FALSE(ahead.holds());
    // Once broken, the relation is not trusted again in the same run.
    EXPECT_FALSE(relation.observe(kNow, 12345U, kNow + 300));
    EXPECT_TRUE(relation.observe(kNow, 3000000123U, kNow + 300));
    EXPECT_FALSE(relation.holds());
    EXPECT_TRUE(relation.broken());
}

TEST(ServerTimeTest, ResponsesUseTheEventsOwnTimeWhenTheClockIsOurs)
{
    ServerTimeRelation relation;
    relation.observe(kNow, 3000000123U, kNow + 300);
    // Handled 40 ms after the key went down: the event's stamp counts, not the arrival.
    const ResponseStamp late = stampResponse(3000000083U, kNow, InputKind::Key, relation);
    EXPECT_EQ(late.source, ResponseSource::Event);
    EXPECT_EQ(late.time, 3000000083500);
    EXPECT_EQ(late.input, InputKind::Key);
}

TEST(ServerTimeTest, ResponsesFallBackToTheArrivalWhereTheEventTimeCannotBeUsed)
{
    ServerTimeRelation unchecked;
    EXPECT_EQ(stampResponse(3000000083U, kNow, InputKind::Left, unchecked).source, ResponseSource::Arrival);

    ServerTimeRelation broken;
    broken.observe(kNow, 77U, kNow + 300);
    const ResponseStamp remote = stampResponse(76U, kNow, InputKind::Right, broken);
    EXPECT_EQ(remote.source, ResponseSource::Arrival);
    EXPECT_EQ(remote.time, kNow);
    EXPECT_EQ(remote.input, InputKind::Right);

    ServerTimeRelation ours;
    ours.observe(kNow, 3000000123U, kNow + 300);
    // No timestamp at all (a platform without one), a stamp after the arrival, one over a minute old.
    EXPECT_EQ(stampResponse(std::nullopt, kNow, InputKind::Key, ours).source, ResponseSource::Arrival);
    EXPECT_EQ(stampResponse(3000000125U, kNow, InputKind::Key, ours).source, ResponseSource::Arrival);
    EXPECT_EQ(stampResponse(3000000123U - 61000U, kNow, InputKind::Key, ours).source, ResponseSource::Arrival);
}

} // namespace
} // namespace engine
