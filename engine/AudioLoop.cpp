// The audio loop: per block transport and source resolution, then per sample
// main-control smoothing, MIDI, the control tick, modulators, the routing
// matrix into the four operators, dry delay, mix, output gain, limiter and
// meters. Runs under the processing lock with flush-to-zero set.

#include <cfloat>
#include <cmath>

#include "engine/LaneGather.h"
#include "engine/Plugin.h"
#include "modules/Vec4.h"
#include "platform/FpuState.h"

namespace vh {

namespace {
constexpr float kOperatorInputLimit = 1000.0f;

// The current values of four ramps as one vector.
inline Vec4 rampCurrents(const Ramp (&ramps)[4]) {
    return Vec4(ramps[0].current, ramps[1].current, ramps[2].current, ramps[3].current);
}

// Lanes that are NaN or infinite become 0.
inline Vec4 finiteOrZero(Vec4 x) {
    const Float4Raw largest = {FLT_MAX, FLT_MAX, FLT_MAX, FLT_MAX};
    return select(abs(x).v <= largest, x, Vec4(0.0f));
}
}  // namespace

void Plugin::processReplacing(float** inputs, float** outputs, int32_t frames) {
    processBlock(inputs, outputs, frames);
}

void Plugin::processDoubleReplacing(double** inputs, double** outputs, int32_t frames) {
    processBlock(inputs, outputs, frames);
}

void Plugin::readTransport(int32_t frames) {
    float position = mTransport.advance(getTimeInfo(vst::kVstPpqPosValid | vst::kVstTempoValid), frames);
    const float tempo = mTransport.tempo();
    for (auto& mod : mModulators.modules) mod->setSongPosition(position);
    for (auto& op : mOperators.modules) op->setTempo(tempo);
    for (auto& mod : mModulators.modules) mod->setTempo(tempo);
}

inline void Plugin::noteControlsSettled() {
    mControlsSettled = mMain.controlsSettled() && mModulation.knobsSettled();
}

// The knobs and the main controls move smoothly until they stand on their
// values.
inline void Plugin::smoothControls() {
    if (mControlsSettled) return;
    mModulation.smoothKnobs(mMain.smoothingCoefficient());
    mMain.smoothControls();
    noteControlsSettled();
}

// The active factors as the vectors the operators and modulators are scaled
// by, rebuilt whenever the ramps may have moved.
inline void Plugin::noteActiveFactors() {
    rampCurrents(mOperators.active).store(mOperators.activeNow);
    rampCurrents(mModulators.active).store(mModulators.activeNow);
}

// Which per-sample stages can be left out because they would change nothing.
// During a block only this thread changes what they depend on, in MIDI
// handling and the control tick, after which this is asked again.
// - Once every smoothed value equals its target, smoothing leaves them as
//   they are (a step of exactly 0, then the landing on the target itself).
// - Operators that pass their pairs through unchanged need not be called.
// - Ramps that stand still need no steps.
void Plugin::noteSkippableWork() {
    noteControlsSettled();
    noteActiveFactors();

    unsigned running = 0;
    for (int s = 0; s < kNumOperatorSlots; ++s) running |= unsigned(!mOperators.modules[s]->passesThrough()) << s;
    mOpsRunning = running;
    mMain.noteRamping();
}

// The modulators read the taps and write their outputs (an unused slot's is
// 0 without running it); the active factors (before this sample's ramp step)
// then scale all four outputs at once.
inline void Plugin::runModulators() {
    // With every slot unused all four outputs are 0 (0 times an active
    // factor); written once, they stay so.
    if (mModsAllSilent) {
        if (mModOutsLive) {
            for (int m = 0; m < kNumModulatorSlots; ++m) mModOutL[m] = mModOutR[m] = 0.0f;
            mModOutsLive = false;
        }
        return;
    }
    mModOutsLive = true;
    for (int m = 0; m < kNumModulatorSlots; ++m) {
        if (mModSilent[m]) {
            mModOutL[m] = mModOutR[m] = 0.0f;
            continue;
        }
        if (mModulators.readsTaps[m]) mModulators.modules[m]->setInputs(mTapL, mTapR);
        mModulators.modules[m]->processSample(&mModOutL[m], &mModOutR[m]);
    }
    const Vec4 active = Vec4::load(mModulators.activeNow);
    (gatherWritten(mModOutL) * active).store(mModOutL);
    (gatherWritten(mModOutR) * active).store(mModOutR);
}

// Main-gain, matrix and active-factor ramps run only while a tick left them
// moving (adding a zero increment would change nothing).
inline void Plugin::advanceRamps() {
    mMain.advance();
    mMatrix.advance();
    if (mActiveRamping) {
        for (auto& a : mOperators.active) a.next();
        for (auto& a : mModulators.active) a.next();
        noteActiveFactors();
    }
}

// Every operator-to-operator connection has one sample of delay, so the four
// operators are independent within a sample: their inputs, encoders, decoders
// and bypass mixes run four lanes wide, and only the modules themselves are
// called one by one.
inline void Plugin::runOperators(float xL, float xR, float& wetL, float& wetR) {
    // Operator inputs from the input and last sample's operator outputs (still
    // in the taps): one vector of four destinations per matrix row.
    // (The outputs were stored as one vector, so they load as one.)
    Vec4 opInL, opInR;
    mMatrix.operatorInputs(xL, xR, Vec4::load(&mTapL[kTapOp1]), Vec4::load(&mTapR[kTapOp1]), opInL, opInR);
    // clampLanes is clamp as one instruction per bound (a NaN gives the lower
    // bound in both).
    const Vec4 limit(kOperatorInputLimit);
    opInL = clampLanes(opInL, -limit, limit);
    opInR = clampLanes(opInR, -limit, limit);

    Vec4 encL, encR;
    mChannels.encode(opInL, opInR, encL, encR);
    // An operator that passes its pair through unchanged is not called; when
    // none is called the encoded pairs are the processed ones. (Its pair is
    // the result of arithmetic under flush-to-zero, never a denormal that a
    // multiplication by 1 would have flushed.)
    const unsigned running = mOpsRunning;
    Vec4 l = encL, r = encR;
    if (running != 0) {
        alignas(16) float pairL[kNumOperatorSlots];
        alignas(16) float pairR[kNumOperatorSlots];
        encL.store(pairL);
        encR.store(pairR);
        for (int s = 0; s < kNumOperatorSlots; ++s) {
            if (!(running & (1u << s))) continue;
            if (mOperators.readsTaps[s]) mOperators.modules[s]->setInputs(mTapL, mTapR);
            mOperators.modules[s]->processSample(&pairL[s], &pairR[s]);
        }
        l = gatherWritten(pairL);
        r = gatherWritten(pairR);
    }
    Vec4 decL, decR;
    mChannels.decode(l, r, decL, decR);

    // A bypassed operator passes its encoded input; a module gone non-finite
    // must not poison the feedback paths.
    const Vec4 active = Vec4::load(mOperators.activeNow);
    const Vec4 sign = mChannels.signs();
    const Vec4 outL = finiteOrZero(decL * active * sign + (Vec4(1.0f) - active) * encL);
    const Vec4 outR = finiteOrZero(decR * active * sign + (Vec4(1.0f) - active) * encR);
    outL.store(&mTapL[kTapOp1]);
    outR.store(&mTapR[kTapOp1]);

    mMatrix.wetSums(outL, outR, wetL, wetR);
    mTapL[kTapWetSum] = wetL;
    mTapR[kTapWetSum] = wetR;
}

template <typename Sample>
void Plugin::processBlock(Sample** inputs, Sample** outputs, int32_t frames) {
    ScopedFlushToZero fpu;
    ProcessLock lock(*this, ProcessLock::kAudioLoop);
    mAudioThread.store(std::this_thread::get_id(), std::memory_order_relaxed);
    // Every call, however odd its arguments, ends as a full one does: the
    // transport read, the pending MIDI forgotten, the lock and the
    // processor's state restored. Missing buffers are silence in and
    // nowhere out.
    if (frames < 0) frames = 0;
    readTransport(frames);

    auto pointer = [](Sample** list, int i) { return list != nullptr ? list[i] : nullptr; };
    Sample* inL = pointer(inputs, 0);
    Sample* inR = (pointer(inputs, 1) && isInputConnected(1)) ? inputs[1] : inL;
    bool side2 = pointer(inputs, 2) && isInputConnected(2);
    Sample* sideL = side2 ? inputs[2] : inL;
    Sample* sideR = (pointer(inputs, 3) && isInputConnected(3)) ? inputs[3] : side2 ? sideL : inR;
    Sample* outL = pointer(outputs, 0);
    Sample* out1 = pointer(outputs, 1);
    bool out1Connected = out1 != nullptr && isOutputConnected(1);
    Sample* outR = out1Connected ? out1 : outL;
    // A host that calls output 1 unconnected may still read the buffer it
    // passed: it gets the right channel too, never stale memory.
    Sample* outRExtra = (out1 != nullptr && !out1Connected) ? out1 : nullptr;
    // A missing input reads as silence: its index mask is 0, so every sample
    // reads the same zero. The four inputs are then cleaned of non-finite
    // values side by side.
    const Sample silence = 0;
    struct Input {
        const Sample* buffer;
        int32_t mask;
    };
    auto input = [&silence](const Sample* buffer) { return buffer ? Input{buffer, -1} : Input{&silence, 0}; };
    const Input readL = input(inL), readR = input(inR), readSideL = input(sideL), readSideR = input(sideR);
    auto read = [](const Input& in, int32_t n) { return static_cast<float>(in.buffer[n & in.mask]); };

    resolveSources();
    noteSkippableWork();
    int nextEvent = 0;

    // Peaks of this block (input L, R, output L, R); the meters are raised
    // once at its end.
    Vec4 peaks(0.0f);

    for (int32_t n = 0; n < frames; ++n) {
        // Read everything of this index before writing: buffers may be shared.
        const Vec4 in = finiteOrZero(Vec4(read(readL, n), read(readR, n), read(readSideL, n), read(readSideR, n)));
        float xL = in[0] * mMain.inputGain(0);
        float xR = in[1] * mMain.inputGain(1);
        float scL = in[2];
        float scR = in[3];

        smoothControls();

        if (nextEvent < mMidiQueue.size() && mMidiQueue.offset(nextEvent) == n) {
            while (nextEvent < mMidiQueue.size() && mMidiQueue.offset(nextEvent) == n)
                applyMidi(mMidiQueue.message(nextEvent++));
            noteSkippableWork();
        }

        if (++mTickCounter >= kControlTick) {
            mTickCounter = 0;
            controlTick();
            noteSkippableWork();
        }

        // Taps [kTapOp1..] and [kTapWetSum] already hold last sample's values.
        mTapL[kTapInput] = xL;
        mTapR[kTapInput] = xR;
        mTapL[kTapSideChain] = scL;
        mTapR[kTapSideChain] = scR;

        runModulators();
        advanceRamps();
        float wetL, wetR;
        runOperators(xL, xR, wetL, wetR);

        float yL, yR;
        mMain.mix(xL, xR, wetL, wetR, yL, yR);

        // Nothing non-finite ever leaves the plug-in, whatever a module did.
        mOutput.process(yL, yR);
        if (outL) outL[n] = static_cast<Sample>(yL);
        if (outR) outR[n] = static_cast<Sample>(yR);
        if (outRExtra) outRExtra[n] = static_cast<Sample>(yR);

        peaks = maxLanes(peaks, abs(Vec4(xL, xR, yL, yR)));
    }

    mOutput.raiseMeters(peaks);
    mMidiQueue.clear();
}

template void Plugin::processBlock<float>(float**, float**, int32_t);
template void Plugin::processBlock<double>(double**, double**, int32_t);

}  // namespace vh
