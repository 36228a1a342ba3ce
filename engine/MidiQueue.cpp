#include "engine/MidiQueue.h"

namespace vh {

void MidiQueue::take(const vst::VstEvents* events) {
    mCount = 0;
    if (events == nullptr) return;
    int count = events->numEvents;
    if (count > kCapacity) count = kCapacity;
    for (int i = 0; i < count; ++i) {
        const vst::VstEvent* event = events->events[i];
        if (event == nullptr || event->type != vst::kVstMidiType || event->deltaFrames < 0) continue;
        const auto* midi = reinterpret_cast<const vst::VstMidiEvent*>(event);
        int j = mCount++;
        while (j > 0 && mEvents[j - 1].offset > event->deltaFrames) {
            mEvents[j] = mEvents[j - 1];
            --j;
        }
        Event& pending = mEvents[j];
        pending.offset = event->deltaFrames;
        for (int b = 0; b < 3; ++b) pending.data[b] = static_cast<unsigned char>(midi->midiData[b]);
    }
}

}  // namespace vh
