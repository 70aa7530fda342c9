// SPDX-License-Identifier: MIT
// A demo host: twelve simulated devices through one command-and-feedback
// round, each field of all twelve moved in a single library call.
#include "MessageSim.hpp"
#include "tovakWrapper.h"

#include <cstdio>

namespace {

constexpr uint32_t kDevices = 12;
constexpr uint32_t kPositionField = 0;    // HighResAngle field
constexpr uint32_t kVelocityField = 0;    // Float field
constexpr uint32_t kLedField = 0;         // Led field
constexpr uint32_t kEnableFlag = 0;       // Flag field
constexpr uint32_t kTemperatureBank = 0;  // pin bank
constexpr uint32_t kFanField = 1;         // Float field only some devices report
constexpr int kCalls = 10;                // the accessor calls below: 3 setters, 7 getters

// The device "answers": Feedback echoes the commanded position with a small
// error, reports its velocity, a temperature pin, and a fan speed on even
// devices only. A real host would receive these from the devices.
void simulateDevices(sim::MessageGroup& commands, sim::MessageGroup& feedback,
                     const sim::KindLayout& feedbackLayout) {
    for (uint32_t i = 0; i < kDevices; ++i) {
        const HighResAngleEntry& target = commands[i].highResAngles[kPositionField];
        feedback[i].highResAngles[kPositionField] = target;
        feedback[i].highResAngles[kPositionField].offset += 0.001f * static_cast<float>(i);
        feedback[i].floats[kVelocityField] = 0.5f * static_cast<float>(i);
        feedback[i].ioPins[feedbackLayout.pinBankTable[kTemperatureBank]] =
            IoPinEntry{{.asInt = 0}, MI_IO_PIN_TAG_FLOAT, 0};
        feedback[i].ioPins[feedbackLayout.pinBankTable[kTemperatureBank]].value.asFloat =
            30.0f + static_cast<float>(i);
        if (i % 2 == 0) {
            const uint32_t bit = feedbackLayout.metadata.base[MI_KIND_FLOAT] + kFanField;
            feedback[i].floats[kFanField] = 1000.0f + 10.0f * static_cast<float>(i);
            feedback[i].presence[bit >> 5] |= 1u << (bit & 31);
        }
        const uint32_t pinBit =
            feedbackLayout.metadata.base[MI_KIND_IO_PIN] +
            static_cast<uint32_t>(feedbackLayout.pinBankTable[kTemperatureBank]);
        feedback[i].presence[pinBit >> 5] |= 1u << (pinBit & 31);
    }
}

}  // namespace

int main() {
    // The message library describes the three message kinds...
    sim::Shape shape = sim::Shape::uniform(2);
    shape.pinBanks = {4, 4};
    sim::KindLayout commandLayout(shape), feedbackLayout(shape, 5), infoLayout(shape);
    miInitialize(&commandLayout.metadata, &feedbackLayout.metadata, &infoLayout.metadata);

    // ...and allocates one message of each kind per device.
    sim::MessageGroup commands(commandLayout, kDevices), feedback(feedbackLayout, kDevices);

    // Command: one call per field for all twelve devices.
    double positions[kDevices];
    uint32_t leds[kDevices];
    for (uint32_t i = 0; i < kDevices; ++i) {
        positions[i] = 1.5 * i - 4.0;  // radians, several turns for some devices
        leds[i] = 0xFF000000u | (i * 0x151515u);
    }
    miCommandSetHighResAngle(commands.records(), positions, kDevices, kPositionField);
    miCommandSetLed(commands.records(), leds, kDevices, kLedField);
    miCommandSetFlag(commands.records(), nullptr, kDevices, kEnableFlag);

    simulateDevices(commands, feedback, feedbackLayout);

    // Feedback: again one call per field.
    double measured[kDevices];
    float velocity[kDevices], fan[kDevices], temperature[kDevices];
    uint8_t hasFan[kDevices], hasTemperature[kDevices], enabled[kDevices];
    miFeedbackGetHighResAngle(measured, feedback.records(), kDevices, kPositionField);
    miFeedbackGetFloat(velocity, feedback.records(), kDevices, kVelocityField);
    miFeedbackGetFloat(fan, feedback.records(), kDevices, kFanField);
    miFeedbackHasField(hasFan, feedback.records(), kDevices,
                       feedbackLayout.metadata.base[MI_KIND_FLOAT] + kFanField);
    miFeedbackGetIoPinFloat(temperature, feedback.records(), kDevices, 0, kTemperatureBank);
    miFeedbackHasIoPinFloat(hasTemperature, feedback.records(), kDevices, 0, kTemperatureBank);
    miCommandGetFlag(enabled, commands.records(), kDevices, kEnableFlag);

    std::printf("%-6s %10s %12s %6s %8s %6s %8s %10s\n", "device", "target", "measured", "turns",
                "velocity", "temp", "fan", "enabled");
    for (uint32_t i = 0; i < kDevices; ++i) {
        char fanText[16] = "-";
        if (hasFan[i]) std::snprintf(fanText, sizeof fanText, "%.0f", fan[i]);
        std::printf("%-6u %10.4f %12.6f %6lld %8.2f %6.1f %8s %10s\n", i, positions[i], measured[i],
                    static_cast<long long>(commands[i].highResAngles[kPositionField].revolutions),
                    velocity[i], hasTemperature[i] ? temperature[i] : 0.0f, fanText,
                    enabled[i] ? "yes" : "no");
    }
    std::printf(
        "\n%u devices: 3 fields commanded, 7 read back or queried, in %d library calls "
        "that each cover all %u messages;\none call per device would have taken %u.\n",
        kDevices, kCalls, kDevices, kCalls * kDevices);
    return 0;
}
