// The audio loop: per block transport and source resolution, then per sample
// main-control smoothing, MIDI, the control tick, modulators, the routing
// matrix into the four operators, dry delay, mix, output gain, limiter and
// meters. Runs under the processing lock with flush-to-zero set.

#include <cmath>

#include "engine/Plugin.h"
#include "modules/Vec4.h"
#include "platform/FpuState.h"

namespace vh {

namespace {
constexpr float kOperatorInputLimit = 1000.0f;

template <typename T>
float toFloat(T x) {
    float f = static_cast<float>(x);
    return std::isfinite(f) ? f : 0.0f;
}

inline void raiseMeter(std::atomic<float>& meter, float x) {
    float a = std::fabs(x);
    if (a > meter.load(std::memory_order_relaxed)) meter.store(a, std::memory_order_relaxed);
}
}  // namespace

void Plugin::processReplacing(float** inputs, float** outputs, int32_t frames) {
    processBlock(inputs, outputs, frames);
}

void Plugin::processDoubleReplacing(double** inputs, double** outputs, int32_t frames) {
    processBlock(inputs, outputs, frames);
}

void Plugin::readTransport(int32_t frames) {
    bool playing = false;
    double position = 0.0;
    vst::VstTimeInfo* time = getTimeInfo(vst::kVstPpqPosValid | vst::kVstTempoValid);
    if (time != nullptr) {
        if ((time->flags & vst::kVstTempoValid) && std::isfinite(time->tempo)) {
            double tempo = time->tempo;
            mCurrentTempo = static_cast<float>(tempo < 30.0 ? 30.0 : tempo > 300.0 ? 300.0 : tempo);
        }
        playing = (time->flags & vst::kVstTransportPlaying) != 0;
        if ((time->flags & vst::kVstPpqPosValid) && std::isfinite(time->ppqPos))
            position = time->ppqPos + static_cast<int>(16.0f * mPpqOffset) * 0.25;
        else
            playing = false;
    }
    if (mTempoSyncMode == 0) mCurrentTempo = 30.0f + 270.0f * mTempo;
    if (!playing) position = mSongPosition;
    mSongPosition += double(frames) * (1.0 / 60.0) * mInvRate * mCurrentTempo;

    for (auto& mod : mMods) mod->setSongPosition(static_cast<float>(position));
    for (auto& op : mOps) op->setTempo(mCurrentTempo);
    for (auto& mod : mMods) mod->setTempo(mCurrentTempo);
}

template <typename Sample>
void Plugin::processBlock(Sample** inputs, Sample** outputs, int32_t frames) {
    ScopedFlushToZero fpu;
    ProcessLock lock(*this);
    if (inputs[0] == nullptr || outputs[0] == nullptr) return;

    readTransport(frames);

    Sample* inL = inputs[0];
    Sample* inR = (inputs[1] && isInputConnected(1)) ? inputs[1] : inL;
    Sample* outL = outputs[0];
    Sample* outR = (outputs[1] && isOutputConnected(1)) ? outputs[1] : outputs[0];
    bool side2 = inputs[2] && isInputConnected(2);
    Sample* sideL = side2 ? inputs[2] : inL;
    Sample* sideR = (inputs[3] && isInputConnected(3)) ? inputs[3] : side2 ? sideL : inR;

    resolveSources();
    sortPendingEvents();
    int nextEvent = 0;

    const float c30 = mSmoothing30;
    for (int32_t n = 0; n < frames; ++n) {
        // Read everything of this index before writing: buffers may be shared.
        float xL = toFloat(inL[n]) * mInputGain[0].current;
        float xR = toFloat(inR[n]) * mInputGain[1].current;
        float scL = toFloat(sideL[n]);
        float scR = toFloat(sideR[n]);

        for (int k = 0; k < kNumKnobs; ++k) mKnobSmoothed[k] += (mKnob[k] - mKnobSmoothed[k]) * c30;
        mInputSmoothed = ((mInput - mInputSmoothed) * c30 + mInputSmoothed + 1e-18f) - 1e-18f;
        mMixSmoothed = ((mMix - mMixSmoothed) * c30 + mMixSmoothed + 1e-18f) - 1e-18f;
        mOutputSmoothed = ((mOutput - mOutputSmoothed) * c30 + mOutputSmoothed + 1e-18f) - 1e-18f;

        while (nextEvent < mNumOrderedEvents) {
            const vst::VstEvent* event = mPendingEvents->events[mEventOrder[nextEvent]];
            if (event->deltaFrames != n) break;
            applyMidi(*reinterpret_cast<const vst::VstMidiEvent*>(event));
            ++nextEvent;
        }

        if (++mTickCounter >= kControlTick) {
            mTickCounter = 0;
            controlTick();
        }

        mTapL[kTapInput] = xL;
        mTapR[kTapInput] = xR;
        for (int s = 0; s < kNumOperatorSlots; ++s) {
            mTapL[kTapOp1 + s] = mOpOutL[s];
            mTapR[kTapOp1 + s] = mOpOutR[s];
        }
        mTapL[kTapWetSum] = mWetL;
        mTapR[kTapWetSum] = mWetR;
        mTapL[kTapSideChain] = scL;
        mTapR[kTapSideChain] = scR;

        for (int m = 0; m < kNumModulatorSlots; ++m) {
            mMods[m]->setInputs(mTapL, mTapR);
            mMods[m]->processSample(&mModOutL[m], &mModOutR[m]);
            float active = mModActive[m].current;
            mModOutL[m] *= active;
            mModOutR[m] *= active;
        }

        // Ramps of this sample.
        for (int c = 0; c < 2; ++c) {
            mInputGain[c].next();
            mMixGain[c].next();
            mOutputGain[c].next();
        }
        if (mMatrixRamping)
            for (int c = 0; c < 2; ++c)
                for (int e = 0; e < kMatrixSize; e += 4)
                    (Vec4::load(&mMatrixGain[c][e]) + Vec4::load(&mMatrixInc[c][e])).store(&mMatrixGain[c][e]);
        for (auto& a : mOpActive) a.next();
        for (auto& a : mModActive) a.next();

        // Operator inputs from the input and last sample's operator outputs:
        // one vector of four destinations per matrix row.
        Vec4 opInL = Vec4::load(&mMatrixGain[0][0]) * Vec4(xL);
        Vec4 opInR = Vec4::load(&mMatrixGain[1][0]) * Vec4(xR);
        for (int a = 0; a < kNumOperatorSlots; ++a) {
            opInL = mulAdd(Vec4::load(&mMatrixGain[0][kMatrixOpToOp + 4 * a]), Vec4(mOpOutL[a]), opInL);
            opInR = mulAdd(Vec4::load(&mMatrixGain[1][kMatrixOpToOp + 4 * a]), Vec4(mOpOutR[a]), opInR);
        }
        const Vec4 limit(kOperatorInputLimit);
        opInL = clamp(opInL, -limit, limit);
        opInR = clamp(opInR, -limit, limit);

        float wetL = 0.0f, wetR = 0.0f;
        for (int s = 0; s < kNumOperatorSlots; ++s) {
            const float* enc = mEncode[s];
            const float* dec = mDecode[s];
            float encL = enc[0] * opInL[s] + enc[2] * opInR[s];
            float encR = enc[1] * opInL[s] + enc[3] * opInR[s];
            float l = encL, r = encR;
            mOps[s]->setInputs(mTapL, mTapR);
            mOps[s]->processSample(&l, &r);
            float decL = dec[0] * l + dec[2] * r;
            float decR = dec[1] * l + dec[3] * r;
            float active = mOpActive[s].current;
            float sign = mOpSign[s];
            float outL = decL * active * sign + (1.0f - active) * encL;
            float outR = decR * active * sign + (1.0f - active) * encR;
            // A module gone non-finite must not poison the feedback paths.
            mOpOutL[s] = std::isfinite(outL) ? outL : 0.0f;
            mOpOutR[s] = std::isfinite(outR) ? outR : 0.0f;
            wetL += mMatrixGain[0][kMatrixOut + s] * mOpOutL[s];
            wetR += mMatrixGain[1][kMatrixOut + s] * mOpOutR[s];
        }
        mWetL = wetL;
        mWetR = wetR;

        // Dry delay of mDryLength samples (0 passes the input through).
        mDryL[mDryPos] = xL;
        mDryR[mDryPos] = xR;
        if (++mDryPos > mDryLength) mDryPos = 0;
        float dryL = mDryL[mDryPos];
        float dryR = mDryR[mDryPos];

        float mixL = mMixGain[0].current, mixR = mMixGain[1].current;
        float yL = (dryL * (1.0f - mixL) + wetL * mixL) * mOutputGain[0].current;
        float yR = (dryR * (1.0f - mixR) + wetR * mixR) * mOutputGain[1].current;

        if (mLimiterMode != 0) mLimiter.process(yL, yR, yL, yR);
        // Nothing non-finite ever leaves the plug-in, whatever a module did.
        if (!std::isfinite(yL)) yL = 0.0f;
        if (!std::isfinite(yR)) yR = 0.0f;
        outL[n] = static_cast<Sample>(yL);
        outR[n] = static_cast<Sample>(yR);

        raiseMeter(mMeters[0], xL);
        raiseMeter(mMeters[1], xR);
        raiseMeter(mMeters[2], yL);
        raiseMeter(mMeters[3], yR);
    }

    mPendingEvents = nullptr;
    mNumOrderedEvents = 0;
}

template void Plugin::processBlock<float>(float**, float**, int32_t);
template void Plugin::processBlock<double>(double**, double**, int32_t);

}  // namespace vh
