#pragma once
// The routing matrix: 24 gains from the input into the operators, from each
// operator into each operator and from the operators to the output. Every
// gain is the square of its normalised value, which the modulation slots may
// move per channel each control tick; the gains ramp to their new targets
// over one tick. An operator-to-operator link carries the previous sample's
// output, so the four operators are independent within a sample and their
// inputs and the wet sums are computed four lanes wide.

#include "modules/ParameterLayout.h"
#include "modules/Published.h"
#include "modules/Vec4.h"

namespace vh {

class RoutingMatrix {
public:
    // A serial chain: input -> OP1 -> OP2 -> OP3 -> OP4 -> output. The gains
    // are 0 until a tick (and settle) turns the values into gains.
    RoutingMatrix();

    // --- values (entry 0..23 as in the layout) ------------------------------
    // Written where the engine is, read from any thread.
    void setValue(int entry, float value) { publish(mValue[entry], value); }
    float value(int entry) const { return observe(mValue[entry]); }

    // --- control tick ---------------------------------------------------------
    // Modulation starts again from the values...
    void beginTick();
    void addModulation(int entry, float left, float right) {
        mModulated[0][entry] += left;
        mModulated[1][entry] += right;
    }
    void clampModulation(int entry);
    // ...and the gains head for the squares of the modulated values.
    void endTick();
    // The gains stand on their targets at once.
    void settle();

    // --- per sample -----------------------------------------------------------
    // One step of the ramps; nothing while the gains stand still.
    void advance() {
        if (!mRamping) return;
        for (int c = 0; c < 2; ++c)
            for (int e = 0; e < kNumRoutingGains; e += 4)
                (Vec4::load(&mGain[c][e]) + Vec4::load(&mIncrement[c][e])).store(&mGain[c][e]);
    }
    // The four operators' inputs: the input pair through the first row, plus
    // the operators' outputs of the previous sample through the links.
    void operatorInputs(float xL, float xR, Vec4 lastL, Vec4 lastR, Vec4& inL, Vec4& inR) const {
        inL = Vec4::load(&mGain[0][0]) * Vec4(xL);
        inR = Vec4::load(&mGain[1][0]) * Vec4(xR);
        const float* rowL = &mGain[0][kRoutingOpToOp];
        const float* rowR = &mGain[1][kRoutingOpToOp];
        inL = mulAdd(Vec4::load(rowL), broadcastLane<0>(lastL), inL);
        inR = mulAdd(Vec4::load(rowR), broadcastLane<0>(lastR), inR);
        inL = mulAdd(Vec4::load(rowL + 4), broadcastLane<1>(lastL), inL);
        inR = mulAdd(Vec4::load(rowR + 4), broadcastLane<1>(lastR), inR);
        inL = mulAdd(Vec4::load(rowL + 8), broadcastLane<2>(lastL), inL);
        inR = mulAdd(Vec4::load(rowR + 8), broadcastLane<2>(lastR), inR);
        inL = mulAdd(Vec4::load(rowL + 12), broadcastLane<3>(lastL), inL);
        inR = mulAdd(Vec4::load(rowR + 12), broadcastLane<3>(lastR), inR);
    }
    // The wet pair: the operators' outputs through the last row, summed in
    // operator order from 0 as a scalar loop would, so the rounding does not
    // depend on the vector width (left in lane 0, right in lane 1).
    void wetSums(Vec4 outL, Vec4 outR, float& wetL, float& wetR) const {
        const Vec4 toOutL = Vec4::load(&mGain[0][kRoutingOut]) * outL;
        const Vec4 toOutR = Vec4::load(&mGain[1][kRoutingOut]) * outR;
        const Vec4 first = shuffleLanes<0, 4, 1, 5>(toOutL, toOutR);   // L0 R0 L1 R1
        const Vec4 second = shuffleLanes<2, 6, 3, 7>(toOutL, toOutR);  // L2 R2 L3 R3
        Vec4 wet = Vec4(0.0f) + first;
        wet += upperHalf(first);
        wet += second;
        wet += upperHalf(second);
        wetL = wet[0];
        wetR = wet[1];
    }

    // --- inspection -------------------------------------------------------------
    float gain(int channel, int entry) const { return mGain[channel][entry]; }
    bool ramping() const { return mRamping; }

private:
    float mValue[kNumRoutingGains] = {};
    float mModulated[2][kNumRoutingGains] = {};
    alignas(16) float mGain[2][kNumRoutingGains] = {};
    alignas(16) float mIncrement[2][kNumRoutingGains] = {};
    bool mRamping = false;
};

}  // namespace vh
