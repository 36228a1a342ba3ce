#pragma once
// The LV2 side of the engine: owns the engine object, answers its host
// callbacks (time, pins, automation), turns the control ports and the atom
// input into the parameter writes, MIDI events and transport the engine
// already knows from the VST layer, and keeps the engine's chunk as LV2
// state. Knows nothing of the editor: the window reaches it through UiLink.

#include <lv2/atom/atom.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "engine/Plugin.h"
#include "lv2/Lv2Ports.h"

namespace vh::lv2 {

// What the adapter needs of an open window: the host's UI write and touch
// functions, to be called on the window's own thread only.
class UiLink {
public:
    virtual ~UiLink() = default;
    virtual void writeParameter(int index, float value) = 0;
    virtual void touchParameter(int index, bool grabbed) = 0;
    virtual bool onUiThread() const = 0;
};

class Adapter {
public:
    // Null when a required host feature is missing or the engine cannot be
    // built.
    static std::unique_ptr<Adapter> create(double rate, const LV2_Feature* const* features);
    ~Adapter();
    Adapter(const Adapter&) = delete;
    Adapter& operator=(const Adapter&) = delete;

    Plugin& plugin() { return *mPlugin; }

    void connect(uint32_t port, void* data);
    void activate();
    void deactivate();
    void run(uint32_t frames);

    LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle);
    LV2_State_Status restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);

    // --- window -----------------------------------------------------------
    // The host's ports are brought up to the engine at the window's first
    // idle: the window may open long after a preset changed.
    void attachUi(UiLink* ui) {
        mUi.store(ui, std::memory_order_release);
        mSyncAll.store(true, std::memory_order_release);
    }
    // Detaches `ui` if it is the attached one; answers whether it was.
    bool detachUi(UiLink* ui);
    // On the window's thread: hands the host the edits announced on other
    // threads (MIDI-assigned controllers on the audio thread) and, after a
    // preset change, every parameter whose value the host does not know.
    // `known` holds what the host last told or was told of each port.
    void flushAnnouncements(UiLink& ui, float* known);

private:
    Adapter() = default;
    static intptr_t hostCallback(vst::AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                 float opt);
    intptr_t answer(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);
    void announce(int index, float value);
    // On the window's thread: hands one value to the host and remembers it,
    // so that it is known as an echo when the port comes back with it.
    void write(UiLink& ui, int index, float value);
    bool isEcho(int index, float value);
    void applyControlPorts();
    void readPosition(const LV2_Atom_Object* position);
    // Runs the engine over frames [from, to) of the current buffers with the
    // MIDI gathered so far, then advances the transport.
    void processSegment(uint32_t from, uint32_t to);

    std::unique_ptr<Plugin> mPlugin;
    double mRate = 44100.0;

    struct Uris {
        LV2_URID atomBlank, atomObject, atomFloat, atomDouble, atomInt, atomLong, atomChunk;
        LV2_URID midiEvent, timePosition, timeBeatsPerMinute, timeSpeed, timeBeat, timeBar, timeBarBeat,
            timeBeatsPerBar, timeBeatUnit, chunkKey;
    } mUris{};

    // Ports.
    const float* mParameterPorts[param::kNumAutomatable] = {};
    float mLastSeen[param::kNumAutomatable] = {};
    // After a state restore the host's port values may still be the ones
    // from before it: they are taken as seen, not applied.
    std::atomic<bool> mResync{true};
    float* mAudio[kNumEngineInputs + kNumEngineOutputs] = {};
    const LV2_Atom_Sequence* mControl = nullptr;
    float* mLatency = nullptr;

    // MIDI of the segment being gathered, in the VST event layout.
    static constexpr int kMaxEvents = 4096;
    vst::VstMidiEvent mMidi[kMaxEvents] = {};
    struct EventList {
        int32_t numEvents;
        intptr_t reserved;
        vst::VstEvent* events[kMaxEvents];
    } mEventList{};
    int mNumMidi = 0;

    // Transport, as the engine's time query answers it; none until the host
    // sent a position.
    vst::VstTimeInfo mTime{};
    bool mTimeKnown = false;
    double mSpeed = 0.0;
    double mBeatUnit = 4.0;

    // Edits announced where the window cannot be called.
    std::atomic<UiLink*> mUi{nullptr};
    std::atomic<float> mAnnounced[param::kNumAutomatable];
    std::atomic<bool> mAnnouncePending[param::kNumAutomatable];
    std::atomic<bool> mSyncAll{false};
    // The values last written to each port through the window, newest at
    // mWrittenNext - 1. NaN marks a free entry.
    static constexpr int kEchoDepth = 8;
    std::atomic<float> mWritten[param::kNumAutomatable][kEchoDepth];
    std::atomic<uint8_t> mWrittenNext[param::kNumAutomatable];
};

}  // namespace vh::lv2
