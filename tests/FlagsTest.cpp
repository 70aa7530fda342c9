// SPDX-License-Identifier: MIT
// Flag setter, flag getters and presence queries.
#include "TestSupport.hpp"

using namespace testing_support;

namespace {

using Query = void (*)(uint8_t*, const MessageRecord*, uint32_t, uint32_t);

TEST_F(MessagesTest, SetFlagIgnoresValuesAndSetsTheFlagBit) {
    const uint8_t zeros[kCount] = {};
    miCommandSetFlag(actual.records(), zeros, kCount, 1);
    miCommandSetFlag(actual.records(), nullptr, kCount, 3);
    for (uint32_t i = 0; i < kCount; ++i) {
        expectBit(i, command.metadata.base[MI_KIND_FLAG] + 1);
        expectBit(i, command.metadata.base[MI_KIND_FLAG] + 3);
    }
    expectMatches();
}

TEST_F(MessagesTest, FlagSetIsReadBackByGetFlagAndHasField) {
    sim::MessageGroup group(command, kCount);  // all presence bits clear
    miCommandSetFlag(group.records(), nullptr, kCount, 2);
    uint8_t flags[kCount], has[kCount], other[kCount];
    fillSentinel(flags);
    fillSentinel(has);
    fillSentinel(other);
    miCommandGetFlag(flags, group.records(), kCount, 2);
    miCommandHasField(has, group.records(), kCount, command.metadata.base[MI_KIND_FLAG] + 2);
    miCommandGetFlag(other, group.records(), kCount, 1);
    for (uint32_t i = 0; i < kCount; ++i) {
        EXPECT_EQ(flags[i], 1);
        EXPECT_EQ(has[i], 1);
        EXPECT_EQ(other[i], 0);
    }
}

// For every bit position of the first two words: the answer is that bit
// alone, whatever the other bits of its word hold.
TEST_F(MessagesTest, PresenceQueriesAnswerFromOneBitOnly) {
    sim::MessageGroup group(feedback, 2);
    for (Query query : {miCommandHasField, miFeedbackHasField, miInfoHasField}) {
        for (uint32_t bit = 0; bit < 64; ++bit) {
            const uint32_t mask = 1u << (bit & 31);
            group[0].presence.assign(group[0].presence.size(), 0);
            group[1].presence.assign(group[1].presence.size(), 0xFFFFFFFFu);
            group[0].presence[bit >> 5] = mask;   // only this bit set
            group[1].presence[bit >> 5] = ~mask;  // every bit but this one
            uint8_t out[3] = {0xEE, 0xEE, 0xEE};
            query(out, group.records(), 2, bit);
            EXPECT_EQ(out[0], 1) << "bit " << bit;
            EXPECT_EQ(out[1], 0) << "bit " << bit;
            EXPECT_EQ(out[2], 0xEE) << "wrote past count";
        }
    }
}

TEST_F(MessagesTest, Bit37IsBit5OfWord1) {
    sim::MessageGroup group(feedback, 1);
    group[0].presence[1] = 1u << 5;
    uint8_t out = sentinel<uint8_t>();
    miFeedbackHasField(&out, group.records(), 1, 37);
    EXPECT_EQ(out, 1);
    group[0].presence[1] = ~(1u << 5);
    group[0].presence[0] = 1u << 5;
    out = sentinel<uint8_t>();
    miFeedbackHasField(&out, group.records(), 1, 37);
    EXPECT_EQ(out, 0);
}

TEST_F(MessagesTest, InfoAndCommandFlagGettersUseTheirOwnBase) {
    command.metadata.base[MI_KIND_FLAG] = 20;
    info.metadata.base[MI_KIND_FLAG] = 10;
    initialize();
    sim::MessageGroup group(command, 2);
    group[0].presence[0] = 1u << 11;  // Info flag 1
    group[1].presence[0] = 1u << 21;  // Command flag 1
    uint8_t infoFlag[2], commandFlag[2];
    fillSentinel(infoFlag);
    fillSentinel(commandFlag);
    miInfoGetFlag(infoFlag, group.records(), 2, 1);
    miCommandGetFlag(commandFlag, group.records(), 2, 1);
    EXPECT_EQ(infoFlag[0], 1);
    EXPECT_EQ(infoFlag[1], 0);
    EXPECT_EQ(commandFlag[0], 0);
    EXPECT_EQ(commandFlag[1], 1);
}

TEST_F(MessagesTest, FlagBitWrapsModulo2To32) {
    command.metadata.base[MI_KIND_FLAG] = 0xFFFFFFF0u;
    initialize();
    sim::MessageGroup group(command, 1);
    miCommandSetFlag(group.records(), nullptr, 1, 0x13);  // bit 3
    EXPECT_EQ(group[0].presence[0], 1u << 3);
    uint8_t out = sentinel<uint8_t>();
    miCommandGetFlag(&out, group.records(), 1, 0x13);
    EXPECT_EQ(out, 1);
}

TEST_F(MessagesTest, FlagAccessorsWithCountZeroTouchNothing) {
    uint8_t out = 0xEE;
    miCommandSetFlag(actual.records(), nullptr, 0, 0);
    miCommandSetFlag(nullptr, nullptr, 0, 0);
    for (Query query :
         {miCommandGetFlag, miInfoGetFlag, miCommandHasField, miFeedbackHasField, miInfoHasField}) {
        query(&out, actual.records(), 0, 0);
        query(nullptr, nullptr, 0, 0);
    }
    EXPECT_EQ(out, 0xEE);
    expectMatches();
}

}  // namespace
