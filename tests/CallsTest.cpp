// SPDX-License-Identifier: MIT
// Call lists: miRunCalls does byte for byte what the same accessor calls made
// one by one do, for each of the 48 accessor values; values that name no
// accessor and empty lists do nothing; a list runs its calls in order.
#include "TestSupport.hpp"
#include "tovakWrapperCalls.h"

#include <functional>

using namespace testing_support;

namespace {

// One accessor: its call-list value, its element width, and the direct call
// with the MiCall members as arguments.
struct Accessor {
    uint32_t value;
    const char* name;
    std::size_t width;
    bool setter;
    std::function<void(void* buffer, const MessageRecord* records, uint32_t count, int32_t number,
                       uint32_t field)>
        call;
};

#define SET(e, fn, T)                                                              \
    {                                                                              \
        e, #fn, sizeof(T), true,                                                   \
            [](void* b, const MessageRecord* r, uint32_t n, int32_t, uint32_t f) { \
                fn(r, static_cast<const T*>(b), n, f);                             \
            }                                                                      \
    }
#define GET(e, fn, T)                                                              \
    {                                                                              \
        e, #fn, sizeof(T), false,                                                  \
            [](void* b, const MessageRecord* r, uint32_t n, int32_t, uint32_t f) { \
                fn(static_cast<T*>(b), r, n, f);                                   \
            }                                                                      \
    }
#define SET_AT(e, fn, T)                                                             \
    {                                                                                \
        e, #fn, sizeof(T), true,                                                     \
            [](void* b, const MessageRecord* r, uint32_t n, int32_t k, uint32_t f) { \
                fn(r, static_cast<const T*>(b), n, k, f);                            \
            }                                                                        \
    }
#define GET_AT(e, fn, T)                                                             \
    {                                                                                \
        e, #fn, sizeof(T), false,                                                    \
            [](void* b, const MessageRecord* r, uint32_t n, int32_t k, uint32_t f) { \
                fn(static_cast<T*>(b), r, n, k, f);                                  \
            }                                                                        \
    }

// In the order of the values 1 to 48, which are part of the interface.
const std::vector<Accessor>& accessors() {
    static const std::vector<Accessor> all = {
        SET(MI_CALL_COMMAND_SET_FLOAT, miCommandSetFloat, float),
        GET(MI_CALL_COMMAND_GET_FLOAT, miCommandGetFloat, float),
        GET(MI_CALL_FEEDBACK_GET_FLOAT, miFeedbackGetFloat, float),
        GET(MI_CALL_INFO_GET_FLOAT, miInfoGetFloat, float),
        SET(MI_CALL_COMMAND_SET_HIGH_RES_ANGLE, miCommandSetHighResAngle, double),
        GET(MI_CALL_COMMAND_GET_HIGH_RES_ANGLE, miCommandGetHighResAngle, double),
        GET(MI_CALL_FEEDBACK_GET_HIGH_RES_ANGLE, miFeedbackGetHighResAngle, double),
        GET(MI_CALL_INFO_GET_HIGH_RES_ANGLE, miInfoGetHighResAngle, double),
        GET(MI_CALL_COMMAND_GET_VECTOR3F, miCommandGetVector3f, MiVector3f),
        GET(MI_CALL_FEEDBACK_GET_VECTOR3F, miFeedbackGetVector3f, MiVector3f),
        GET(MI_CALL_COMMAND_GET_QUATERNIONF, miCommandGetQuaternionf, MiQuaternionf),
        GET(MI_CALL_FEEDBACK_GET_QUATERNIONF, miFeedbackGetQuaternionf, MiQuaternionf),
        GET(MI_CALL_COMMAND_GET_UINT64, miCommandGetUInt64, uint64_t),
        GET(MI_CALL_FEEDBACK_GET_UINT64, miFeedbackGetUInt64, uint64_t),
        SET(MI_CALL_COMMAND_SET_ENUM, miCommandSetEnum, int32_t),
        GET(MI_CALL_COMMAND_GET_ENUM, miCommandGetEnum, int32_t),
        GET(MI_CALL_FEEDBACK_GET_ENUM, miFeedbackGetEnum, int32_t),
        GET(MI_CALL_INFO_GET_ENUM, miInfoGetEnum, int32_t),
        SET(MI_CALL_COMMAND_SET_BOOL, miCommandSetBool, uint8_t),
        GET(MI_CALL_COMMAND_GET_BOOL, miCommandGetBool, uint8_t),
        GET(MI_CALL_FEEDBACK_GET_BOOL, miFeedbackGetBool, uint8_t),
        GET(MI_CALL_INFO_GET_BOOL, miInfoGetBool, uint8_t),
        SET_AT(MI_CALL_COMMAND_SET_NUMBERED_FLOAT, miCommandSetNumberedFloat, float),
        GET_AT(MI_CALL_COMMAND_GET_NUMBERED_FLOAT, miCommandGetNumberedFloat, float),
        GET_AT(MI_CALL_FEEDBACK_GET_NUMBERED_FLOAT, miFeedbackGetNumberedFloat, float),
        SET_AT(MI_CALL_COMMAND_SET_IO_PIN, miCommandSetIoPin, IoPinEntry),
        GET_AT(MI_CALL_COMMAND_GET_IO_PIN, miCommandGetIoPin, IoPinEntry),
        GET_AT(MI_CALL_FEEDBACK_GET_IO_PIN, miFeedbackGetIoPin, IoPinEntry),
        SET_AT(MI_CALL_COMMAND_SET_IO_PIN_INT, miCommandSetIoPinInt, int64_t),
        GET_AT(MI_CALL_COMMAND_GET_IO_PIN_INT, miCommandGetIoPinInt, int64_t),
        GET_AT(MI_CALL_COMMAND_HAS_IO_PIN_INT, miCommandHasIoPinInt, uint8_t),
        GET_AT(MI_CALL_FEEDBACK_GET_IO_PIN_INT, miFeedbackGetIoPinInt, int64_t),
        GET_AT(MI_CALL_FEEDBACK_HAS_IO_PIN_INT, miFeedbackHasIoPinInt, uint8_t),
        SET_AT(MI_CALL_COMMAND_SET_IO_PIN_FLOAT, miCommandSetIoPinFloat, float),
        GET_AT(MI_CALL_COMMAND_GET_IO_PIN_FLOAT, miCommandGetIoPinFloat, float),
        GET_AT(MI_CALL_COMMAND_HAS_IO_PIN_FLOAT, miCommandHasIoPinFloat, uint8_t),
        GET_AT(MI_CALL_FEEDBACK_GET_IO_PIN_FLOAT, miFeedbackGetIoPinFloat, float),
        GET_AT(MI_CALL_FEEDBACK_HAS_IO_PIN_FLOAT, miFeedbackHasIoPinFloat, uint8_t),
        SET(MI_CALL_COMMAND_SET_LED, miCommandSetLed, uint32_t),
        GET(MI_CALL_COMMAND_GET_LED, miCommandGetLed, uint32_t),
        GET(MI_CALL_FEEDBACK_GET_LED, miFeedbackGetLed, uint32_t),
        GET(MI_CALL_INFO_GET_LED, miInfoGetLed, uint32_t),
        SET(MI_CALL_COMMAND_SET_FLAG, miCommandSetFlag, uint8_t),
        GET(MI_CALL_COMMAND_GET_FLAG, miCommandGetFlag, uint8_t),
        GET(MI_CALL_INFO_GET_FLAG, miInfoGetFlag, uint8_t),
        GET(MI_CALL_COMMAND_HAS_FIELD, miCommandHasField, uint8_t),
        GET(MI_CALL_FEEDBACK_HAS_FIELD, miFeedbackHasField, uint8_t),
        GET(MI_CALL_INFO_HAS_FIELD, miInfoHasField, uint8_t),
    };
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
};

TEST_F(CallsTest, EveryAccessorValueRunsThatAccessorWithTheCallsArguments) {
    ASSERT_EQ(accessors().size(), 48u);
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
            std::vector<uint8_t> listBuffer(kCount * accessor.width);
            if (accessor.setter)
                random.fill(listBuffer.data(), listBuffer.size());
            else
                fillSentinel(listBuffer);
            std::vector<uint8_t> directBuffer = listBuffer;
            void* listData = nullValues ? nullptr : listBuffer.data();
            void* directData = nullValues ? nullptr : directBuffer.data();

            const MiCall call =
                makeCall(accessor.value, actual.records(), kCount, number, field, listData);
            miRunCalls(&call, 1);
            accessor.call(directData, expected.records(), kCount, number, field);
            expectSame(listBuffer, directBuffer,
                       std::string(accessor.name) + (nullValues ? ", NULL values" : ""));
        }
    }
}

TEST_F(CallsTest, ValuesNamingNoAccessorAndEmptyListsDoNothing) {
    std::vector<uint8_t> buffer(kCount * 16);
    sim::Random(3).fill(buffer.data(), buffer.size());
    const std::vector<uint8_t> before = buffer;
    // 0, the first value past the end, values whose low byte or low bits
    // name an accessor, and the largest.
    for (const uint32_t value : {0u, 49u, 0x101u, 0x10001u, 0x80000001u, 0xFFFFFFFFu}) {
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
