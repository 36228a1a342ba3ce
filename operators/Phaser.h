#pragma once
// Phaser: per channel a chain of 1 to 16 identical first-order all-pass
// stages, its output fed back to its input one sample later and added to the
// dry signal. No oscillator of its own: sweeps come from modulation.

#include "modules/Module.h"
#include "modules/Ramp.h"

namespace vh {

class Phaser final : public Operator {
public:
    enum Param { kStageFeedback = 0, kOverallFeedback, kDepth, kStages, kNumParams };
    static constexpr int kMaxStages = 16;

    Phaser(int slot, ModuleHost* owner);

    float getParameterDefault(int index) override;
    int getNumParameters() override { return kNumParams; }
    void getParameterName(int index, char* out) override;
    void getParameterLabel(int index, char* out) override;
    void getParameterDisplay(int index, char* out) override;
    void getParameterTitle(int index, char* out) override;
    void formatEditorValue(int index, float value, char* out, int mode) override;
    bool parseEditorValue(int index, const char* text, float& value, int mode) override;
    bool isModulatable(int index) override { return index >= 0 && index < kStages; }
    void getTypeName(char* out) override { copyText(out, kTextSize, "PHASER"); }

    void update() override;
    void processSample(float* left, float* right) override;
    void resetSmoothing() override;
    void clearState() override;
    void setSampleRate(float rate) override;

    static int stagesOf(float v) { return discreteIndex(v, kMaxStages) + 1; }
    // All-pass coefficient a = (1 - c) / (1 + c), c = 220·2^(4v) / fs: the
    // stage corner spans the four octaves above 220 Hz.
    static float allPassCoefficient(float v, float cornerScale);
    // Wet gain: cubic, for a usable fine range at low depths.
    static float depthGainOf(float v) { return v * v * v; }

private:
    struct Channel {
        Ramp coefficient, depth, feedback;
        float stage[kMaxStages] = {};
        float loop = 0.0f;  // chain output of the previous sample times the loop feedback
    };

    float processChannel(Channel& ch, float input);

    Channel mChannels[2];  // [0] left, [1] right
    int mNumStages = 8;
    float mCornerScale = 220.0f / 44100.0f;  // 220 Hz as a fraction of the rate
};

}  // namespace vh
