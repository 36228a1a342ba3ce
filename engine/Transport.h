#pragma once
// The tempo and song position that tempo-synced modules follow: the host's
// tempo while tempo sync is on and the host tells one, the manual tempo
// while sync is off; the host's position (moved by the offset) while it
// plays, otherwise a position that runs on by itself at the current tempo.

#include <atomic>

#include "modules/Published.h"
#include "vst/aeffect.h"

namespace vh {

class Transport {
public:
    // --- values (normalised) --------------------------------------------------
    void setManualTempo(float value) { publish(mManualTempo, value); }
    float manualTempo() const { return observe(mManualTempo); }
    // 30..300 bpm.
    static float manualTempoOf(float value) { return 30.0f + 270.0f * value; }
    void setPpqOffset(float value) { publish(mPpqOffset, value); }
    float ppqOffset() const { return observe(mPpqOffset); }
    // 0 off, 1 on; 2 and 3 are not used.
    void setSync(float value);
    float syncValue() const { return observe(mSync); }
    int syncMode() const { return observe(mSyncMode); }

    void setSampleRate(float rate) { mInvRate = 1.0f / rate; }
    // Once per block, with what the host answered (null: nothing): the song
    // position at the block's start, in quarter notes.
    float advance(const vst::VstTimeInfo* time, int frames);
    // The tempo now, in bpm; read by other threads.
    float tempo() const { return mTempo.load(std::memory_order_relaxed); }
    // The position that runs on by itself starts again at 0.
    void reset() { mSongPosition = 0.0; }

private:
    float mManualTempo = 1.0f / 3.0f;
    float mPpqOffset = 0.0f;
    float mSync = 0.375f;
    int mSyncMode = 1;
    std::atomic<float> mTempo{120.0f};
    double mSongPosition = 0.0;
    float mInvRate = 1.0f / 44100.0f;
};

}  // namespace vh
