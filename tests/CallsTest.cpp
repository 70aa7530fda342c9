// SPDX-License-Identifier: MIT
// Call lists: miRunCalls does byte for byte what the same accessor calls made
// one by one do, for each accessor value of the list, over a few records and
// over more than 2^16; values that name no accessor and empty lists do
// nothing, and a list goes on past them; a list runs its calls in order.
#include "TestSupport.hpp"
#include "tovakWrapperAccessors.h"
#include "tovakWrapperCalls.h"

using namespace testing_support;

namespace {

// One accessor: its call-list value, its element width, and the direct call
// with the MiCall members as arguments.
struct Accessor {
    uint32_t value;
    const char* name;
    std::size_t width;
    bool setter;
    void (*call)(void* buffer, const MessageRecord* records, uint32_t count, int32_t number,
                 uint32_t field);
};

#define TOVAK_DIRECT_SET_FIELD(function, T)                                \
    [](void* b, const MessageRecord* r, uint32_t n, int32_t, uint32_t f) { \
        function(r, static_cast<const T*>(b), n, f);                       \
    }
#define TOVAK_DIRECT_GET_FIELD(function, T)                                \
    [](void* b, const MessageRecord* r, uint32_t n, int32_t, uint32_t f) { \
        function(static_cast<T*>(b), r, n, f);                             \
    }
#define TOVAK_DIRECT_SET_ENTRY(function, T)                                  \
    [](void* b, const MessageRecord* r, uint32_t n, int32_t k, uint32_t f) { \
        function(r, static_cast<const T*>(b), n, k, f);                      \
    }
#define TOVAK_DIRECT_GET_ENTRY(function, T)                                  \
    [](void* b, const MessageRecord* r, uint32_t n, int32_t k, uint32_t f) { \
        function(static_cast<T*>(b), r, n, k, f);                            \
    }
#define TOVAK_DIRECT_HAS_FIELD TOVAK_DIRECT_GET_FIELD
#define TOVAK_DIRECT_HAS_ENTRY TOVAK_DIRECT_GET_ENTRY
#define TOVAK_SETTER_SET true
#define TOVAK_SETTER_GET false
#define TOVAK_SETTER_HAS false
#define TOVAK_ACCESSOR(value, ID, function, name, MESSAGE, OP, FAMILY, KIND, ARGS, T) \
    {MI_CALL_##ID, #function, sizeof(T), TOVAK_SETTER_##OP,                           \
     TOVAK_DIRECT_##OP##_##ARGS(function, T)},

// In the order of the accessor list, whose values 1 to 48 are part of the
// interface.
const std::vector<Accessor>& accessors() {
    static const std::vector<Accessor> all = {MI_ACCESSORS(TOVAK_ACCESSOR)};
    return all;
}

MiCall makeCall(uint32_t accessor, const MessageRecord* records, uint32_t count, int32_t number,
                uint32_t field, void* buffer) {
    MiCall call;
    call.accessor = accessor;
    call.count = count;
    call.number = number;
    call.field = field;
    call.records = records;
    call.buffer = buffer;
    return call;
}

// n records viewing a group's messages in turn: record i views message i % kCount.
std::vector<MessageRecord> views(sim::MessageGroup& group, std::size_t n) {
    std::vector<MessageRecord> records(n);
    for (std::size_t i = 0; i < n; ++i) records[i] = group.records()[i % group.size()];
    return records;
}

class CallsTest : public MessagesTest {
protected:
    void SetUp() override {
        initialize();
        // Tags 1 and 2 where the pin accessors look, and presence bits both
        // set and clear, so every answer occurs.
        for (sim::MessageGroup* group : {&actual, &expected})
            for (uint32_t i = 0; i < group->size(); ++i)
                for (auto& pin : (*group)[i].ioPins) pin.tag = 1 + pin.padding % 3;
    }
    // Bytes of both groups and of both buffers must agree.
    void expectSame(const std::vector<uint8_t>& listBuffer,
                    const std::vector<uint8_t>& directBuffer, const std::string& what) {
        EXPECT_EQ(actual.bytes(), expected.bytes()) << what;
        EXPECT_EQ(listBuffer, directBuffer) << what;
    }
    // Every accessor value, as a list of one call over `count` records
    // viewing `actual`, against the accessor called directly over the same
    // views of `expected`; setters with values and with NULL values.
    void expectEveryAccessorAsCalledDirectly(uint32_t count) {
        ASSERT_EQ(accessors().size(), std::size_t{MI_ACCESSOR_COUNT});
        const std::vector<MessageRecord> listRecords = views(actual, count);
        const std::vector<MessageRecord> directRecords = views(expected, count);
        // number and field differ, and swapping them would address another
        // element (tables 0, 4, 8, 12: 4 + 2 against 8 + 1).
        const int32_t number = 2;
        const uint32_t field = 1;
        sim::Random random(11);
        for (std::size_t a = 0; a < accessors().size(); ++a) {
            const Accessor& accessor = accessors()[a];
            EXPECT_EQ(accessor.value, a + 1) << accessor.name;
            for (const bool nullValues : {false, true}) {
                if (nullValues && !accessor.setter) continue;
                std::vector<uint8_t> listBuffer(count * accessor.width);
                if (accessor.setter)
                    random.fill(listBuffer.data(), listBuffer.size());
                else
                    fillSentinel(listBuffer);
                std::vector<uint8_t> directBuffer = listBuffer;
                void* listData = nullValues ? nullptr : listBuffer.data();
                void* directData = nullValues ? nullptr : directBuffer.data();

                const MiCall call =
                    makeCall(accessor.value, listRecords.data(), count, number, field, listData);
                miRunCalls(&call, 1);
                accessor.call(directData, directRecords.data(), count, number, field);
                expectSame(listBuffer, directBuffer,
                           std::string(accessor.name) + (nullValues ? ", NULL values" : "") +
                               ", count " + std::to_string(count));
            }
        }
    }
};

TEST_F(CallsTest, EveryAccessorValueRunsThatAccessorWithTheCallsArguments) {
    expectEveryAccessorAsCalledDirectly(kCount);
}

// A count is passed on whole: over 2^16 + 5 records, a call that covered only
// the count's low 16 bits would leave getters' out elements unwritten and
// setters' last values unstored (the records view five messages in turn).
TEST_F(CallsTest, ACallCoversACountBeyondSixteenBits) {
    expectEveryAccessorAsCalledDirectly((1u << 16) + 5);
}

TEST_F(CallsTest, ValuesNamingNoAccessorAreSkippedAndEmptyListsDoNothing) {
    std::vector<uint8_t> buffer(kCount * 16);
    sim::Random(3).fill(buffer.data(), buffer.size());
    const std::vector<uint8_t> before = buffer;
    // 0, the first value past the end, values whose low byte or low bits
    // name an accessor, and the largest.
    const uint32_t unknown[] = {0u,         MI_ACCESSOR_COUNT + 1u, 0x101u, 0x10001u, 0x80000001u,
                                0xFFFFFFFFu};
    for (const uint32_t value : unknown) {
        const MiCall call = makeCall(value, actual.records(), kCount, 1, 1, buffer.data());
        miRunCalls(&call, 1);
        expectSame(buffer, before, "value " + std::to_string(value));
    }
    // n == 0 reads nothing: neither a NULL list nor a list of valid calls.
    miRunCalls(nullptr, 0);
    const MiCall set =
        makeCall(MI_CALL_COMMAND_SET_FLOAT, actual.records(), kCount, 0, 1, buffer.data());
    miRunCalls(&set, 0);
    expectSame(buffer, before, "n = 0");

    // Between a setter and a getter of the same field they are skipped: the
    // list goes on to the getter, which reads what the setter wrote.
    float values[kCount], read[kCount];
    for (uint32_t i = 0; i < kCount; ++i) values[i] = 0.5f + static_cast<float>(i);
    fillSentinel(read);
    std::vector<MiCall> list = {
        makeCall(MI_CALL_COMMAND_SET_FLOAT, actual.records(), kCount, 0, 3, values)};
    for (const uint32_t value : unknown)
        list.push_back(makeCall(value, actual.records(), kCount, 1, 1, buffer.data()));
    list.push_back(makeCall(MI_CALL_FEEDBACK_GET_FLOAT, actual.records(), kCount, 0, 3, read));
    miRunCalls(list.data(), static_cast<uint32_t>(list.size()));
    for (uint32_t i = 0; i < kCount; ++i) {
        EXPECT_EQ(bitsOf(read[i]), bitsOf(values[i])) << i;
        expected[i].floats[3] = values[i];
        expectBit(i, command.metadata.base[MI_KIND_FLOAT] + 3);
    }
    expectSame(buffer, before, "unknown values between a setter and a getter");
}

TEST_F(CallsTest, AListRunsItsCallsInOrderOverTheSameMessages) {
    float first[kCount], second[kCount], readFirst[kCount], readSecond[kCount];
    int32_t enums[kCount];
    uint8_t flags[kCount];
    for (uint32_t i = 0; i < kCount; ++i) {
        first[i] = 1.5f * static_cast<float>(i);
        second[i] = -0.25f - static_cast<float>(i);
    }
    fillSentinel(readFirst);
    fillSentinel(readSecond);
    fillSentinel(enums);
    fillSentinel(flags);
    const uint32_t flagBit = command.metadata.base[MI_KIND_FLAG] + 2;
    MessageRecord* r = actual.records();
    // Set, read, set again, read again; an Enum read out and written to
    // another field from that very buffer; a flag set and then asked for.
    const MiCall calls[] = {
        makeCall(MI_CALL_COMMAND_SET_FLOAT, r, kCount, 0, 3, first),
        makeCall(MI_CALL_FEEDBACK_GET_FLOAT, r, kCount, 0, 3, readFirst),
        makeCall(MI_CALL_COMMAND_SET_FLOAT, r, kCount, 0, 3, second),
        makeCall(MI_CALL_INFO_GET_FLOAT, r, kCount, 0, 3, readSecond),
        makeCall(MI_CALL_COMMAND_GET_ENUM, r, kCount, 0, 0, enums),
        makeCall(MI_CALL_COMMAND_SET_ENUM, r, kCount, 0, 2, enums),
        makeCall(MI_CALL_COMMAND_SET_FLAG, r, kCount, 0, 2, nullptr),
        makeCall(MI_CALL_COMMAND_HAS_FIELD, r, kCount, 0, flagBit, flags),
    };
    miRunCalls(calls, sizeof calls / sizeof calls[0]);
    for (uint32_t i = 0; i < kCount; ++i) {
        EXPECT_EQ(bitsOf(readFirst[i]), bitsOf(first[i])) << i;
        EXPECT_EQ(bitsOf(readSecond[i]), bitsOf(second[i])) << i;
        EXPECT_EQ(flags[i], 1) << i;
        expected[i].floats[3] = second[i];
        expectBit(i, command.metadata.base[MI_KIND_FLOAT] + 3);
        expected[i].enums[2] = expected[i].enums[0];
        EXPECT_EQ(enums[i], expected[i].enums[0]) << i;
        expectBit(i, command.metadata.base[MI_KIND_ENUM] + 2);
        expectBit(i, flagBit);
    }
    expectMatches();
}

}  // namespace
