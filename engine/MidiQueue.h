#pragma once
// The MIDI messages of the next block, copied out of the host's list (which
// the host may free once its process call returns, and a process call may
// never come) and ordered by sample offset.

#include <cstdint>

#include "vst/aeffect.h"

namespace vh {

class MidiQueue {
public:
    static constexpr int kCapacity = 4096;

    // Replaces the queue with the host's channel messages, stably ordered by
    // offset (messages of one offset keep their list order); events that can
    // never apply (not MIDI, negative offset, beyond the capacity) are left out.
    void take(const vst::VstEvents* events);
    void clear() { mCount = 0; }

    int size() const { return mCount; }
    int32_t offset(int i) const { return mEvents[i].offset; }
    const unsigned char* message(int i) const { return mEvents[i].data; }

private:
    struct Event {
        int32_t offset;
        unsigned char data[3];
    };
    Event mEvents[kCapacity] = {};
    int mCount = 0;
};

}  // namespace vh
