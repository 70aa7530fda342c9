// SPDX-License-Identifier: MIT
// Shared helpers for the test suites: three message kinds laid out by the
// simulated message library, and twin message groups so a test can apply the
// expected change by hand to one and compare every byte with the other.
#pragma once

#include "MessageSim.hpp"
#include "tovakWrapper.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

namespace testing_support {

// Distinct first bits per kind, so a base read from the wrong copy shows.
// Command's are the highest, so groups laid out for Command messages have
// presence words for every bit of the other two kinds as well.
inline constexpr std::uint32_t kCommandFirstBit = 90;
inline constexpr std::uint32_t kFeedbackFirstBit = 3;
inline constexpr std::uint32_t kInfoFirstBit = 40;

inline std::uint32_t bitsOf(float f) { return std::bit_cast<std::uint32_t>(f); }
inline std::uint64_t bitsOf(double d) { return std::bit_cast<std::uint64_t>(d); }
inline float floatFromBits(std::uint32_t b) { return std::bit_cast<float>(b); }
inline double doubleFromBits(std::uint64_t b) { return std::bit_cast<double>(b); }

template <typename T>
bool sameBytes(const T& a, const T& b) {
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

// Every output buffer is filled with this byte before a getter runs, so that
// an element the getter leaves unwritten shows as 0xA5 bytes instead of
// passing on whatever the buffer happened to hold.
inline constexpr std::uint8_t kSentinel = 0xA5;

template <typename T>
void fillSentinel(T* out, std::size_t n, std::uint8_t byte = kSentinel) {
    std::memset(static_cast<void*>(out), byte, n * sizeof(T));
}
template <typename T, std::size_t N>
void fillSentinel(T (&out)[N], std::uint8_t byte = kSentinel) {
    fillSentinel(out, N, byte);
}
template <typename T>
void fillSentinel(std::vector<T>& out, std::uint8_t byte = kSentinel) {
    fillSentinel(out.data(), out.size(), byte);
}
template <typename T>
std::vector<T> sentinelVector(std::size_t n, std::uint8_t byte = kSentinel) {
    std::vector<T> out(n);
    fillSentinel(out, byte);
    return out;
}
// One sentinel-filled output element.
template <typename T>
T sentinel() {
    T out;
    fillSentinel(&out, 1);
    return out;
}

// Three message kinds with 4 fields of every kind, initialized into the
// library; `actual` and `expected` are two identical groups of Command
// messages filled with the same pseudo-random bytes.
class MessagesTest : public ::testing::Test {
protected:
    static constexpr std::uint32_t kCount = 5;

    MessagesTest()
        : shape(sim::Shape::uniform(4)),
          command(shape, kCommandFirstBit),
          feedback(shape, kFeedbackFirstBit),
          info(shape, kInfoFirstBit),
          actual(command, kCount),
          expected(command, kCount) {
        actual.scramble(7);
        expected.scramble(7);
    }

    void SetUp() override { initialize(); }
    void initialize() { miInitialize(&command.metadata, &feedback.metadata, &info.metadata); }

    // Sets a presence bit in message i of `expected`.
    void expectBit(std::size_t i, std::uint32_t bit) {
        expected[i].presence.at(bit >> 5) |= 1u << (bit & 31);
    }
    void expectMatches() { EXPECT_EQ(actual.bytes(), expected.bytes()); }

    sim::Shape shape;
    sim::KindLayout command, feedback, info;
    sim::MessageGroup actual, expected;
};

}  // namespace testing_support
