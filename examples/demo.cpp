// SPDX-License-Identifier: MIT
// A demo host: twelve simulated devices through three control-loop steps.
// Each step sets each Command field of all twelve messages in one library
// call, lets the devices answer (sim::step), and reads each Feedback field of
// all twelve in one call.
#include "MessageSim.hpp"
#include "tovakWrapper.h"

#include <cstdio>

namespace {

constexpr uint32_t kDevices = 12;
constexpr int kSteps = 3;
constexpr uint32_t kSpeedField = 0;     // Float field: commanded speed; the devices move by it
constexpr uint32_t kFanField = 1;       // Float field: fan speed, echoed once commanded
constexpr uint32_t kPositionField = 0;  // HighResAngle field the devices report their angle in
constexpr uint32_t kOutputBank = 1;     // pin bank, and the pin in it, that the devices echo
constexpr int32_t kOutputPin = 0;
constexpr uint32_t kHeartbeatFlag = 0;     // flag the devices flip every step
constexpr int kFanStep = 2;                // the step at which the host switches the fans on
constexpr int kSetters = 2, kGetters = 5;  // the library calls of every step, below

void explain() {
    std::printf(
        "%u simulated devices, %d control-loop steps of %.2f s. Each step the host sets each "
        "Command field\nof all %u messages with one library call, the devices answer (sim::step, "
        "docs/messages.md),\nand the host reads each Feedback field of all %u with one call.\n\n",
        kDevices, kSteps, static_cast<double>(sim::kStepSeconds), kDevices, kDevices);
    std::printf(
        "  speed     commanded speed, rad/s (Command Float %u)\n"
        "  position  angle the device reports, rad (Feedback HighResAngle %u): it moves by\n"
        "            speed x %.2f s every step\n"
        "  turns     whole turns the Feedback message stores for that angle, rounded down (the\n"
        "            message keeps an angle as whole turns and a float offset within the turn)\n"
        "  out       value the host commands on pin %d of bank %u (Command IoPinInt), new each "
        "step\n"
        "  echo      value the device reports on that pin (Feedback IoPinInt): out, echoed\n"
        "  beat      heartbeat flag the device flips every step (Feedback flag %u, read as its\n"
        "            presence bit)\n"
        "  fan       fan speed the device reports, rpm (Feedback Float %u); \"-\": none reported\n"
        "            (its presence bit is clear). At step %d the host commands the fans of the\n"
        "            even devices, with one call over their six records.\n\n",
        kSpeedField, kPositionField, static_cast<double>(sim::kStepSeconds), kOutputPin,
        kOutputBank, kHeartbeatFlag, kFanField, kFanStep);
}

}  // namespace

int main() {
    // The message library describes the three message kinds (the Feedback
    // presence bits start at bit 5, the others at 0)...
    sim::Shape shape = sim::Shape::uniform(2);
    shape.pinBanks = {4, 4};
    sim::KindLayout commandLayout(shape), feedbackLayout(shape, 5), infoLayout(shape);
    miInitialize(&commandLayout.metadata, &feedbackLayout.metadata, &infoLayout.metadata);
    const MessageMetadata& feedbackMeta = feedbackLayout.metadata;

    // ...and allocates one message of each kind per device. A records array
    // may hold any selection of messages: here the even devices' Commands.
    sim::MessageGroup commands(commandLayout, kDevices), feedback(feedbackLayout, kDevices);
    MessageRecord evenRecords[kDevices / 2];
    float speeds[kDevices], fans[kDevices / 2];
    for (uint32_t i = 0; i < kDevices; ++i) speeds[i] = 3.0f * static_cast<float>(i) - 16.0f;
    for (uint32_t j = 0; j < kDevices / 2; ++j) {
        evenRecords[j] = commands.records()[2 * j];
        fans[j] = 1000.0f + 100.0f * static_cast<float>(j);
    }

    explain();
    std::printf("%4s %6s %7s %9s %5s %5s %5s %4s %6s\n", "step", "device", "speed", "position",
                "turns", "out", "echo", "beat", "fan");
    for (int step = 1; step <= kSteps; ++step) {
        // Command: one call per field for all twelve devices.
        int64_t outputs[kDevices];
        for (uint32_t i = 0; i < kDevices; ++i) outputs[i] = 100 * step + static_cast<int64_t>(i);
        miCommandSetFloat(commands.records(), speeds, kDevices, kSpeedField);
        miCommandSetIoPinInt(commands.records(), outputs, kDevices, kOutputPin, kOutputBank);
        if (step == kFanStep) miCommandSetFloat(evenRecords, fans, kDevices / 2, kFanField);

        sim::step(commandLayout, commands, feedbackLayout, feedback);

        // Feedback: again one call per field.
        double position[kDevices];
        int64_t echo[kDevices];
        float fan[kDevices];
        uint8_t beat[kDevices], hasFan[kDevices];
        miFeedbackGetHighResAngle(position, feedback.records(), kDevices, kPositionField);
        miFeedbackGetIoPinInt(echo, feedback.records(), kDevices, kOutputPin, kOutputBank);
        miFeedbackHasField(beat, feedback.records(), kDevices,
                           feedbackMeta.base[MI_KIND_FLAG] + kHeartbeatFlag);
        miFeedbackGetFloat(fan, feedback.records(), kDevices, kFanField);
        miFeedbackHasField(hasFan, feedback.records(), kDevices,
                           feedbackMeta.base[MI_KIND_FLOAT] + kFanField);

        for (uint32_t i = 0; i < kDevices; ++i) {
            char fanText[16] = "-";
            if (hasFan[i]) std::snprintf(fanText, sizeof fanText, "%.0f", fan[i]);
            std::printf(
                "%4d %6u %7.2f %9.4f %5lld %5lld %5lld %4u %6s\n", step, i, speeds[i], position[i],
                static_cast<long long>(feedback[i].highResAngles[kPositionField].revolutions),
                static_cast<long long>(outputs[i]), static_cast<long long>(echo[i]), beat[i],
                fanText);
        }
        if (step < kSteps) std::printf("\n");
    }
    std::printf(
        "\nEvery step: %d Command fields set and %d Feedback reads or queries, in %d "
        "library calls\nthat each cover all %u messages (at step %d one more call, for the "
        "fans); one call per\ndevice would have taken %u.\n",
        kSetters, kGetters, kSetters + kGetters, kDevices, kFanStep,
        (kSetters + kGetters) * kDevices);
    return 0;
}
