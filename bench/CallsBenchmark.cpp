// SPDX-License-Identifier: MIT
// One control-loop step from C, two ways in one binary: 3 setters over a
// group of Command messages and 7 getters over a group of Feedback messages,
// either as the 10 direct accessor calls (`direct`) or as one call list run
// by miRunCalls (`run_calls`), over 12 and 256 messages. Time per step; items
// per second = steps per second. bench/report.py compares the two medians of
// one interleaved run.
#include "MessageSim.hpp"
#include "tovakWrapper.h"
#include "tovakWrapperCalls.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int32_t kPin = 1;
constexpr uint32_t kBank = 1;

// The groups and every host buffer of one step.
struct Step {
    explicit Step(uint32_t n)
        : layout(sim::Shape::uniform(4)),
          command(layout, n),
          feedback(layout, n),
          count(n),
          positions(n),
          velocities(n),
          leds(n),
          feedbackFloats(n),
          feedbackSpeeds(n),
          feedbackAngles(n),
          accelerations(n),
          orientations(n),
          pins(n),
          present(n) {
        command.scramble(1);
        feedback.scramble(2);
        for (uint32_t i = 0; i < n; ++i) {
            positions[i] = 0.5f * static_cast<float>(i);
            velocities[i] = -0.25f * static_cast<float>(i);
            leds[i] = 0xFF00FF00u ^ i;
            feedback[i].ioPins[layout.pinBankTable[kBank] + kPin].tag = MI_IO_PIN_TAG_INT;
        }
        MessageRecord* c = command.records();
        MessageRecord* f = feedback.records();
        const uint32_t presentBit = layout.metadata.base[MI_KIND_FLOAT] + 1;
        calls = {
            call(MI_CALL_COMMAND_SET_FLOAT, c, 0, 0, positions.data()),
            call(MI_CALL_COMMAND_SET_FLOAT, c, 0, 1, velocities.data()),
            call(MI_CALL_COMMAND_SET_LED, c, 0, 0, leds.data()),
            call(MI_CALL_FEEDBACK_GET_FLOAT, f, 0, 0, feedbackFloats.data()),
            call(MI_CALL_FEEDBACK_GET_FLOAT, f, 0, 1, feedbackSpeeds.data()),
            call(MI_CALL_FEEDBACK_GET_HIGH_RES_ANGLE, f, 0, 1, feedbackAngles.data()),
            call(MI_CALL_FEEDBACK_GET_VECTOR3F, f, 0, 0, accelerations.data()),
            call(MI_CALL_FEEDBACK_GET_QUATERNIONF, f, 0, 0, orientations.data()),
            call(MI_CALL_FEEDBACK_GET_IO_PIN_INT, f, kPin, kBank, pins.data()),
            call(MI_CALL_FEEDBACK_HAS_FIELD, f, 0, presentBit, present.data()),
        };
    }

    MiCall call(uint32_t accessor, MessageRecord* records, int32_t number, uint32_t field,
                void* buffer) {
        MiCall c;
        c.accessor = accessor;
        c.count = count;
        c.number = number;
        c.field = field;
        c.records = records;
        c.buffer = buffer;
        return c;
    }

    // The same ten calls, made one by one.
    void direct() {
        MessageRecord* c = command.records();
        MessageRecord* f = feedback.records();
        const uint32_t n = count;
        miCommandSetFloat(c, positions.data(), n, 0);
        miCommandSetFloat(c, velocities.data(), n, 1);
        miCommandSetLed(c, leds.data(), n, 0);
        miFeedbackGetFloat(feedbackFloats.data(), f, n, 0);
        miFeedbackGetFloat(feedbackSpeeds.data(), f, n, 1);
        miFeedbackGetHighResAngle(feedbackAngles.data(), f, n, 1);
        miFeedbackGetVector3f(accelerations.data(), f, n, 0);
        miFeedbackGetQuaternionf(orientations.data(), f, n, 0);
        miFeedbackGetIoPinInt(pins.data(), f, n, kPin, kBank);
        miFeedbackHasField(present.data(), f, n, layout.metadata.base[MI_KIND_FLOAT] + 1);
    }
    void runCalls() { miRunCalls(calls.data(), static_cast<uint32_t>(calls.size())); }

    sim::KindLayout layout;
    sim::MessageGroup command, feedback;
    uint32_t count;
    std::vector<float> positions, velocities;
    std::vector<uint32_t> leds;
    std::vector<float> feedbackFloats, feedbackSpeeds;
    std::vector<double> feedbackAngles;
    std::vector<MiVector3f> accelerations;
    std::vector<MiQuaternionf> orientations;
    std::vector<int64_t> pins;
    std::vector<uint8_t> present;
    std::vector<MiCall> calls;
};

Step& step(uint32_t n) {
    static std::unique_ptr<Step> small, large;
    std::unique_ptr<Step>& s = n == 12 ? small : large;
    if (!s) s = std::make_unique<Step>(n);
    miInitialize(&s->layout.metadata, &s->layout.metadata, &s->layout.metadata);
    return *s;
}

void direct(benchmark::State& state) {
    Step& s = step(static_cast<uint32_t>(state.range(0)));
    for (auto _ : state) {
        s.direct();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}

void runCalls(benchmark::State& state) {
    Step& s = step(static_cast<uint32_t>(state.range(0)));
    for (auto _ : state) {
        s.runCalls();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(direct)->Name("ControlStep/direct")->Arg(12)->Arg(256);
BENCHMARK(runCalls)->Name("ControlStep/run_calls")->Arg(12)->Arg(256);

BENCHMARK_MAIN();
