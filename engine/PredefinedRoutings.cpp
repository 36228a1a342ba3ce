#include "engine/PredefinedRoutings.h"

#include "engine/Plugin.h"

namespace vh {

namespace {
// Operators and links named 1-based, as people read routing charts.
constexpr uint8_t ops(int a, int b = 0, int c = 0, int d = 0) {
    uint8_t mask = 0;
    for (int op : {a, b, c, d})
        if (op > 0) mask = static_cast<uint8_t>(mask | (1u << (op - 1)));
    return mask;
}
constexpr uint16_t link(int from, int to) { return static_cast<uint16_t>(1u << (4 * (from - 1) + (to - 1))); }

constexpr PredefinedRouting kRoutings[kNumPredefinedRoutings] = {
    {ops(1), uint16_t(link(1, 2) | link(2, 3) | link(3, 4)), ops(4)},
    {ops(1), uint16_t(link(1, 2) | link(2, 3) | link(2, 4)), ops(3, 4)},
    {ops(1), uint16_t(link(1, 2) | link(1, 3) | link(2, 4) | link(3, 4)), ops(4)},
    {ops(1, 2), uint16_t(link(1, 3) | link(2, 3) | link(3, 4)), ops(4)},
    {ops(1), uint16_t(link(1, 2) | link(1, 3) | link(1, 4)), ops(2, 3, 4)},
    {ops(1, 2, 3), uint16_t(link(1, 4) | link(2, 4) | link(3, 4)), ops(4)},
    {ops(1, 2), uint16_t(link(1, 3) | link(2, 4)), ops(3, 4)},
    {ops(1, 2), uint16_t(link(2, 3) | link(3, 4)), ops(1, 4)},
    {ops(1, 2), uint16_t(link(2, 3) | link(2, 4)), ops(1, 3, 4)},
    {ops(1, 2, 3), uint16_t(link(2, 4) | link(3, 4)), ops(1, 4)},
    {ops(1, 2, 3, 4), 0, ops(1, 2, 3, 4)},
};
}  // namespace

float PredefinedRouting::gain(int g) const {
    if (g >= 0 && g < kRoutingOpToOp) return input(g) ? 1.0f : 0.0f;
    if (g >= kRoutingOpToOp && g < kRoutingOut) {
        int link = g - kRoutingOpToOp;
        return this->link(link / kNumOperatorSlots, link % kNumOperatorSlots) ? 1.0f : 0.0f;
    }
    if (g >= kRoutingOut && g < kNumRoutingGains) return output(g - kRoutingOut) ? 1.0f : 0.0f;
    return 0.0f;
}

const PredefinedRouting* predefinedRouting(int r) {
    return r >= 0 && r < kNumPredefinedRoutings ? &kRoutings[r] : nullptr;
}

// Operator by operator: its input gain, its output gain, then its links to
// operators 1..4.
void Plugin::applyPredefinedRouting(int r) {
    const PredefinedRouting* routing = predefinedRouting(r);
    if (!routing) return;
    using namespace param;
    for (int op = 0; op < kNumOperatorSlots; ++op) {
        setParameter(kInToOp1 + op, routing->gain(op));
        setParameter(kInToOp1 + kRoutingOut + op, routing->gain(kRoutingOut + op));
        for (int to = 0; to < kNumOperatorSlots; ++to)
            setParameter(kInToOp1 + routingLink(op, to), routing->gain(routingLink(op, to)));
    }
}

}  // namespace vh
