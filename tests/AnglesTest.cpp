// SPDX-License-Identifier: MIT
// High-resolution angles: the stored revolutions and offset bits and the
// value read back, bit for bit, against a table computed outside the library
// (make_angle_cases.py), and the conversion's promises over a sweep of
// random doubles of every exponent.
#include "TestSupport.hpp"

#include <cmath>
#include <limits>

using namespace testing_support;

namespace {

#include "AngleCases.inc"

constexpr uint32_t kField = 1;
constexpr float kFloatNearestTurn = 6.28318548202514648f;  // just above 2*pi

// One layout for all three message kinds, initialized into the library.
class HighResAngle : public ::testing::Test {
protected:
    void SetUp() override { miInitialize(&layout.metadata, &layout.metadata, &layout.metadata); }

    // Sets every case's input in its own message, in one call, then reads
    // all back through the three getters.
    template <std::size_t N>
    void checkCases(const AngleCase (&cases)[N]);

    sim::KindLayout layout{sim::Shape::uniform(2)};
};

template <std::size_t N>
void HighResAngle::checkCases(const AngleCase (&cases)[N]) {
    sim::MessageGroup group(layout, N);
    group.scramble(99);
    std::vector<double> inputs;
    for (const auto& c : cases) inputs.push_back(doubleFromBits(c.input));
    std::vector<uint32_t> padding;
    for (uint32_t i = 0; i < N; ++i) padding.push_back(group[i].highResAngles[kField].padding);

    miCommandSetHighResAngle(group.records(), inputs.data(), N, kField);
    for (uint32_t i = 0; i < N; ++i) {
        const HighResAngleEntry& e = group[i].highResAngles[kField];
        SCOPED_TRACE(::testing::Message() << "input 0x" << std::hex << cases[i].input);
        EXPECT_EQ(e.revolutions, cases[i].revolutions);
        EXPECT_EQ(bitsOf(e.offset), cases[i].offset);
        EXPECT_EQ(e.padding, padding[i]) << "padding must never be written";
    }
    for (auto get : {miCommandGetHighResAngle, miFeedbackGetHighResAngle, miInfoGetHighResAngle}) {
        auto out = sentinelVector<double>(N);
        get(out.data(), group.records(), N, kField);
        for (uint32_t i = 0; i < N; ++i)
            EXPECT_EQ(bitsOf(out[i]), cases[i].readBack)
                << "input 0x" << std::hex << cases[i].input;
    }
}

TEST_F(HighResAngle, NamedCasesMatchTheIndependentTable) { checkCases(kNamedAngleCases); }

TEST_F(HighResAngle, OneValueOfEveryExponentMatchesTheIndependentTable) {
    checkCases(kSweepAngleCases);
}

TEST_F(HighResAngle, SpotChecksOfTheTable) {
    // A few rows restated by hand, so the table itself is anchored.
    const AngleCase& turn = kNamedAngleCases[0];  // 2*pi
    EXPECT_EQ(turn.revolutions, 1);
    EXPECT_EQ(turn.offset, 0u);
    EXPECT_EQ(turn.readBack, turn.input);
    const AngleCase& minusZero = kNamedAngleCases[7];
    EXPECT_EQ(minusZero.input, 0x8000000000000000u);
    EXPECT_EQ(minusZero.offset, 0x80000000u);  // offset -0.0
    EXPECT_EQ(minusZero.readBack, 0u);         // reads back +0.0
}

TEST_F(HighResAngle, HostWrittenEntriesAreNotNormalized) {
    constexpr std::size_t n = std::size(kHostEntryCases);
    sim::MessageGroup group(layout, n);
    for (uint32_t i = 0; i < n; ++i) {
        group[i].highResAngles[kField].revolutions = kHostEntryCases[i].revolutions;
        group[i].highResAngles[kField].offset = floatFromBits(kHostEntryCases[i].offset);
    }
    auto out = sentinelVector<double>(n);
    miFeedbackGetHighResAngle(out.data(), group.records(), n, kField);
    for (uint32_t i = 0; i < n; ++i) EXPECT_EQ(bitsOf(out[i]), kHostEntryCases[i].readBack) << i;
    EXPECT_EQ(out[0], 2 * 6.283185307179586 + 7.0);
}

class HighResAngleSetter : public MessagesTest {};

TEST_F(HighResAngleSetter, MarksPresenceAndWithNullValuesOnlyThat) {
    const double values[kCount] = {1, 2, 3, 4, 5};
    miCommandSetHighResAngle(actual.records(), values, kCount, 3);
    miCommandSetHighResAngle(actual.records(), nullptr, kCount, 0);
    for (uint32_t i = 0; i < kCount; ++i) {
        expected[i].highResAngles[3].revolutions = 0;
        expected[i].highResAngles[3].offset = static_cast<float>(values[i]);
        expectBit(i, command.metadata.base[MI_KIND_HIGH_RES_ANGLE] + 3);
        expectBit(i, command.metadata.base[MI_KIND_HIGH_RES_ANGLE] + 0);
    }
    expectMatches();
    double out = -1;
    miCommandSetHighResAngle(nullptr, nullptr, 0, 0);
    miCommandGetHighResAngle(&out, actual.records(), 0, 0);
    EXPECT_EQ(out, -1);
}

// Random doubles of every exponent (infinities and NaNs included), checked
// for what the conversion promises rather than for exact bits.
TEST_F(HighResAngle, SweepKeepsSignsRangeAndPrecision) {
    constexpr uint32_t kPerExponent = 16;
    constexpr uint32_t n = 2048 * kPerExponent;
    sim::MessageGroup group(layout, n);
    sim::Random random(5);
    std::vector<double> in(n);
    auto out = sentinelVector<double>(n);
    for (uint32_t i = 0; i < n; ++i) {
        const uint64_t exponent = i / kPerExponent;
        in[i] = doubleFromBits((random.next() & 0x800FFFFFFFFFFFFFu) | (exponent << 52));
    }
    miCommandSetHighResAngle(group.records(), in.data(), n, 0);
    miCommandGetHighResAngle(out.data(), group.records(), n, 0);

    constexpr double kTurns = 0x1p63;
    for (uint32_t i = 0; i < n; ++i) {
        const double v = in[i];
        const double x = v * 0.15915494309189535;
        const HighResAngleEntry& e = group[i].highResAngles[0];
        SCOPED_TRACE(::testing::Message() << "input " << v);
        if (std::isnan(v)) {
            EXPECT_EQ(e.revolutions, std::numeric_limits<int64_t>::min());
            EXPECT_TRUE(std::isnan(e.offset));
            EXPECT_TRUE(std::isnan(out[i]));
        } else if (x >= kTurns || x < -kTurns) {
            EXPECT_EQ(e.revolutions, std::numeric_limits<int64_t>::min());
            EXPECT_EQ(std::signbit(e.offset), x < 0);
        } else {
            if (v > 0) {
                EXPECT_GE(e.revolutions, 0);
                EXPECT_GE(e.offset, 0.0f);
            } else if (v < 0) {
                EXPECT_LE(e.revolutions, 0);
                EXPECT_LE(e.offset, 0.0f);
            }
            EXPECT_LE(std::fabs(e.offset), kFloatNearestTurn);
            // Error: a few double roundings of v, plus the float offset's.
            EXPECT_LE(std::fabs(out[i] - v), std::fabs(v) * 0x1p-50 + 0x1p-20);
        }
    }
}

}  // namespace
