#include "engine/ChannelModes.h"

#include "modules/Conversions.h"

namespace vh {

namespace {
// Rows (a, b, c, d) of x' = a x + c y, y' = b x + d y: identity, or the
// mid/side matrix, which is its own inverse. 0.70710677 is 1/sqrt(2) in
// single precision.
void channelRows(bool midSide, float rows[4]) {
    constexpr float k = 0.70710677f;
    if (midSide) {
        rows[0] = rows[1] = rows[2] = k;
        rows[3] = -k;
    } else {
        rows[0] = rows[3] = 1.0f;
        rows[1] = rows[2] = 0.0f;
    }
}
}  // namespace

void ChannelModes::setModes(float value) {
    publish(mModes, value);
    int bits = discreteIndex(value, 256);
    for (int s = 0; s < kNumOperatorSlots; ++s) {
        float enc[4], dec[4];
        channelRows((bits >> s) & 1, enc);
        channelRows((bits >> (s + kNumOperatorSlots)) & 1, dec);
        for (int c = 0; c < 4; ++c) {
            mEncode[c][s] = enc[c];
            mDecode[c][s] = dec[c];
        }
    }
}

void ChannelModes::setPolarity(float value) {
    publish(mPolarity, value);
    int bits = discreteIndex(value, 1 << kNumOperatorSlots);
    for (int s = 0; s < kNumOperatorSlots; ++s) mSign[s] = ((bits >> s) & 1) ? -1.0f : 1.0f;
}

}  // namespace vh
