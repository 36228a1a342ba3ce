#pragma once
// The predefined routings of the operator matrix. One table serves both the
// engine, which writes a chosen routing's gains, and the editor, which draws
// each routing as a picture, so the two can never disagree.

#include <cstdint>

#include "modules/ParameterLayout.h"

namespace vh {

constexpr int kNumPredefinedRoutings = 11;

// Which gains are 1 (all others are 0): operators fed by the input and
// heard at the output as bit masks (bit 0 = OP1), operator-to-operator
// links as bit 4a + b for a link from operator a to operator b (0-based).
struct PredefinedRouting {
    uint8_t fromInput;
    uint16_t links;
    uint8_t toOutput;

    bool input(int op) const { return (fromInput >> op) & 1; }
    bool link(int from, int to) const { return (links >> (4 * from + to)) & 1; }
    bool output(int op) const { return (toOutput >> op) & 1; }
    // Gain of matrix parameter param::kInToOp1 + g (g = 0..23) under this routing.
    float gain(int g) const;
};

// Routing r, or null outside 0..10.
const PredefinedRouting* predefinedRouting(int r);

}  // namespace vh
