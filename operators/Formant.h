#pragma once
// Formant filter: three two-pole resonators in series per channel, tuned to
// the first three formants of a vowel and morphed from vowel A to vowel B.
// Coefficients and states are double precision: the narrow low formants sit
// close to the unit circle at high sample rates.
//
// Each resonator is the all-pole section (1 + a1 + a2) / (1 + a1·z^-1 + a2·z^-2)
// with a1 = -2·R·cos w, a2 = R², realised in coupled form: the state turns by
// w and shrinks by R each sample, and the output mixes the two state
// components so the response is exactly that section's. A rotation cannot
// gain energy when w moves, so fast morph modulation cannot pump a narrow
// resonance up, which the direct form does (to overflow at 192 kHz).

#include "modules/Module.h"

namespace vh {

class Formant final : public Operator {
public:
    enum Param { kMorph = 0, kVowelA, kVowelB, kNumParams };
    static constexpr int kNumVowels = 5;
    static constexpr int kNumFormants = 3;

    Formant(int slot, ModuleHost* owner);

    float getParameterDefault(int index) override;
    int getNumParameters() override { return kNumParams; }
    void getParameterName(int index, char* out) override;
    void getParameterLabel(int index, char* out) override;
    void getParameterDisplay(int index, char* out) override;
    // The editor titles are the host names.
    void getParameterTitle(int index, char* out) override {
        if (index >= 0 && index < kNumParams)
            getParameterName(index, out);
        else
            out[0] = 0;
    }
    void formatEditorValue(int index, float value, char* out, int mode) override;
    bool parseEditorValue(int index, const char* text, float& value, int mode) override;
    bool isModulatable(int index) override { return index == kMorph; }
    int getParameterSteps(int index) override { return (index == kVowelA || index == kVowelB) ? kNumVowels : 0; }
    void getTypeName(char* out) override { copyText(out, kTextSize, "FORMANT"); }

    void update() override;
    void processSample(float* left, float* right) override;
    void resetSmoothing() override;
    void clearState() override;
    void setSampleRate(float rate) override;

    static int vowelOf(float v) { return discreteIndex(v, kNumVowels); }
    static const char* vowelName(int vowel);
    // Centre frequency and bandwidth in Hz of formant k (0..2) of a vowel.
    static double formantHz(int vowel, int k);
    static double bandwidthHz(int vowel, int k);

    // --- what the editor's plot shows ---------------------------------------
    // Curve 0 the morphed output, 1 vowel A, 2 vowel B, measured through the module's own processing.
    PlotKind plotKind() const override { return PlotKind::kResponse; }
    int responseCurves() const override { return 3; }
    void responseDb(const float* values, const double* freqHz, int count, double* const* outDb) const override;

private:
    // A double-precision value gliding linearly to its target.
    struct Glide {
        double current = 0.0, target = 0.0, increment = 0.0;
        void aim(double t, double rampFactor) {
            target = t;
            // The 1e-30 step drops increments too small to matter.
            increment = ((target - current) * rampFactor + 1e-30) - 1e-30;
        }
        void snap() {
            current = target;
            increment = 0.0;
        }
    };
    struct Resonator {
        Glide cosW, sinW, cotW, radius;
        double u = 0.0, v = 0.0;  // state: in phase and in quadrature
    };

    void computeTables(double rate);

    // Angular frequency and pole radius of every vowel's formants at the
    // current rate.
    double mOmega[kNumVowels][kNumFormants];
    double mRadius[kNumVowels][kNumFormants];
    Resonator mChain[2][kNumFormants];  // [0] left, [1] right
    Glide mMorphL, mMorphR;
};

}  // namespace vh
