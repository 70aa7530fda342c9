// SPDX-License-Identifier: MIT
// Numbered floats: addressed through the Feedback metadata's table for
// Command and Feedback alike, with signed numbers.
#include "TestSupport.hpp"

using namespace testing_support;

namespace {

class NumberedFloatsTest : public MessagesTest {
protected:
    void SetUp() override {
        feedback.numberedFloatTable = {0, 3, 4, 8};
        command.numberedFloatTable = {0, 5, 9, 12};
        feedback.metadata.numberedFloatTable = feedback.numberedFloatTable.data();
        command.metadata.numberedFloatTable = command.numberedFloatTable.data();
        initialize();
    }
    uint32_t commandBit(uint32_t index) const {
        return command.metadata.base[MI_KIND_NUMBERED_FLOAT] + index;
    }
};

TEST_F(NumberedFloatsTest, SetterUsesTheFeedbackTableAndTheCommandBase) {
    const float values[kCount] = {floatFromBits(0x7F800001u), floatFromBits(0xFFC12345u), -0.0f,
                                  1e-45f, 3.25f};
    miCommandSetNumberedFloat(actual.records(), values, kCount, 2, 1);  // 3 + 2, not 5 + 2
    for (uint32_t i = 0; i < kCount; ++i) {
        std::memcpy(&expected[i].numberedFloats[5], &values[i], sizeof(float));
        expectBit(i, commandBit(5));
    }
    expectMatches();
}

TEST_F(NumberedFloatsTest, NegativeNumberAndNullValues) {
    miCommandSetNumberedFloat(actual.records(), nullptr, kCount, -1, 2);  // 4 - 1 = 3
    for (uint32_t i = 0; i < kCount; ++i) expectBit(i, commandBit(3));
    expectMatches();
    const float v = 8.5f;
    miCommandSetNumberedFloat(actual.records(), &v, 1, -3, 3);  // 8 - 3 = 5
    EXPECT_EQ(actual[0].numberedFloats[5], 8.5f);
}

TEST_F(NumberedFloatsTest, BothGettersReadThroughTheFeedbackTable) {
    for (auto get : {miCommandGetNumberedFloat, miFeedbackGetNumberedFloat}) {
        float out[kCount];
        fillSentinel(out);
        get(out, actual.records(), kCount, 1, 3);  // 8 + 1
        for (uint32_t i = 0; i < kCount; ++i)
            EXPECT_EQ(bitsOf(out[i]), bitsOf(actual[i].numberedFloats[9])) << i;
    }
    expectMatches();
}

TEST_F(NumberedFloatsTest, FirstElementOfFirstFieldIsAtTheBase) {
    const float v = 1.0f;
    miCommandSetNumberedFloat(actual.records(), &v, 1, 0, 0);
    expected[0].numberedFloats[0] = 1.0f;
    expectBit(0, commandBit(0));
    expectMatches();
}

TEST_F(NumberedFloatsTest, TableEditsTakeEffectAtTheNextCall) {
    float before = sentinel<float>(), after = sentinel<float>();
    miFeedbackGetNumberedFloat(&before, actual.records(), 1, 0, 1);
    feedback.numberedFloatTable[1] = 10;
    miFeedbackGetNumberedFloat(&after, actual.records(), 1, 0, 1);
    EXPECT_EQ(bitsOf(before), bitsOf(actual[0].numberedFloats[3]));
    EXPECT_EQ(bitsOf(after), bitsOf(actual[0].numberedFloats[10]));
}

TEST_F(NumberedFloatsTest, PresenceBitAddsTheIndexModulo2To32) {
    command.metadata.base[MI_KIND_NUMBERED_FLOAT] = 0xFFFFFFFEu;
    initialize();
    miCommandSetNumberedFloat(actual.records(), nullptr, 1, 1, 1);  // index 4 -> bit 2
    expected[0].presence[0] |= 1u << 2;
    expectMatches();
}

}  // namespace
