#pragma once
// Reverberator with four algorithms behind one set of controls:
//   cathedral, hall  15-line feedback delay network of modulated allpass plus
//                    delay elements (the cathedral with an input diffuser);
//   room             six damped combs into eight allpasses per channel;
//   plate            input allpass diffuser into six damped allpass-combs.
// All share a pre-delay (milliseconds or tempo-locked) and an amount control
// that crossfades the pre-delayed dry signal with the reverberation.

#include <vector>

#include "modules/Module.h"
#include "modules/Ramp.h"

namespace vh {

class Reverb2 final : public Operator {
public:
    enum Param { kTime = 0, kDamping, kAmount, kType, kPreMode, kPreTime, kNumParams };
    enum Algorithm { kCathedral = 0, kRoom = 1, kPlate = 2, kHall = 3 };
    static constexpr int kNumTypeStates = 16;  // 4 algorithms, 12 states without reverberation
    static constexpr int kNumAlgorithms = 4;
    static constexpr int kNumPreModes = 2;     // 0 time, 1 tempo

    Reverb2(int slot, ModuleHost* owner);

    // --- parameters and texts ---------------------------------------------
    // "pretime" (milliseconds or a rhythm item, by "premode"); the other
    // texts come from the parameter table, where "algorithm" offers the four
    // algorithms and the states beyond are silent.
    void getParameterDisplay(int index, char* out) override;
    // mode for "pretime": 0 milliseconds, 1 rhythm item.
    void formatEditorValue(int index, float value, char* out, int mode) override;
    bool parseEditorValue(int index, const char* text, float& value, int mode) override;
    // Switching "premode" in the editor converts "pretime" to the new mode.
    void valueChanged(int localIndex, float value) override;
    void getTypeName(char* out) override { copyText(out, kTextSize, "REVERB"); }
    void setTempo(float bpm) override;

    // --- formulas shared by update, host text and editor -------------------
    // Name of a type state: the algorithm, or "off" for states 4..15.
    static const char* typeName(int state);
    static float cathedralSeconds(float t) { return 8.75f * t + 1.25f; }
    static float hallSeconds(float t) { return 2.0f * t + 0.5f; }
    static float roomSeconds(float t) { return 0.7f * t + 0.6f; }
    // The plate's "time" uses the cathedral's curve for its feedback gain.
    static float plateSeconds(float t) { return cathedralSeconds(t); }
    // Pre-delay of "pretime" v: v seconds, or the rhythm item's length at
    // bpm, capped at the 1 s the buffer holds.
    static float preDelaySeconds(float v, bool tempoMode, float bpm);
    // "pretime" value for the other mode, keeping the pre-delay as close as
    // the target mode allows.
    static float pretimeForMode(float v, bool toTempo, float bpm);
    // Network scale: integer multiple of 44.1 kHz, or the plain ratio below.
    static float networkScale(float sampleRate);
    // Mask of the plate's power-of-two buffers.
    static int plateMask(float sampleRate);

    // --- processing ----------------------------------------------------------
    void update() override;
    void processSample(float* left, float* right) override;

    // --- reset and sample rate ---------------------------------------------
    void setSampleRate(float rate) override;
    void clearState() override;

    int currentType() const { return mType; }
    int preDelaySamples() const { return mPreDelaySamples; }
    float tempo() const { return mTempo; }

    // Allpass plus delay network of the cathedral and the hall.
    struct Network {
        static constexpr int kLines = 15;
        static constexpr int kLanes = 16;  // padded to four Vec4
        static constexpr int kTaps = 7;
        // Every allpass and every plain delay sits in a power-of-two slice
        // (one size for all allpasses, one for all delays) written at one
        // shared, decrementing position; a buffer of n samples is read n
        // positions after it. The delays equal those of rings of exactly
        // n samples, and no line needs an index or a wrap test of its own.
        std::vector<float> memory;
        float* allpasses = nullptr;  // slice k at allpasses + k * apStride
        float* delays = nullptr;     // slice k at delays + k * dlStride
        int apSize = 1, apMask = 0, dlSize = 1, dlMask = 0;
        int apStride = 1, dlStride = 1;  // sizes plus a pad, see build
        unsigned position = 0;
        int apNominal[kLanes] = {};  // nominal read distance minus the depth offset
        int dlLength[kLanes] = {};
        float phase[kLanes] = {};
        // Sine table entry and slope in use per line; the entry changes only
        // every few thousand samples, so it is looked up only then.
        int sineIndex[kLanes] = {};
        float sineBase[kLanes] = {}, sineSlope[kLanes] = {};
        float gain[kLanes] = {}, damp[kLanes] = {}, state[kLanes] = {};
        float feedback[kLanes] = {};
        float outputs[2 * kLanes] = {};  // doubled so the circulant matrix reads without wrapping
        int tapSlice[2][kTaps] = {};   // start of the tapped line's slice in delays
        int tapOffset[2][kTaps] = {};  // distance behind the write position
        float tapSign[kTaps] = {};
        float depth = 0.0f;          // modulation depth in samples
        float depthOffset = 1.0f;    // whole number above depth: keeps the read offset positive
        float phaseIncrement = 0.0f;
        // Input diffuser (cathedral only): four allpasses.
        int diffLength[4] = {}, diffIndex[4] = {};
        float* diffusers[4] = {};
        bool hasDiffuser = false;

        void build(const int* baseLengths, const int (*taps)[kTaps], bool diffuser, float scale);
        void setDecay(float rtSeconds, float damping, float sampleRate);
        void clear();
        // One sample of mono input; writes the two wet taps.
        void process(float input, float& wetL, float& wetR);
    };

    struct Room {
        static constexpr int kCombs = 6;
        static constexpr int kStages = 8;
        std::vector<float> memory;
        int combStart[kCombs] = {}, combLength[kCombs] = {}, combIndex[kCombs] = {};
        float gain[kCombs] = {}, damp[kCombs] = {}, state[kCombs] = {};
        float weightL[kCombs] = {}, weightR[kCombs] = {};
        int apStart[kStages] = {}, apLength[kStages] = {}, apIndex[kStages] = {};  // interleaved L/R

        void build(float scale);
        void setDecay(float rtSeconds, float damping, float sampleRate);
        void clear();
        void process(float input, float& wetL, float& wetR);
    };

    struct Plate {
        static constexpr int kDiffusers = 4;
        static constexpr int kLines = 6;
        std::vector<float> memory;  // 4 diffuser and 6 line buffers of mask + 1 samples
        int mask = 0;
        int write = 0;
        // Read positions trail the write position by fixed distances, so only
        // the write position moves; read = (write - delay) & mask.
        int diffDelay[kDiffusers] = {};
        int lineDelay[kLines] = {};
        float* buffers[kDiffusers + kLines] = {};
        float state[kLines] = {};
        float diffusion1 = 0.0f, diffusion2 = 0.0f, lowpass = 0.0f, gain = 0.0f;
        float b0 = 0.0f, b2 = 0.0f, a1 = 0.0f, a2 = 0.0f;
        float xL1 = 0, xL2 = 0, yL1 = 0, yL2 = 0, xR1 = 0, xR2 = 0, yR1 = 0, yR2 = 0;
        float lineScale = 1.0f;  // line lengths relative to 44.1 kHz

        void build(float sampleRate);
        void resetPositions(float sampleRate);
        void setDecay(float time, float damping, float sampleRate);
        void clear(float sampleRate);
        // Buffers lie a power of two plus three cache lines apart, so the
        // shared write position does not land all ten in the same cache sets.
        static constexpr int kPad = 48;
        void process(float inL, float inR, float& wetL, float& wetR);
    };

private:
    void clearAll();
    void clearAlgorithm(int type);
    void clearPreDelay();

    Network mCathedral;
    Network mHall;
    Room mRoom;
    Plate mPlate;

    std::vector<float> mPre;  // left and right pre-delay rings, interleaved
    int mPreSize = 1;
    int mPreWrite = 0;
    int mPreDelaySamples = 0;

    Ramp mAmountL{1.0f};
    Ramp mAmountR{1.0f};
    float mOffset = 1e-8f;  // alternating anti-denormal offset of the plate
    float mTempo = 120.0f;
    int mType = kHall;
    bool mNeedsClear = true;
    // Decay coefficients are recomputed only when time, damping or type move.
    bool mDecayValid = false;
    float mDecayTime = 0.0f;
    float mDecayDamping = 0.0f;
};

}  // namespace vh
