// SPDX-License-Identifier: MIT
// Calls one accessor of each family once over `count` messages (default
// 4096), for valgrind --tool=callgrind; bench/instructions.sh divides each
// function's instruction count by the count.
#include "MessageSim.hpp"
#include "tovakWrapper.h"

#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    const uint32_t n = argc > 1 ? static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 4096;
    sim::KindLayout layout(sim::Shape::uniform(4));
    sim::MessageGroup group(layout, n);
    group.scramble(1);
    miInitialize(&layout.metadata, &layout.metadata, &layout.metadata);
    MessageRecord* r = group.records();
    std::vector<uint8_t> in(16 * std::size_t{n}), out(16 * std::size_t{n});
    sim::Random(2).fill(in.data(), in.size());
    auto* doubles = reinterpret_cast<double*>(in.data());
    for (uint32_t i = 0; i < n; ++i) doubles[i] = static_cast<double>(i) * 0.37 - 700.0;

    miCommandSetFloat(r, reinterpret_cast<float*>(in.data()), n, 1);
    miFeedbackGetFloat(reinterpret_cast<float*>(out.data()), r, n, 1);
    miFeedbackGetVector3f(reinterpret_cast<MiVector3f*>(out.data()), r, n, 1);
    miFeedbackGetQuaternionf(reinterpret_cast<MiQuaternionf*>(out.data()), r, n, 1);
    miCommandSetHighResAngle(r, doubles, n, 1);
    miFeedbackGetHighResAngle(reinterpret_cast<double*>(out.data()), r, n, 1);
    miCommandSetIoPinInt(r, reinterpret_cast<int64_t*>(in.data()), n, 1, 1);
    miFeedbackGetIoPinInt(reinterpret_cast<int64_t*>(out.data()), r, n, 1, 1);
    miFeedbackGetNumberedFloat(reinterpret_cast<float*>(out.data()), r, n, 1, 1);
    miCommandGetFlag(out.data(), r, n, 1);
    miFeedbackHasField(out.data(), r, n, 37);
    return out[0] == 0xFF ? 1 : 0;  // keeps the outputs observable
}
