// SPDX-License-Identifier: MIT
// The library as it is before miInitialize (every base 0, no tables), and
// with metadata that has no tables. This suite has a process of its own;
// only its last test calls miInitialize.
#include "TestSupport.hpp"
#include "tovakWrapperAccessors.h"

using namespace testing_support;

namespace {

// Every accessor of the list, count 0, every pointer null.
#define TOVAK_ARGS_FIELD nullptr, nullptr, 0, 0
#define TOVAK_ARGS_ENTRY nullptr, nullptr, 0, 0, 0
#define TOVAK_CALL_EMPTY(value, ID, function, name, MESSAGE, OP, FAMILY, KIND, ARGS, T) \
    function(TOVAK_ARGS_##ARGS);

TEST(Uninitialized, CountZeroWithNullPointersDoesNothing) {
    MI_ACCESSORS(TOVAK_CALL_EMPTY)
    SUCCEED() << "nothing was dereferenced";
}

TEST(Uninitialized, BasesAreZero) {
    sim::KindLayout layout(sim::Shape::uniform(8));
    sim::MessageGroup group(layout, 2);
    const float values[2] = {1, 2};
    miCommandSetFloat(group.records(), values, 2, 5);
    miCommandSetFlag(group.records(), nullptr, 2, 7);
    for (uint32_t i = 0; i < 2; ++i) {
        EXPECT_EQ(group[i].floats[5], values[i]);
        EXPECT_EQ(group[i].presence[0], (1u << 5) | (1u << 7));
    }
    uint8_t flags[2];
    fillSentinel(flags);
    miInfoGetFlag(flags, group.records(), 2, 7);
    EXPECT_EQ(flags[0], 1);
    EXPECT_EQ(flags[1], 1);
}

// Without a table there is nothing to address: setters leave the messages
// alone, getters give zeros and queries answer 0, instead of crashing.
void expectTableAccessorsInert(sim::MessageGroup& group) {
    const uint32_t n = group.size();
    const auto before = group.bytes();
    const std::vector<float> floats(n, 1.0f);
    const std::vector<int64_t> ints(n, 1);
    const std::vector<IoPinEntry> entries(n, IoPinEntry{{1}, 1, 1});
    miCommandSetNumberedFloat(group.records(), floats.data(), n, 0, 0);
    miCommandSetNumberedFloat(group.records(), nullptr, n, 0, 0);
    miCommandSetIoPin(group.records(), entries.data(), n, 0, 0);
    miCommandSetIoPinInt(group.records(), ints.data(), n, 0, 0);
    miCommandSetIoPinFloat(group.records(), floats.data(), n, 0, 0);
    miCommandSetIoPinInt(group.records(), nullptr, n, 0, 0);
    EXPECT_EQ(group.bytes(), before);

    // Output buffers one element longer than count: the extra one must stay.
    std::vector<float> f(n + 1, 9.0f);
    std::vector<int64_t> i64(n + 1, 9);
    std::vector<IoPinEntry> e(n + 1, IoPinEntry{{9}, 9, 9});
    std::vector<uint8_t> b(n + 1, 9);
    auto expectZeros = [n](const auto& v) {
        const auto* p = reinterpret_cast<const uint8_t*>(v.data());
        for (std::size_t k = 0; k < n * sizeof(v[0]); ++k) EXPECT_EQ(p[k], 0) << "byte " << k;
    };
    for (auto get : {miCommandGetNumberedFloat, miFeedbackGetNumberedFloat, miCommandGetIoPinFloat,
                     miFeedbackGetIoPinFloat}) {
        f.assign(n + 1, 9.0f);
        get(f.data(), group.records(), n, 0, 0);
        expectZeros(f);
        EXPECT_EQ(f[n], 9.0f);
    }
    for (auto get : {miCommandGetIoPinInt, miFeedbackGetIoPinInt}) {
        i64.assign(n + 1, 9);
        get(i64.data(), group.records(), n, 0, 0);
        expectZeros(i64);
        EXPECT_EQ(i64[n], 9);
    }
    for (auto get : {miCommandGetIoPin, miFeedbackGetIoPin}) {
        e.assign(n + 1, IoPinEntry{{9}, 9, 9});
        get(e.data(), group.records(), n, 0, 0);
        expectZeros(e);
        EXPECT_EQ(e[n].tag, 9u);
    }
    for (auto has : {miCommandHasIoPinInt, miFeedbackHasIoPinInt, miCommandHasIoPinFloat,
                     miFeedbackHasIoPinFloat}) {
        b.assign(n + 1, 9);
        has(b.data(), group.records(), n, 0, 0);
        expectZeros(b);
        EXPECT_EQ(b[n], 9);
    }
}

TEST(Uninitialized, TableAccessorsAreInertBeforeInitialization) {
    sim::KindLayout layout(sim::Shape::uniform(4));
    sim::MessageGroup group(layout, 3);
    group.scramble(11);
    for (uint32_t i = 0; i < 3; ++i)  // entries that would answer 1 if addressed
        for (auto& pin : group[i].ioPins) pin.tag = MI_IO_PIN_TAG_INT;
    expectTableAccessorsInert(group);
}

TEST(Uninitialized, TableAccessorsAreInertWhenTheMetadataHasNoTables) {
    sim::KindLayout layout(sim::Shape::uniform(4));
    layout.metadata.numberedFloatTable = nullptr;
    layout.metadata.pinBankTable = nullptr;
    miInitialize(&layout.metadata, &layout.metadata, &layout.metadata);
    sim::MessageGroup group(layout, 4);
    group.scramble(12);
    expectTableAccessorsInert(group);
}

}  // namespace
