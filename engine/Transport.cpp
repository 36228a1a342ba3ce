#include "engine/Transport.h"

#include <cmath>

#include "modules/Conversions.h"

namespace vh {

void Transport::setSync(float value) {
    publish(mSync, value);
    publish(mSyncMode, discreteIndex(value, 4));
}

float Transport::advance(const vst::VstTimeInfo* time, int frames) {
    bool playing = false;
    double position = 0.0;
    if (time != nullptr) {
        if ((time->flags & vst::kVstTempoValid) && std::isfinite(time->tempo)) {
            double tempo = time->tempo;
            mTempo = static_cast<float>(tempo < 30.0 ? 30.0 : tempo > 300.0 ? 300.0 : tempo);
        }
        playing = (time->flags & vst::kVstTransportPlaying) != 0;
        if ((time->flags & vst::kVstPpqPosValid) && std::isfinite(time->ppqPos))
            position = time->ppqPos + static_cast<int>(16.0f * mPpqOffset) * 0.25;
        else
            playing = false;
    }
    if (mSyncMode == 0) mTempo = manualTempoOf(mManualTempo);
    if (!playing) position = mSongPosition;
    mSongPosition += double(frames) * (1.0 / 60.0) * mInvRate * mTempo;
    return static_cast<float>(position);
}

}  // namespace vh
