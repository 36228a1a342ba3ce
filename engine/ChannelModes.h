#pragma once
// How each operator takes and gives back its stereo pair: as left/right or
// as mid/side, on the way in and on the way out, and with which polarity.
// The coefficients are stored coefficient by coefficient, one lane per
// operator, so the loop encodes and decodes all four operators at once.

#include "modules/ParameterLayout.h"
#include "modules/Published.h"
#include "modules/Vec4.h"

namespace vh {

class ChannelModes {
public:
    // Left/right in and out, polarity kept.
    ChannelModes() { setModes(0.0f); }

    // Bit s: operator s takes mid/side; bit 4 + s: it gives back mid/side.
    void setModes(float value);
    float modes() const { return observe(mModes); }
    // Bit s: operator s's output is inverted.
    void setPolarity(float value);
    float polarity() const { return observe(mPolarity); }

    // The four operators' pairs from their left/right inputs.
    void encode(Vec4 inL, Vec4 inR, Vec4& l, Vec4& r) const {
        l = Vec4::load(mEncode[0]) * inL + Vec4::load(mEncode[2]) * inR;
        r = Vec4::load(mEncode[1]) * inL + Vec4::load(mEncode[3]) * inR;
    }
    // Their left/right outputs from the processed pairs, polarity not yet applied.
    void decode(Vec4 l, Vec4 r, Vec4& outL, Vec4& outR) const {
        outL = Vec4::load(mDecode[0]) * l + Vec4::load(mDecode[2]) * r;
        outR = Vec4::load(mDecode[1]) * l + Vec4::load(mDecode[3]) * r;
    }
    Vec4 signs() const { return Vec4::load(mSign); }

private:
    float mModes = 0.0f;
    float mPolarity = 0.0f;
    alignas(16) float mEncode[4][kNumOperatorSlots] = {};
    alignas(16) float mDecode[4][kNumOperatorSlots] = {};
    alignas(16) float mSign[kNumOperatorSlots] = {1, 1, 1, 1};
};

}  // namespace vh
