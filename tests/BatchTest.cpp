// SPDX-License-Identifier: MIT
// One call over many messages gives exactly what one call per message gives,
// for every getter and setter: counts well past the point where the getters
// start reading ahead, and every boundary of that loop; and no getter reads a
// record past the last.
#include "Pages.hpp"
#include "TestSupport.hpp"

#include <cstring>
#include <functional>

using namespace testing_support;

namespace {

// Calls one accessor over `count` records; buffers hold `width`-byte elements.
struct Accessor {
    const char* name;
    std::size_t width;
    std::function<void(void* buffer, const MessageRecord* records, uint32_t count)> call;
};

const std::vector<Accessor>& getters() {
    static const std::vector<Accessor> all = {
        {"Float", 4,
         [](void* o, auto r, uint32_t n) { miFeedbackGetFloat(static_cast<float*>(o), r, n, 2); }},
        {"HighResAngle", 8,
         [](void* o, auto r, uint32_t n) {
             miInfoGetHighResAngle(static_cast<double*>(o), r, n, 1);
         }},
        {"Vector3f", 12,
         [](void* o, auto r, uint32_t n) {
             miCommandGetVector3f(static_cast<MiVector3f*>(o), r, n, 3);
         }},
        {"Quaternionf", 16,
         [](void* o, auto r, uint32_t n) {
             miFeedbackGetQuaternionf(static_cast<MiQuaternionf*>(o), r, n, 0);
         }},
        {"UInt64", 8,
         [](void* o, auto r, uint32_t n) {
             miCommandGetUInt64(static_cast<uint64_t*>(o), r, n, 1);
         }},
        {"Enum", 4,
         [](void* o, auto r, uint32_t n) { miInfoGetEnum(static_cast<int32_t*>(o), r, n, 2); }},
        {"Bool", 1,
         [](void* o, auto r, uint32_t n) { miFeedbackGetBool(static_cast<uint8_t*>(o), r, n, 3); }},
        {"Led", 4,
         [](void* o, auto r, uint32_t n) { miCommandGetLed(static_cast<uint32_t*>(o), r, n, 0); }},
        {"NumberedFloat", 4,
         [](void* o, auto r, uint32_t n) {
             miFeedbackGetNumberedFloat(static_cast<float*>(o), r, n, -1, 2);
         }},
        {"IoPin", 16,
         [](void* o, auto r, uint32_t n) {
             miCommandGetIoPin(static_cast<IoPinEntry*>(o), r, n, 1, 1);
         }},
        {"IoPinInt", 8,
         [](void* o, auto r, uint32_t n) {
             miFeedbackGetIoPinInt(static_cast<int64_t*>(o), r, n, 1, 1);
         }},
        {"IoPinFloat", 4,
         [](void* o, auto r, uint32_t n) {
             miCommandGetIoPinFloat(static_cast<float*>(o), r, n, 2, 1);
         }},
        {"HasIoPinInt", 1,
         [](void* o, auto r, uint32_t n) {
             miCommandHasIoPinInt(static_cast<uint8_t*>(o), r, n, 1, 1);
         }},
        {"HasIoPinFloat", 1,
         [](void* o, auto r, uint32_t n) {
             miFeedbackHasIoPinFloat(static_cast<uint8_t*>(o), r, n, 2, 1);
         }},
        {"Flag", 1,
         [](void* o, auto r, uint32_t n) { miInfoGetFlag(static_cast<uint8_t*>(o), r, n, 1); }},
        {"HasField", 1,
         [](void* o, auto r, uint32_t n) {
             miCommandHasField(static_cast<uint8_t*>(o), r, n, 101);
         }},
    };
    return all;
}

class BatchTest : public MessagesTest {
protected:
    void SetUp() override {
        initialize();
        group.scramble(21);
        // Tags 1 and 2 where the pin accessors look, so both answers occur.
        for (uint32_t i = 0; i < group.size(); ++i)
            for (auto& pin : group[i].ioPins) pin.tag = 1 + pin.padding % 3;
    }
    static constexpr uint32_t kMany = 2053;  // past the read-ahead threshold, odd tail
    sim::MessageGroup group{command, kMany};
};

TEST_F(BatchTest, GettersGiveTheSameBytesInOneCallAsOnePerMessage) {
    for (const Accessor& get : getters()) {
        for (uint32_t count : {kMany, 1024u, 1040u, 1041u, 17u}) {
            // Different sentinels: an element left unwritten cannot match.
            auto batched = sentinelVector<uint8_t>(count * get.width, 0xA5);
            auto single = sentinelVector<uint8_t>(count * get.width, 0x5A);
            get.call(batched.data(), group.records(), count);
            for (uint32_t i = 0; i < count; ++i)
                get.call(&single[i * get.width], group.records() + i, 1);
            EXPECT_EQ(batched, single) << get.name << ", count " << count;
        }
    }
}

// The record array ends where an unreadable page begins, so a getter that
// reads one record past the last (ahead or in its loop) faults.
TEST_F(BatchTest, GettersReadNoRecordPastTheLast) {
    for (uint32_t count : {1024u, kMany}) {
        BytesBeforeUnreadablePage memory(count * sizeof(MessageRecord));
        ASSERT_NE(memory.data(), nullptr);
        auto* records = static_cast<MessageRecord*>(
            std::memcpy(memory.data(), group.records(), count * sizeof(MessageRecord)));
        for (const Accessor& get : getters()) {
            auto fenced = sentinelVector<uint8_t>(count * get.width, 0xA5);
            auto plain = sentinelVector<uint8_t>(count * get.width, 0x5A);
            get.call(fenced.data(), records, count);
            get.call(plain.data(), group.records(), count);
            EXPECT_EQ(fenced, plain) << get.name << ", count " << count;
        }
    }
}

TEST_F(BatchTest, SettersGiveTheSameBytesInOneCallAsOnePerMessage) {
    sim::MessageGroup other(command, kMany);
    other.scramble(21);
    for (uint32_t i = 0; i < other.size(); ++i)
        for (auto& pin : other[i].ioPins) pin.tag = 1 + pin.padding % 3;
    std::vector<uint8_t> values(kMany * 16);
    sim::Random(5).fill(values.data(), values.size());
    auto set = [&values](MessageRecord* r, uint32_t first, uint32_t n) {
        const uint8_t* v = values.data();
        miCommandSetFloat(r, reinterpret_cast<const float*>(v) + first, n, 1);
        miCommandSetHighResAngle(r, reinterpret_cast<const double*>(v) + first, n, 2);
        miCommandSetIoPinFloat(r, reinterpret_cast<const float*>(v) + first, n, 0, 3);
        miCommandSetNumberedFloat(r, nullptr, n, 1, 1);
        miCommandSetFlag(r, nullptr, n, 3);
    };
    set(group.records(), 0, kMany);
    for (uint32_t i = 0; i < kMany; ++i) set(other.records() + i, i, 1);
    EXPECT_EQ(group.bytes(), other.bytes());
}

}  // namespace
