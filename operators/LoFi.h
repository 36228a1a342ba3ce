#pragma once
// Bit-crusher and downsampler: each channel is sampled and held at a reduced
// rate (free-running phase accumulator, no anti-alias filter) and every held
// value is requantised to a reduced number of levels.

#include "modules/CoefficientCache.h"
#include "modules/LaneRamp.h"
#include "modules/Module.h"

namespace vh {

class LoFi final : public Operator {
public:
    enum Param { kBits = 0, kSampleRate, kNumParams };

    LoFi(int slot, ModuleHost* owner);

    // --- parameters ---------------------------------------------------------
    // Parameters and texts come from the parameter table.
    void getTypeName(char* out) override { copyText(out, kTextSize, "LOFI"); }

    // --- control tick and audio ---------------------------------------------
    void update() override;
    void processSample(float* left, float* right) override;

    // --- reset and rate -----------------------------------------------------
    void resetSmoothing() override;
    void clearState() override;
    void setSampleRate(float rate) override;

    // Resolution in bits of the normalised "bits": 1 + 15 v.
    static float bitsOf(float v) { return 1.0f + 15.0f * v; }
    // Hold rate of the normalised "smplrate": 44.1 kHz * exp(-ln 20 * (1 - v)), 2205..44100 Hz.
    static float holdRateHz(float v);
    // Quantiser levels per unit at normalised bits v, read from the level
    // table: 2^(15 v), 1..32768.
    static float levelsPerUnit(float v);

    static constexpr int kTableSteps = 10000;
    static constexpr float kReferenceRate = 44100.0f;

private:
    // Both channels side by side: left in lane 0, right in lane 1 (lanes 2
    // and 3 shadow them and are never read).
    // Lanes: bits L, bits R, phase step L, phase step R.
    LaneRamp mRamps;
    Vec4 mPhase;
    Vec4 mHeld;
    // Levels of the last bits value read, so the table and the division are
    // skipped while the bits value stands still.
    Vec4 mLevelsBits{-1.0f};
    Vec4 mLevels{1.0f};
    Vec4 mStep{1.0f};  // 1 / levels
    // Whether the bits ramp moves during this tick.
    bool mBitsMoving = true;
    // Levels and step for the lanes set in `lanes` whose bits differ from
    // the last ones read.
    void takeLevels(Vec4 bits, Int4Raw lanes);
    // Constants of the per-sample code (see LaneConstants); 2^30 bounds the
    // whole numbers the quantiser converts.
    LaneConstants mConstants;
    Vec4 mRoundLow{-1073741824.0f}, mRoundHigh{1073741824.0f};
    const float* mTable;
    float mRateFactor = 1.0f;  // 44100 / fs
    CoefficientCache<2> mStepCache[2];  // hold steps, left and right
};

}  // namespace vh
