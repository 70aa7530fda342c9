// SPDX-License-Identifier: MIT
// Concurrency as the library allows it: several threads read the same
// messages while others write disjoint groups of messages, all at once.
// Run under ThreadSanitizer (the clang-tsan preset) this shows the library
// itself adds no data race; in every build it checks the results.
#include "TestSupport.hpp"

#include <thread>

using namespace testing_support;

namespace {

TEST_F(MessagesTest, ReadersOfSharedMessagesAndWritersOfDisjointGroupsRunTogether) {
    constexpr uint32_t kWriters = 3, kReaders = 3, kPerGroup = 16, kRounds = 200;
    sim::MessageGroup shared(feedback, 32);
    shared.scramble(3);
    const int32_t pinEntry = feedback.pinBankTable[2];  // bank 2, pin 0
    for (uint32_t i = 0; i < shared.size(); ++i) shared[i].ioPins[pinEntry].tag = MI_IO_PIN_TAG_INT;
    sim::MessageGroup commands(command, kWriters * kPerGroup);
    auto angles = sentinelVector<double>(shared.size());  // read once, before the threads start
    miFeedbackGetHighResAngle(angles.data(), shared.records(), shared.size(), 1);

    std::vector<std::thread> threads;
    for (uint32_t w = 0; w < kWriters; ++w) {
        threads.emplace_back([&commands, w] {
            MessageRecord* group = commands.records() + w * kPerGroup;
            std::vector<float> f(kPerGroup);
            std::vector<double> d(kPerGroup);
            std::vector<int64_t> pins(kPerGroup);
            for (uint32_t round = 0; round < kRounds; ++round) {
                for (uint32_t i = 0; i < kPerGroup; ++i) {
                    f[i] = static_cast<float>(w * 1000 + round);
                    d[i] = static_cast<double>(round) * 0.5;
                    pins[i] = static_cast<int64_t>(w) << 32 | round;
                }
                miCommandSetFloat(group, f.data(), kPerGroup, 1);
                miCommandSetHighResAngle(group, d.data(), kPerGroup, 0);
                miCommandSetIoPinInt(group, pins.data(), kPerGroup, 1, 1);
                miCommandSetFlag(group, nullptr, kPerGroup, w);
            }
        });
    }
    std::vector<int> readerFailures(kReaders, 0);
    for (uint32_t r = 0; r < kReaders; ++r) {
        threads.emplace_back([&shared, &readerFailures, &angles, r, pinEntry] {
            const uint32_t n = shared.size();
            std::vector<float> f(n);
            std::vector<double> d(n);
            std::vector<int64_t> pins(n);
            std::vector<uint8_t> has(n);
            for (uint32_t round = 0; round < kRounds; ++round) {
                fillSentinel(f);
                fillSentinel(d);
                fillSentinel(pins);
                fillSentinel(has);
                miFeedbackGetFloat(f.data(), shared.records(), n, 2);
                miFeedbackGetHighResAngle(d.data(), shared.records(), n, 1);
                miFeedbackGetIoPinInt(pins.data(), shared.records(), n, 0, 2);
                miFeedbackHasField(has.data(), shared.records(), n, 5);
                for (uint32_t i = 0; i < n; ++i) {
                    if (bitsOf(f[i]) != bitsOf(shared[i].floats[2])) ++readerFailures[r];
                    if (bitsOf(d[i]) != bitsOf(angles[i])) ++readerFailures[r];
                    if (pins[i] != shared[i].ioPins[pinEntry].value.asInt) ++readerFailures[r];
                    if (has[i] != shared[i].present(5)) ++readerFailures[r];
                }
            }
        });
    }
    for (auto& t : threads) t.join();

    for (int failures : readerFailures) EXPECT_EQ(failures, 0);
    for (uint32_t w = 0; w < kWriters; ++w) {
        for (uint32_t i = w * kPerGroup; i < (w + 1) * kPerGroup; ++i) {
            EXPECT_EQ(commands[i].floats[1], static_cast<float>(w * 1000 + kRounds - 1));
            EXPECT_EQ(commands[i].ioPins[feedback.pinBankTable[1] + 1].value.asInt,
                      static_cast<int64_t>(w) << 32 | (kRounds - 1));
            EXPECT_TRUE(commands[i].present(command.metadata.base[MI_KIND_FLAG] + w));
        }
    }
}

}  // namespace
