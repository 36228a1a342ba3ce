#include "engine/RoutingMatrix.h"

#include <cstring>

#include "engine/LaneGather.h"
#include "modules/Conversions.h"

namespace vh {

RoutingMatrix::RoutingMatrix() {
    mValue[0] = 1.0f;
    for (int op = 0; op + 1 < kNumOperatorSlots; ++op) mValue[routingLink(op, op + 1)] = 1.0f;
    mValue[kRoutingOut + kNumOperatorSlots - 1] = 1.0f;
}

void RoutingMatrix::beginTick() {
    for (int c = 0; c < 2; ++c) std::memcpy(mModulated[c], mValue, sizeof(mValue));
}

void RoutingMatrix::clampModulation(int entry) {
    mModulated[0][entry] = clampUnit(mModulated[0][entry]);
    mModulated[1][entry] = clampUnit(mModulated[1][entry]);
}

// A settled matrix (the usual case) costs nothing per sample. The increments
// are smoothingIncrement's arithmetic four entries at a time, and an entry
// whose step no longer moves it lands on its target, as a Ramp does
// (otherwise a gain a hair off its target would keep the matrix ramping, and
// costing, for good).
void RoutingMatrix::endTick() {
    const Vec4 rampFactor(kRampFactor), flush(1e-18f);
    Int4Raw moving = {0, 0, 0, 0};
    for (int c = 0; c < 2; ++c)
        for (int e = 0; e < kNumRoutingGains; e += 4) {
            // The modulation slots have just written single entries.
            Vec4 m = gatherWritten(&mModulated[c][e]);
            Vec4 target = m * m, gain = Vec4::load(&mGain[c][e]);
            Vec4 inc = (((target - gain) * rampFactor) + flush) - flush;
            Int4Raw stuck = (gain + inc).v == gain.v;
            select(stuck, target, gain).store(&mGain[c][e]);
            select(stuck, Vec4(), inc).store(&mIncrement[c][e]);
            moving |= ~stuck;
        }
    mRamping = (moving[0] | moving[1] | moving[2] | moving[3]) != 0;
}

void RoutingMatrix::settle() {
    for (int c = 0; c < 2; ++c)
        for (int e = 0; e < kNumRoutingGains; ++e) {
            mGain[c][e] = mModulated[c][e] * mModulated[c][e];
            mIncrement[c][e] = 0.0f;
        }
    mRamping = false;
}

}  // namespace vh
