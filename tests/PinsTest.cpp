// SPDX-License-Identifier: MIT
// I/O pins: which metadata copy each accessor addresses through, what each
// setter writes of an entry, tag-checked getters and presence queries, and
// signed 64-bit entry indices.
#include "Pages.hpp"
#include "TestSupport.hpp"

using namespace testing_support;

namespace {

class PinsTest : public MessagesTest {
protected:
    void SetUp() override {
        // The Command and Feedback tables disagree on purpose.
        feedback.pinBankTable = {0, 8, 2, 12};
        command.pinBankTable = {0, 4, 1, 12};
        feedback.metadata.pinBankTable = feedback.pinBankTable.data();
        command.metadata.pinBankTable = command.pinBankTable.data();
        initialize();
    }
    uint32_t commandBit(uint32_t entry) const {
        return command.metadata.base[MI_KIND_IO_PIN] + entry;
    }

    static IoPinEntry entry(int64_t value, IoPinTag tag, uint32_t padding) {
        IoPinEntry e;
        e.value.asInt = value;
        e.tag = tag;
        e.padding = padding;
        return e;
    }
};

TEST_F(PinsTest, CommandSettersUseTheFeedbackTableAndTheCommandBase) {
    const int64_t values[kCount] = {-1, 2, INT64_MIN, INT64_MAX, 0};
    miCommandSetIoPinInt(actual.records(), values, kCount, 0, 1);  // Feedback table: entry 8
    for (uint32_t i = 0; i < kCount; ++i) {
        expected[i].ioPins[8].value.asInt = values[i];
        expected[i].ioPins[8].tag = MI_IO_PIN_TAG_INT;
        expectBit(i, commandBit(8));
    }
    expectMatches();
}

TEST_F(PinsTest, SetIoPinCopiesAllSixteenBytesUnexamined) {
    const IoPinEntry values[kCount] = {entry(5, 0, 0xAAAAAAAAu), entry(-5, 7, 1), entry(1, 1, 2),
                                       entry(2, 2, 3), entry(3, 0xFFFFFFFFu, 4)};
    miCommandSetIoPin(actual.records(), values, kCount, 1, 2);  // entry 2 + 1
    for (uint32_t i = 0; i < kCount; ++i) {
        expected[i].ioPins[3] = values[i];
        expectBit(i, commandBit(3));
    }
    expectMatches();
}

TEST_F(PinsTest, TypedSettersWriteTheirBytesAndTagOnly) {
    const int64_t ints[kCount] = {10, 11, 12, 13, 14};
    const float floats[kCount] = {floatFromBits(0x7F800001u), -0.0f, 1.5f, 2.5f, 3.5f};
    miCommandSetIoPinInt(actual.records(), ints, kCount, 1, 0);      // entry 1: padding kept
    miCommandSetIoPinFloat(actual.records(), floats, kCount, 3, 2);  // entry 5: upper 4 bytes kept
    for (uint32_t i = 0; i < kCount; ++i) {
        expected[i].ioPins[1].value.asInt = ints[i];
        expected[i].ioPins[1].tag = MI_IO_PIN_TAG_INT;
        std::memcpy(expected[i].ioPins[5].value.bytes, &floats[i], 4);
        expected[i].ioPins[5].tag = MI_IO_PIN_TAG_FLOAT;
        expectBit(i, commandBit(1));
        expectBit(i, commandBit(5));
    }
    expectMatches();
}

TEST_F(PinsTest, NullValuesSetOnlyPresenceBits) {
    miCommandSetIoPin(actual.records(), nullptr, kCount, 0, 0);
    miCommandSetIoPinInt(actual.records(), nullptr, kCount, 1, 1);
    miCommandSetIoPinFloat(actual.records(), nullptr, kCount, -1, 3);
    for (uint32_t i = 0; i < kCount; ++i) {
        expectBit(i, commandBit(0));
        expectBit(i, commandBit(9));
        expectBit(i, commandBit(11));
    }
    expectMatches();
}

TEST_F(PinsTest, FloatOverAnIntegerKeepsItsUpperBytes) {
    const int64_t big = 0x1122334455667788;
    const float f = 0.25f;
    miCommandSetIoPinInt(actual.records(), &big, 1, 0, 1);
    miCommandSetIoPinFloat(actual.records(), &f, 1, 0, 1);
    for (auto get : {miCommandGetIoPin, miFeedbackGetIoPin}) {
        IoPinEntry e = sentinel<IoPinEntry>();
        get(&e, actual.records(), 1, 0, 1);
        EXPECT_EQ(e.value.asInt, static_cast<int64_t>(0x1122334400000000 | bitsOf(f)));
        EXPECT_EQ(e.tag, MI_IO_PIN_TAG_FLOAT);
        EXPECT_EQ(e.padding, actual[0].ioPins[8].padding);
    }
    for (auto get : {miCommandGetIoPinInt, miFeedbackGetIoPinInt}) {
        int64_t v = -1;
        get(&v, actual.records(), 1, 0, 1);
        EXPECT_EQ(v, 0);
    }
    for (auto get : {miCommandGetIoPinFloat, miFeedbackGetIoPinFloat}) {
        float v = -1;
        get(&v, actual.records(), 1, 0, 1);
        EXPECT_EQ(bitsOf(v), bitsOf(f));
    }
}

// Tags 1 and 2 alone select a typed value; the tag is a whole 32-bit word.
TEST_F(PinsTest, TypedGettersAnswerZeroUnlessTheTagMatches) {
    const IoPinTag tags[kCount] = {MI_IO_PIN_TAG_INT, MI_IO_PIN_TAG_FLOAT, 0, 0x101u, 0x80000001u};
    for (uint32_t i = 0; i < kCount; ++i) actual[i].ioPins[2].tag = tags[i];
    int64_t ints[kCount];
    float floats[kCount];
    for (auto get : {miCommandGetIoPinInt, miFeedbackGetIoPinInt}) {
        fillSentinel(ints);
        get(ints, actual.records(), kCount, 0, 2);
        EXPECT_EQ(ints[0], actual[0].ioPins[2].value.asInt);
        for (uint32_t i = 1; i < kCount; ++i) EXPECT_EQ(ints[i], 0) << i;
    }
    for (auto get : {miCommandGetIoPinFloat, miFeedbackGetIoPinFloat}) {
        fillSentinel(floats);
        get(floats, actual.records(), kCount, 0, 2);
        EXPECT_EQ(bitsOf(floats[1]), bitsOf(actual[1].ioPins[2].value.asFloat));
        for (uint32_t i : {0u, 2u, 3u, 4u}) EXPECT_EQ(bitsOf(floats[i]), 0u) << i;
    }
}

TEST_F(PinsTest, PresenceQueriesNeedTheTagAndTheSingleBit) {
    // Command queries use the Command table: bank 1 pin 0 is entry 4.
    const uint32_t bit = commandBit(4);
    const IoPinTag tags[4] = {MI_IO_PIN_TAG_INT, MI_IO_PIN_TAG_INT, MI_IO_PIN_TAG_FLOAT, 0};
    const bool set[4] = {true, false, true, true};
    for (uint32_t i = 0; i < 4; ++i) {
        actual[i].ioPins[4].tag = tags[i];
        auto& word = actual[i].presence[bit >> 5];
        word = set[i] ? 1u << (bit & 31) : ~(1u << (bit & 31));
    }
    uint8_t isInt[4], isFloat[4];
    fillSentinel(isInt);
    fillSentinel(isFloat);
    miCommandHasIoPinInt(isInt, actual.records(), 4, 0, 1);
    miCommandHasIoPinFloat(isFloat, actual.records(), 4, 0, 1);
    const uint8_t wantInt[4] = {1, 0, 0, 0}, wantFloat[4] = {0, 0, 1, 0};
    for (uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(isInt[i], wantInt[i]) << i;
        EXPECT_EQ(isFloat[i], wantFloat[i]) << i;
    }
}

TEST_F(PinsTest, CommandSetterAndCommandQueryMayAddressDifferentEntries) {
    sim::MessageGroup group(command, 1);
    const int64_t v = 42;
    miCommandSetIoPinInt(group.records(), &v, 1, 0, 1);  // writes entry 8, bit base + 8
    EXPECT_EQ(group[0].ioPins[8].value.asInt, 42);
    EXPECT_TRUE(group[0].present(commandBit(8)));
    uint8_t has = 0xEE;
    miCommandHasIoPinInt(&has, group.records(), 1, 0, 1);  // inspects entry 4, bit base + 4
    EXPECT_EQ(has, 0);
    group[0].ioPins[4].tag = MI_IO_PIN_TAG_INT;
    group[0].presence[commandBit(4) >> 5] |= 1u << (commandBit(4) & 31);
    has = sentinel<uint8_t>();
    miCommandHasIoPinInt(&has, group.records(), 1, 0, 1);
    EXPECT_EQ(has, 1);
}

TEST_F(PinsTest, FeedbackQueriesUseTheFeedbackTableAndBase) {
    sim::MessageGroup group(feedback, 1);
    const uint32_t bit = feedback.metadata.base[MI_KIND_IO_PIN] + 8;
    group[0].ioPins[8].tag = MI_IO_PIN_TAG_FLOAT;
    group[0].presence[bit >> 5] |= 1u << (bit & 31);
    uint8_t isInt = 0xEE, isFloat = 0xEE;
    miFeedbackHasIoPinInt(&isInt, group.records(), 1, 0, 1);
    miFeedbackHasIoPinFloat(&isFloat, group.records(), 1, 0, 1);
    EXPECT_EQ(isInt, 0);
    EXPECT_EQ(isFloat, 1);
}

TEST_F(PinsTest, NegativePinsCountBackFromTheBankStart) {
    const int64_t v = 7;
    miCommandSetIoPinInt(actual.records(), &v, 1, -1, 3);  // 12 - 1
    expected[0].ioPins[11].value.asInt = 7;
    expected[0].ioPins[11].tag = MI_IO_PIN_TAG_INT;
    expectBit(0, commandBit(11));
    expectMatches();
}

TEST_F(PinsTest, TableEditsTakeEffectAtTheNextCall) {
    const int64_t v = 99;
    feedback.pinBankTable[1] = 6;
    miCommandSetIoPinInt(actual.records(), &v, 1, 0, 1);
    expected[0].ioPins[6].value.asInt = 99;
    expected[0].ioPins[6].tag = MI_IO_PIN_TAG_INT;
    expectBit(0, commandBit(6));
    expectMatches();
}

// The entry index is a 64-bit sum: INT32_MAX + 1 must not wrap to INT32_MIN.
// The record's array pointer is placed so that entry 2^31 is a real entry.
TEST_F(PinsTest, EntryIndexIsA64BitSum) {
    const std::vector<int32_t> table{INT32_MAX, INT32_MIN};
    feedback.metadata.pinBankTable = table.data();
    command.metadata.base[MI_KIND_IO_PIN] = 0x80000000u;  // bit = base + low 32 bits, mod 2^32
    initialize();
    IoPinEntry target[2] = {};
    uint32_t presence[2] = {};
    MessageRecord record = actual.records()[0];
    record.presence = presence;
    record.ioPins = reinterpret_cast<IoPinEntry*>(reinterpret_cast<uintptr_t>(&target[0]) -
                                                  (uintptr_t{1} << 31) * sizeof(IoPinEntry));
    const int64_t v = 5;
    miCommandSetIoPinInt(&record, &v, 1, 1, 0);  // INT32_MAX + 1 = 2^31
    EXPECT_EQ(target[0].value.asInt, 5);
    EXPECT_EQ(target[0].tag, MI_IO_PIN_TAG_INT);
    EXPECT_EQ(presence[0], 1u);  // 0x80000000 + 0x80000000 wraps to bit 0

    record.ioPins = reinterpret_cast<IoPinEntry*>(reinterpret_cast<uintptr_t>(&target[1]) +
                                                  ((uintptr_t{1} << 31) + 1) * sizeof(IoPinEntry));
    int64_t out = sentinel<int64_t>();
    target[1] = entry(-8, MI_IO_PIN_TAG_INT, 0);
    miFeedbackGetIoPinInt(&out, &record, 1, -1, 1);  // INT32_MIN - 1 = -(2^31) - 1
    EXPECT_EQ(out, -8);
}

// The presence queries add bank start and pin in 64 bits too, through the
// Command metadata's table (Command queries) and the Feedback metadata's
// (Feedback queries): INT32_MAX + 1 is entry 2^31 and INT32_MIN - 1 is entry
// -(2^31) - 1, never their 32-bit wraps. Each query must find the one entry
// that answers 1; a wrapped index lands 2^36 bytes away.
TEST_F(PinsTest, PresenceQueriesUseA64BitEntryIndex) {
    const std::vector<int32_t> table{INT32_MAX, INT32_MIN};
    command.metadata.pinBankTable = table.data();
    feedback.metadata.pinBankTable = table.data();
    command.metadata.base[MI_KIND_IO_PIN] = 0x80000000u;   // + 0x80000000: bit 0
    feedback.metadata.base[MI_KIND_IO_PIN] = 0x80000001u;  // + 0x7FFFFFFF: bit 0
    initialize();
    IoPinEntry target = {};
    uint32_t presence = 1;
    MessageRecord record = actual.records()[0];
    record.presence = &presence;
    const uintptr_t at = reinterpret_cast<uintptr_t>(&target);
    const uintptr_t span = (uintptr_t{1} << 31) * sizeof(IoPinEntry);
    using Query = void (*)(uint8_t*, const MessageRecord*, uint32_t, int32_t, uint32_t);
    struct Case {
        Query query;
        IoPinTag tag;
        int32_t pin;
        uint32_t bank;
        uintptr_t ioPins;  // so that the 64-bit entry index lands on `target`
    };
    const Case cases[] = {
        {miCommandHasIoPinInt, MI_IO_PIN_TAG_INT, 1, 0, at - span},
        {miCommandHasIoPinFloat, MI_IO_PIN_TAG_FLOAT, 1, 0, at - span},
        {miFeedbackHasIoPinInt, MI_IO_PIN_TAG_INT, -1, 1, at + span + sizeof(IoPinEntry)},
        {miFeedbackHasIoPinFloat, MI_IO_PIN_TAG_FLOAT, -1, 1, at + span + sizeof(IoPinEntry)},
    };
    for (const Case& c : cases) {
        target.tag = c.tag;
        record.ioPins = reinterpret_cast<IoPinEntry*>(c.ioPins);
        uint8_t answer = sentinel<uint8_t>();
        c.query(&answer, &record, 1, c.pin, c.bank);
        EXPECT_EQ(answer, 1) << "pin " << c.pin << " bank " << c.bank << " tag " << c.tag;
    }
}

// A count of 0 reads nothing: not even a table that cannot be read.
TEST_F(PinsTest, CountZeroReadsNoTable) {
    void* page = unreadablePage();
    ASSERT_NE(page, nullptr);
    feedback.metadata.pinBankTable = static_cast<const int32_t*>(page);
    feedback.metadata.numberedFloatTable = static_cast<const int32_t*>(page);
    command.metadata.pinBankTable = static_cast<const int32_t*>(page);
    initialize();
    miCommandSetIoPin(nullptr, nullptr, 0, 0, 0);
    miCommandSetIoPinInt(nullptr, nullptr, 0, 0, 0);
    miCommandSetIoPinFloat(nullptr, nullptr, 0, 0, 0);
    miCommandGetIoPin(nullptr, nullptr, 0, 0, 0);
    miFeedbackGetIoPin(nullptr, nullptr, 0, 0, 0);
    miCommandGetIoPinInt(nullptr, nullptr, 0, 0, 0);
    miFeedbackGetIoPinInt(nullptr, nullptr, 0, 0, 0);
    miCommandGetIoPinFloat(nullptr, nullptr, 0, 0, 0);
    miFeedbackGetIoPinFloat(nullptr, nullptr, 0, 0, 0);
    miCommandHasIoPinInt(nullptr, nullptr, 0, 0, 0);
    miFeedbackHasIoPinInt(nullptr, nullptr, 0, 0, 0);
    miCommandHasIoPinFloat(nullptr, nullptr, 0, 0, 0);
    miFeedbackHasIoPinFloat(nullptr, nullptr, 0, 0, 0);
    miCommandSetNumberedFloat(nullptr, nullptr, 0, 0, 0);
    miCommandGetNumberedFloat(nullptr, nullptr, 0, 0, 0);
    miFeedbackGetNumberedFloat(nullptr, nullptr, 0, 0, 0);
    releasePage(page);
    SUCCEED() << "no table was read";
}

}  // namespace
