// SPDX-License-Identifier: MIT
// Plain-value setters and getters, the accessor frame they share (count 0,
// null values, order, aliasing) and the library's metadata state.
#include "Pages.hpp"
#include "TestSupport.hpp"

#include <array>

using namespace testing_support;

namespace {

template <typename Elem>
using Setter = void (*)(const MessageRecord*, const Elem*, uint32_t, uint32_t);
template <typename Elem>
using Getter = void (*)(Elem*, const MessageRecord*, uint32_t, uint32_t);

// One settable plain kind: its accessors, its array in a message, and
// values that would expose a conversion (NaN payloads, odd bytes).
struct FloatKind {
    using Elem = float;
    static constexpr MiFieldKind kind = MI_KIND_FLOAT;
    static inline const Setter<Elem> set = miCommandSetFloat;
    static inline const std::array<Getter<Elem>, 3> gets{miCommandGetFloat, miFeedbackGetFloat,
                                                         miInfoGetFloat};
    static std::vector<Elem>& array(sim::Message& m) { return m.floats; }
    // Signalling NaNs with payloads, negative zero, a subnormal.
    static Elem value(uint32_t i) {
        static const uint32_t bits[] = {0x7F800001u, 0xFFA5A5A5u, 0x80000000u, 0x00000001u,
                                        0x3F800000u};
        return floatFromBits(bits[i % 5]);
    }
};
struct EnumKind {
    using Elem = int32_t;
    static constexpr MiFieldKind kind = MI_KIND_ENUM;
    static inline const Setter<Elem> set = miCommandSetEnum;
    static inline const std::array<Getter<Elem>, 3> gets{miCommandGetEnum, miFeedbackGetEnum,
                                                         miInfoGetEnum};
    static std::vector<Elem>& array(sim::Message& m) { return m.enums; }
    static Elem value(uint32_t i) {
        return i % 2 ? -static_cast<int32_t>(i) - 1 : INT32_MIN + 7 * static_cast<int32_t>(i);
    }
};
struct BoolKind {
    using Elem = uint8_t;
    static constexpr MiFieldKind kind = MI_KIND_BOOL;
    static inline const Setter<Elem> set = miCommandSetBool;
    static inline const std::array<Getter<Elem>, 3> gets{miCommandGetBool, miFeedbackGetBool,
                                                         miInfoGetBool};
    static std::vector<Elem>& array(sim::Message& m) { return m.bools; }
    // Bytes other than 0 and 1 are kept as they are.
    static Elem value(uint32_t i) {
        static const uint8_t bytes[] = {2, 0, 0xFF, 1, 0x80};
        return bytes[i % 5];
    }
};
struct LedKind {
    using Elem = uint32_t;
    static constexpr MiFieldKind kind = MI_KIND_LED;
    static inline const Setter<Elem> set = miCommandSetLed;
    static inline const std::array<Getter<Elem>, 3> gets{miCommandGetLed, miFeedbackGetLed,
                                                         miInfoGetLed};
    static std::vector<Elem>& array(sim::Message& m) { return m.leds; }
    static Elem value(uint32_t i) { return 0xDEADBEEFu ^ (i * 0x01010101u); }
};

template <typename Kind>
class SettableKindTest : public MessagesTest {
protected:
    using Elem = typename Kind::Elem;
    static constexpr uint32_t kField = 2;

    std::vector<Elem> values() const {
        std::vector<Elem> v;
        for (uint32_t i = 0; i < kCount; ++i) v.push_back(Kind::value(i));
        return v;
    }
    uint32_t bit() const { return command.metadata.base[Kind::kind] + kField; }
};

using SettableKinds = ::testing::Types<FloatKind, EnumKind, BoolKind, LedKind>;
TYPED_TEST_SUITE(SettableKindTest, SettableKinds);

TYPED_TEST(SettableKindTest, SetterWritesEachValueAndPresenceBitAndNothingElse) {
    const auto values = this->values();
    TypeParam::set(this->actual.records(), values.data(), this->kCount, this->kField);
    for (uint32_t i = 0; i < this->kCount; ++i) {
        TypeParam::array(this->expected[i])[this->kField] = values[i];
        this->expectBit(i, this->bit());
    }
    this->expectMatches();
}

TYPED_TEST(SettableKindTest, NullValuesSetOnlyPresenceBits) {
    TypeParam::set(this->actual.records(), nullptr, this->kCount, this->kField);
    for (uint32_t i = 0; i < this->kCount; ++i) this->expectBit(i, this->bit());
    this->expectMatches();
}

TYPED_TEST(SettableKindTest, CountZeroTouchesNothing) {
    const auto values = this->values();
    TypeParam::set(this->actual.records(), values.data(), 0, this->kField);
    TypeParam::set(nullptr, nullptr, 0, this->kField);
    typename TypeParam::Elem sentinel = TypeParam::value(0);
    for (auto get : TypeParam::gets) get(&sentinel, this->actual.records(), 0, this->kField);
    for (auto get : TypeParam::gets) get(nullptr, nullptr, 0, this->kField);
    EXPECT_TRUE(sameBytes(sentinel, TypeParam::value(0)));
    this->expectMatches();
}

TYPED_TEST(SettableKindTest, AllGettersReturnStoredBytesWhateverThePresenceBit) {
    const auto values = this->values();
    TypeParam::set(this->actual.records(), values.data(), this->kCount, this->kField);
    // Clear the presence bit again in message 1: getters do not look at it.
    this->actual[1].presence[this->bit() >> 5] &= ~(1u << (this->bit() & 31));
    for (auto get : TypeParam::gets) {
        auto out = sentinelVector<typename TypeParam::Elem>(this->kCount);
        get(out.data(), this->actual.records(), this->kCount, this->kField);
        for (uint32_t i = 0; i < this->kCount; ++i)
            EXPECT_TRUE(sameBytes(out[i], values[i])) << "message " << i;
    }
}

TYPED_TEST(SettableKindTest, AliasedRecordsKeepTheLaterValue) {
    const auto values = this->values();
    MessageRecord* records = this->actual.records();
    records[1] = records[0];  // both records view message 0
    TypeParam::set(records, values.data(), 2, this->kField);
    TypeParam::array(this->expected[0])[this->kField] = values[1];
    this->expectBit(0, this->bit());
    this->expectMatches();
}

// Getters of kinds without a setter: every byte of the element comes back.
TEST_F(MessagesTest, VectorQuaternionAndUInt64GettersCopyWholeElements) {
    const uint32_t field = 3;
    std::vector<MiVector3f> v(kCount);
    std::vector<MiQuaternionf> q(kCount);
    std::vector<uint64_t> u(kCount);
    for (auto get : {miCommandGetVector3f, miFeedbackGetVector3f}) {
        fillSentinel(v);
        get(v.data(), actual.records(), kCount, field);
        for (uint32_t i = 0; i < kCount; ++i)
            EXPECT_TRUE(sameBytes(v[i], actual[i].vector3fs[field]));
    }
    for (auto get : {miCommandGetQuaternionf, miFeedbackGetQuaternionf}) {
        fillSentinel(q);
        get(q.data(), actual.records(), kCount, field);
        for (uint32_t i = 0; i < kCount; ++i)
            EXPECT_TRUE(sameBytes(q[i], actual[i].quaternionfs[field]));
    }
    for (auto get : {miCommandGetUInt64, miFeedbackGetUInt64}) {
        fillSentinel(u);
        get(u.data(), actual.records(), kCount, field);
        for (uint32_t i = 0; i < kCount; ++i) EXPECT_EQ(u[i], actual[i].uint64s[field]);
    }
    expectMatches();  // getters write nothing into the messages
}

TEST_F(MessagesTest, GettersWriteExactlyCountElements) {
    std::vector<MiQuaternionf> out(kCount + 1);
    std::memset(out.data(), 0xAB, out.size() * sizeof(MiQuaternionf));
    miCommandGetQuaternionf(out.data(), actual.records(), kCount - 1, 0);
    for (uint32_t i = kCount - 1; i <= kCount; ++i)
        for (float c : out[i].q) EXPECT_EQ(bitsOf(c), 0xABABABABu);
}

// Setters only read `values`, so it may be read-only memory, and
// miCommandSetFlag never reads it at all (here: a page that faults on any
// access). The same calls with a writable copy give the same messages.
TEST_F(MessagesTest, SettersOnlyReadValuesAndSetFlagNeverReadsThem) {
    std::vector<uint8_t> bytes(kCount * sizeof(IoPinEntry));
    sim::Random(3).fill(bytes.data(), bytes.size());
    const void* readOnly = readOnlyCopy(bytes.data(), bytes.size());
    void* unreadable = unreadablePage();
    ASSERT_NE(readOnly, nullptr);
    ASSERT_NE(unreadable, nullptr);
    auto setAll = [](MessageRecord* r, const void* v, const void* flagValues) {
        miCommandSetFloat(r, static_cast<const float*>(v), kCount, 0);
        miCommandSetHighResAngle(r, static_cast<const double*>(v), kCount, 1);
        miCommandSetEnum(r, static_cast<const int32_t*>(v), kCount, 2);
        miCommandSetBool(r, static_cast<const uint8_t*>(v), kCount, 3);
        miCommandSetLed(r, static_cast<const uint32_t*>(v), kCount, 0);
        miCommandSetNumberedFloat(r, static_cast<const float*>(v), kCount, 1, 1);
        miCommandSetIoPin(r, static_cast<const IoPinEntry*>(v), kCount, 0, 1);
        miCommandSetIoPinInt(r, static_cast<const int64_t*>(v), kCount, 1, 2);
        miCommandSetIoPinFloat(r, static_cast<const float*>(v), kCount, 2, 0);
        miCommandSetFlag(r, static_cast<const uint8_t*>(flagValues), kCount, 1);
    };
    setAll(actual.records(), readOnly, unreadable);
    setAll(expected.records(), bytes.data(), bytes.data());
    expectMatches();
    for (uint32_t i = 0; i < kCount; ++i)
        EXPECT_TRUE(actual[i].present(command.metadata.base[MI_KIND_FLAG] + 1));
    releasePage(const_cast<void*>(readOnly));
    releasePage(unreadable);
}

// ---- presence-bit addressing -------------------------------------------------

TEST_F(MessagesTest, PresenceBitAddsBaseAndFieldInWordAndMask) {
    command.metadata.base[MI_KIND_ENUM] = 40;  // field 3 -> bit 43: word 1, mask 1 << 11
    initialize();
    miCommandSetEnum(actual.records(), nullptr, kCount, 3);
    for (uint32_t i = 0; i < kCount; ++i) expected[i].presence[1] |= 1u << 11;
    expectMatches();
}

TEST_F(MessagesTest, BaseOf31CrossesIntoTheNextWord) {
    command.metadata.base[MI_KIND_ENUM] = 31;
    initialize();
    const int32_t values[kCount] = {1, 2, 3, 4, 5};
    miCommandSetEnum(actual.records(), values, kCount, 0);  // bit 31 of word 0
    miCommandSetEnum(actual.records(), values, kCount, 1);  // bit 0 of word 1
    for (uint32_t i = 0; i < kCount; ++i) {
        expected[i].enums[0] = expected[i].enums[1] = values[i];
        expected[i].presence[0] |= 0x80000000u;
        expected[i].presence[1] |= 1u;
    }
    expectMatches();
}

TEST_F(MessagesTest, PresenceBitIndexWrapsModulo2To32) {
    command.metadata.base[MI_KIND_LED] = 0xFFFFFFFFu;  // + field 2 -> bit 1 of word 0
    initialize();
    const uint32_t values[kCount] = {9, 8, 7, 6, 5};
    miCommandSetLed(actual.records(), values, kCount, 2);
    for (uint32_t i = 0; i < kCount; ++i) {
        expected[i].leds[2] = values[i];
        expected[i].presence[0] |= 2u;
    }
    expectMatches();
}

// ---- metadata state -------------------------------------------------------------

TEST_F(MessagesTest, ReinitializationReplacesAllThreeCopies) {
    // command2 fits the presence words of the groups laid out for `command`.
    sim::KindLayout command2(shape, 20), feedback2(shape, 200), info2(shape, 300);
    std::vector<int32_t> numbered2{2, 0, 1, 3}, banks2{1, 3, 0, 2};
    feedback2.metadata.numberedFloatTable = numbered2.data();
    feedback2.metadata.pinBankTable = banks2.data();
    command2.metadata.pinBankTable = banks2.data();
    miInitialize(&command2.metadata, &feedback2.metadata, &info2.metadata);

    sim::MessageGroup infos(info2, 1);
    const uint32_t infoFlagBit = info2.metadata.base[MI_KIND_FLAG] + 1;
    infos[0].presence[infoFlagBit >> 5] |= 1u << (infoFlagBit & 31);
    uint8_t flag = sentinel<uint8_t>();
    miInfoGetFlag(&flag, infos.records(), 1, 1);
    EXPECT_EQ(flag, 1);

    const float nf[kCount] = {1, 2, 3, 4, 5};
    miCommandSetNumberedFloat(actual.records(), nf, kCount, 1, 0);  // table2[0] + 1 = 3
    const int64_t pins[kCount] = {-1, -2, -3, -4, -5};
    miCommandSetIoPinInt(actual.records(), pins, kCount, 0, 1);  // banks2[1] + 0 = 3
    miCommandSetBool(actual.records(), nullptr, kCount, 1);
    for (uint32_t i = 0; i < kCount; ++i) {
        expected[i].numberedFloats[3] = nf[i];
        expected[i].ioPins[3].value.asInt = pins[i];
        expected[i].ioPins[3].tag = MI_IO_PIN_TAG_INT;
        expectBit(i, command2.metadata.base[MI_KIND_NUMBERED_FLOAT] + 3);
        expectBit(i, command2.metadata.base[MI_KIND_IO_PIN] + 3);
        expectBit(i, command2.metadata.base[MI_KIND_BOOL] + 1);
    }
    expectMatches();
}

// Runs calls of every family and returns the messages' bytes and every output.
std::vector<uint8_t> runEveryFamily(sim::MessageGroup& group) {
    const uint32_t n = group.size();
    std::vector<uint8_t> result;
    auto keep = [&result](const auto& v) {
        const auto* p = reinterpret_cast<const uint8_t*>(v.data());
        result.insert(result.end(), p, p + v.size() * sizeof(v[0]));
    };
    std::vector<float> f(n, 1.5f);
    std::vector<double> d(n, 12.5);
    std::vector<int64_t> pins(n, 77);
    std::vector<uint8_t> bytes(n, 1);
    miCommandSetFloat(group.records(), f.data(), n, 1);
    miCommandSetHighResAngle(group.records(), d.data(), n, 2);
    miCommandSetEnum(group.records(), nullptr, n, 3);
    miCommandSetBool(group.records(), bytes.data(), n, 0);
    miCommandSetLed(group.records(), nullptr, n, 1);
    miCommandSetNumberedFloat(group.records(), f.data(), n, 1, 2);
    miCommandSetIoPinInt(group.records(), pins.data(), n, 2, 1);
    miCommandSetIoPinFloat(group.records(), f.data(), n, 0, 3);
    miCommandSetFlag(group.records(), nullptr, n, 2);
    fillSentinel(d);
    miCommandGetHighResAngle(d.data(), group.records(), n, 2);
    keep(d);
    fillSentinel(bytes);
    miCommandHasIoPinInt(bytes.data(), group.records(), n, 2, 1);
    keep(bytes);
    fillSentinel(bytes);
    miFeedbackHasIoPinFloat(bytes.data(), group.records(), n, 0, 3);
    keep(bytes);
    fillSentinel(bytes);
    miCommandGetFlag(bytes.data(), group.records(), n, 2);
    keep(bytes);
    fillSentinel(bytes);
    miInfoGetFlag(bytes.data(), group.records(), n, 2);
    keep(bytes);
    keep(group.bytes());
    return result;
}

TEST_F(MessagesTest, UnreadMetadataBytesHaveNoEffect) {
    const auto plain = runEveryFamily(actual);
    command.fillUnread(1);
    feedback.fillUnread(2);
    info.fillUnread(3);
    initialize();
    const auto noisy = runEveryFamily(expected);
    EXPECT_EQ(plain, noisy);
}

}  // namespace
