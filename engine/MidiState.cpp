#include "engine/MidiState.h"

#include <cstring>

namespace vh {

void MidiState::reset() {
    std::memset(mNoteHeld, 0, sizeof(mNoteHeld));
    mHeldCount = 0;
    mLastNote = 45;
    mNoteNumber = 45.0f / 127.0f;
    mNoteFreq = 0.375f;
    mNoteOn = mVelocity = mPitchBend = mAftertouch = mChannelPressure = 0.0f;
    std::memset(mControllers, 0, sizeof(mControllers));
}

bool MidiState::apply(const unsigned char* midiData, int& controller, int& value) {
    int status = midiData[0] & 0xF0;
    int data1 = midiData[1] & 0x7F;
    int data2 = midiData[2] & 0x7F;
    switch (status) {
        case 0x90:
            if (data2 > 0) {
                if (!mNoteHeld[data1]) {
                    mNoteHeld[data1] = true;
                    ++mHeldCount;
                    mLastNote = data1;
                    mNoteNumber = data1 / 127.0f;
                    mNoteFreq = (data1 - 9) / 96.0f;
                    mVelocity = data2 / 127.0f;
                    mNoteOn = 1.0f;
                }
                break;
            }
            [[fallthrough]];
        case 0x80:
            if (mNoteHeld[data1]) {
                mNoteHeld[data1] = false;
                if (--mHeldCount < 1) {
                    mHeldCount = 0;
                    mNoteOn = mVelocity = mAftertouch = mChannelPressure = 0.0f;
                }
            }
            break;
        case 0xA0:
            if (data1 == mLastNote) mAftertouch = data2 / 127.0f;
            break;
        case 0xB0:
            controller = data1;
            value = data2;
            return true;
        case 0xD0: mChannelPressure = data1 / 127.0f; break;
        case 0xE0: mPitchBend = (128 * data2 + data1) * (1.0f / 8192.0f) - 1.0f; break;
        default: break;  // program change, system messages
    }
    return false;
}

const float* MidiState::noteSource(int i) const {
    const float* const sources[kNumNoteSources] = {&mNoteOn,   &mNoteNumber, &mNoteFreq,       &mPitchBend,
                                                   &mVelocity, &mAftertouch, &mChannelPressure};
    return sources[i];
}

}  // namespace vh
