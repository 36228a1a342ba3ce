#include "lv2/Lv2Adapter.h"

#include <lv2/atom/util.h>
#include <lv2/midi/midi.h>
#include <lv2/time/time.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace vh::lv2 {

namespace {
// The adapter whose engine is being constructed: the engine may call its
// host before the adapter could tell it where to find it.
thread_local Adapter* sConstructing = nullptr;

const void* findFeature(const LV2_Feature* const* features, const char* uri) {
    for (int i = 0; features && features[i]; ++i)
        if (std::strcmp(features[i]->URI, uri) == 0) return features[i]->data;
    return nullptr;
}

// A number of any of the atom number types.
bool numberOf(const LV2_Atom* atom, LV2_URID f, LV2_URID d, LV2_URID i, LV2_URID l, double& out) {
    if (atom == nullptr) return false;
    double v;
    if (atom->type == f)
        v = reinterpret_cast<const LV2_Atom_Float*>(atom)->body;
    else if (atom->type == d)
        v = reinterpret_cast<const LV2_Atom_Double*>(atom)->body;
    else if (atom->type == i)
        v = reinterpret_cast<const LV2_Atom_Int*>(atom)->body;
    else if (atom->type == l)
        v = static_cast<double>(reinterpret_cast<const LV2_Atom_Long*>(atom)->body);
    else
        return false;
    if (!std::isfinite(v)) return false;
    out = v;
    return true;
}
}  // namespace

std::unique_ptr<Adapter> Adapter::create(double rate, const LV2_Feature* const* features) {
    const auto* map = static_cast<const LV2_URID_Map*>(findFeature(features, LV2_URID__map));
    if (map == nullptr || !(rate > 0.0)) return nullptr;
    std::unique_ptr<Adapter> self(new Adapter());
    auto id = [map](const char* uri) { return map->map(map->handle, uri); };
    self->mUris = {id(LV2_ATOM__Blank),         id(LV2_ATOM__Object),       id(LV2_ATOM__Float),
                   id(LV2_ATOM__Double),        id(LV2_ATOM__Int),          id(LV2_ATOM__Long),
                   id(LV2_ATOM__Chunk),         id(LV2_MIDI__MidiEvent),    id(LV2_TIME__Position),
                   id(LV2_TIME__beatsPerMinute), id(LV2_TIME__speed),       id(LV2_TIME__beat),
                   id(LV2_TIME__bar),           id(LV2_TIME__barBeat),      id(LV2_TIME__beatsPerBar),
                   id(LV2_TIME__beatUnit),      id(kChunkKey)};
    for (int i = 0; i < param::kNumAutomatable; ++i) {
        self->mAnnounced[i].store(0.0f, std::memory_order_relaxed);
        self->mAnnouncePending[i].store(false, std::memory_order_relaxed);
        for (auto& w : self->mWritten[i]) w.store(std::numeric_limits<float>::quiet_NaN(), std::memory_order_relaxed);
        self->mWrittenNext[i].store(0, std::memory_order_relaxed);
    }
    for (int i = 0; i < kMaxEvents; ++i) self->mEventList.events[i] = reinterpret_cast<vst::VstEvent*>(&self->mMidi[i]);
    self->mRate = rate;

    sConstructing = self.get();
    try {
        self->mPlugin = std::make_unique<Plugin>(&Adapter::hostCallback);
    } catch (...) {
        sConstructing = nullptr;
        return nullptr;
    }
    sConstructing = nullptr;
    self->mPlugin->getAeffect()->user = self.get();
    self->mPlugin->setSampleRate(static_cast<float>(rate));
    for (int i = 0; i < param::kNumAutomatable; ++i) self->mLastSeen[i] = self->mPlugin->getParameter(i);
    return self;
}

Adapter::~Adapter() {
    // The engine's editor may still be open if the host never closed it.
    if (mPlugin && mPlugin->getEditor()) mPlugin->getEditor()->close();
    mPlugin.reset();
}

intptr_t Adapter::hostCallback(vst::AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                               float opt) {
    Adapter* self = (effect && effect->user) ? static_cast<Adapter*>(effect->user) : sConstructing;
    if (opcode == vst::audioMasterVersion) return 2400;
    return self ? self->answer(opcode, index, value, ptr, opt) : 0;
}

intptr_t Adapter::answer(int32_t opcode, int32_t index, intptr_t value, void*, float opt) {
    switch (opcode) {
        case vst::audioMasterGetTime: return mTimeKnown ? reinterpret_cast<intptr_t>(&mTime) : 0;
        case vst::audioMasterPinConnected: {
            // 0 means connected. Only the side-chain inputs may be left open.
            int port = value == 0 ? index : kNumEngineInputs + index;
            if (index < 0 || port >= kNumEngineInputs + kNumEngineOutputs) return 1;
            return mAudio[port] != nullptr ? 0 : 1;
        }
        case vst::audioMasterGetSampleRate: return static_cast<intptr_t>(mRate);
        case vst::audioMasterWantMidi: return 1;
        // The latency port carries the new delay at the next run.
        case vst::audioMasterIOChanged: return 1;
        case vst::audioMasterAutomate: announce(index, opt); return 1;
        case vst::audioMasterBeginEdit:
        case vst::audioMasterEndEdit: {
            UiLink* ui = mUi.load(std::memory_order_acquire);
            if (ui && ui->onUiThread() && index >= 0 && index < param::kNumAutomatable)
                ui->touchParameter(index, opcode == vst::audioMasterBeginEdit);
            return 1;
        }
        case vst::audioMasterUpdateDisplay: mSyncAll.store(true, std::memory_order_release); return 1;
        default: return 0;
    }
}

// An edit the engine made itself reaches the host as a port write of the
// window; without a window the host cannot hear of it (LV2 has no other way
// for a plug-in to move its own input ports).
void Adapter::announce(int index, float value) {
    if (index < 0 || index >= param::kNumAutomatable || !std::isfinite(value)) return;
    UiLink* ui = mUi.load(std::memory_order_acquire);
    if (ui && ui->onUiThread()) {
        write(*ui, index, value);
        return;
    }
    mAnnounced[index].store(value, std::memory_order_relaxed);
    mAnnouncePending[index].store(true, std::memory_order_release);
}

bool Adapter::detachUi(UiLink* ui) {
    UiLink* expected = ui;
    return mUi.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
}

void Adapter::flushAnnouncements(UiLink& ui, float* known) {
    for (int i = 0; i < param::kNumAutomatable; ++i)
        if (mAnnouncePending[i].exchange(false, std::memory_order_acquire))
            write(ui, i, mAnnounced[i].load(std::memory_order_relaxed));
    if (mSyncAll.exchange(false, std::memory_order_acquire)) {
        for (int i = 0; i < param::kNumAutomatable; ++i) {
            float v = mPlugin->getParameter(i);
            if (!(v == known[i])) write(ui, i, v);
        }
    }
}

void Adapter::write(UiLink& ui, int index, float value) {
    uint8_t next = mWrittenNext[index].load(std::memory_order_relaxed);
    mWritten[index][next % kEchoDepth].store(value, std::memory_order_release);
    mWrittenNext[index].store(static_cast<uint8_t>((next + 1) % kEchoDepth), std::memory_order_release);
    ui.writeParameter(index, value);
}

// A port value the window wrote comes back once the host took it, maybe
// after the engine moved on (a drag, a controller sweep): applying it then
// would pull the engine back. Once the host sets a value of its own, no
// older write can come back any more, and none is taken for an echo.
bool Adapter::isEcho(int index, float value) {
    bool echo = false;
    for (auto& w : mWritten[index]) {
        if (w.load(std::memory_order_acquire) == value) echo = true;
    }
    if (!echo) {
        for (auto& w : mWritten[index]) w.store(std::numeric_limits<float>::quiet_NaN(), std::memory_order_relaxed);
        return false;
    }
    // The match and every write before it are used up.
    uint8_t newest = static_cast<uint8_t>((mWrittenNext[index].load(std::memory_order_acquire) + kEchoDepth - 1) %
                                          kEchoDepth);
    bool clearing = false;
    for (int k = 0; k < kEchoDepth; ++k) {
        // From the newest write backwards.
        auto& w = mWritten[index][(newest + kEchoDepth - k) % kEchoDepth];
        if (!clearing && w.load(std::memory_order_relaxed) == value) clearing = true;
        if (clearing) w.store(std::numeric_limits<float>::quiet_NaN(), std::memory_order_relaxed);
    }
    return true;
}

void Adapter::connect(uint32_t port, void* data) {
    if (port < static_cast<uint32_t>(param::kNumAutomatable)) {
        mParameterPorts[port] = static_cast<const float*>(data);
    } else if (port >= static_cast<uint32_t>(kPortInputL) && port <= static_cast<uint32_t>(kPortOutputR)) {
        mAudio[port - kPortInputL] = static_cast<float*>(data);
    } else if (port == static_cast<uint32_t>(kPortControl)) {
        mControl = static_cast<const LV2_Atom_Sequence*>(data);
    } else if (port == static_cast<uint32_t>(kPortLatency)) {
        mLatency = static_cast<float*>(data);
    }
}

void Adapter::activate() { mPlugin->resume(); }
void Adapter::deactivate() { mPlugin->suspend(); }

// A port the host moved is applied like a VST host's setParameter before the
// block; one that only echoes what the engine holds or what the window wrote
// is not applied again, so the engine's own changes since are not undone.
void Adapter::applyControlPorts() {
    bool resync = mResync.exchange(false, std::memory_order_acq_rel);
    for (int i = 0; i < param::kNumAutomatable; ++i) {
        const float* port = mParameterPorts[i];
        if (port == nullptr) continue;
        float v = *port;
        if (v == mLastSeen[i] || !std::isfinite(v)) continue;
        mLastSeen[i] = v;
        bool echo = isEcho(i, v);
        if (resync || echo) continue;
        if (v != mPlugin->getParameter(i)) mPlugin->setParameter(i, v);
    }
}

void Adapter::readPosition(const LV2_Atom_Object* position) {
    const LV2_Atom *bpm = nullptr, *speed = nullptr, *beat = nullptr, *bar = nullptr, *barBeat = nullptr,
                   *beatsPerBar = nullptr, *beatUnit = nullptr;
    lv2_atom_object_get(position, mUris.timeBeatsPerMinute, &bpm, mUris.timeSpeed, &speed, mUris.timeBeat, &beat,
                        mUris.timeBar, &bar, mUris.timeBarBeat, &barBeat, mUris.timeBeatsPerBar, &beatsPerBar,
                        mUris.timeBeatUnit, &beatUnit, 0);
    const Uris& u = mUris;
    auto number = [&u](const LV2_Atom* atom, double& out) {
        return numberOf(atom, u.atomFloat, u.atomDouble, u.atomInt, u.atomLong, out);
    };
    double v;
    if (number(beatUnit, v) && v >= 1.0) mBeatUnit = v;
    if (number(bpm, v) && v > 0.0) mTime.tempo = v;
    if (number(speed, v)) mSpeed = v;
    // The engine counts quarter notes; LV2 counts beats of the bar's unit.
    double beats;
    double barNumber, inBar, perBar;
    if (number(beat, beats)) {
        mTime.ppqPos = beats * 4.0 / mBeatUnit;
    } else if (number(bar, barNumber) && number(barBeat, inBar) && number(beatsPerBar, perBar)) {
        mTime.ppqPos = (barNumber * perBar + inBar) * 4.0 / mBeatUnit;
    }
    mTime.sampleRate = mRate;
    if (mTime.tempo <= 0.0) mTime.tempo = 120.0;
    mTime.flags = vst::kVstTempoValid | vst::kVstPpqPosValid | (mSpeed != 0.0 ? vst::kVstTransportPlaying : 0);
    mTimeKnown = true;
}

void Adapter::processSegment(uint32_t from, uint32_t to) {
    // An empty segment keeps its MIDI for the next one: the engine drops
    // the pending events of a call without frames.
    if (to <= from) return;
    float* inputs[kNumEngineInputs];
    float* outputs[kNumEngineOutputs];
    for (int c = 0; c < kNumEngineInputs; ++c) inputs[c] = mAudio[c] ? mAudio[c] + from : nullptr;
    for (int c = 0; c < kNumEngineOutputs; ++c)
        outputs[c] = mAudio[kNumEngineInputs + c] ? mAudio[kNumEngineInputs + c] + from : nullptr;
    mEventList.numEvents = mNumMidi;
    mPlugin->processEvents(reinterpret_cast<vst::VstEvents*>(&mEventList));
    mNumMidi = 0;
    int32_t frames = static_cast<int32_t>(to - from);
    mPlugin->processReplacing(inputs, outputs, frames);
    if (mTimeKnown && mSpeed != 0.0) mTime.ppqPos += frames / mRate * mTime.tempo / 60.0 * mSpeed;
}

// The block is cut where the host's time position changes, so every part
// sees the transport as it was at its start; MIDI goes with the part it
// falls in. The engine's output does not depend on where blocks end.
void Adapter::run(uint32_t frames) {
    applyControlPorts();
    uint32_t start = 0;
    mNumMidi = 0;
    if (mControl != nullptr) {
        LV2_ATOM_SEQUENCE_FOREACH(mControl, event) {
            int64_t t = event->time.frames;
            uint32_t at = t < static_cast<int64_t>(start) ? start
                          : frames == 0                    ? 0
                          : t >= static_cast<int64_t>(frames) ? frames - 1
                                                              : static_cast<uint32_t>(t);
            if (event->body.type == mUris.midiEvent) {
                const auto* bytes = reinterpret_cast<const uint8_t*>(LV2_ATOM_BODY_CONST(&event->body));
                uint32_t size = event->body.size;
                // Channel messages only: system messages mean nothing to the
                // engine, and an LV2 MIDI event starts with its status byte.
                if (size == 0 || size > 3 || bytes[0] < 0x80 || bytes[0] >= 0xF0 || mNumMidi >= kMaxEvents) continue;
                vst::VstMidiEvent& m = mMidi[mNumMidi++];
                m = vst::VstMidiEvent{};
                m.type = vst::kVstMidiType;
                m.byteSize = sizeof(vst::VstMidiEvent);
                m.deltaFrames = static_cast<int32_t>(at - start);
                for (uint32_t b = 0; b < size; ++b) m.midiData[b] = static_cast<char>(bytes[b]);
            } else if (event->body.type == mUris.atomObject || event->body.type == mUris.atomBlank) {
                const auto* object = reinterpret_cast<const LV2_Atom_Object*>(&event->body);
                if (object->body.otype != mUris.timePosition) continue;
                processSegment(start, at);
                if (at > start) start = at;
                readPosition(object);
            }
        }
    }
    processSegment(start, frames);
    mNumMidi = 0;
    if (mLatency != nullptr)
        *mLatency = static_cast<float>(std::atomic_ref<int32_t>(mPlugin->getAeffect()->initialDelay).load(
            std::memory_order_relaxed));
}

LV2_State_Status Adapter::save(LV2_State_Store_Function store, LV2_State_Handle handle) {
    void* data = nullptr;
    int32_t size = mPlugin->getChunk(&data, false);
    if (data == nullptr || size <= 0) return LV2_STATE_ERR_UNKNOWN;
    return store(handle, mUris.chunkKey, data, static_cast<size_t>(size), mUris.atomChunk,
                 LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status Adapter::restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle) {
    size_t size = 0;
    uint32_t type = 0, flags = 0;
    const void* data = retrieve(handle, mUris.chunkKey, &size, &type, &flags);
    if (data == nullptr) return LV2_STATE_ERR_NO_PROPERTY;
    if (type != mUris.atomChunk || size == 0 || size > 0x7fffffff) return LV2_STATE_ERR_BAD_TYPE;
    if (mPlugin->setChunk(const_cast<void*>(data), static_cast<int32_t>(size), false) != 0)
        return LV2_STATE_ERR_UNKNOWN;
    mResync.store(true, std::memory_order_release);
    return LV2_STATE_SUCCESS;
}

}  // namespace vh::lv2
