#pragma once
// A test host that loads the built plug-in through dlopen and VSTPluginMain
// and talks to it only through the binary interface.

#include <dlfcn.h>

#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "vst/aeffect.h"

namespace vh::test {

class PluginHost {
public:
    struct Automation {
        int index;
        float value;
    };

    // What the host answers; tests change these before or between blocks.
    double tempo = 120.0;
    double ppq = 0.0;
    bool playing = false;
    bool answerTime = true;
    bool answerVersion = true;
    bool answerCanDoSendMidi = true;
    int connectedInputs = 4;   // pins from this index on report "not connected"
    int connectedOutputs = 2;  // likewise for the outputs
    std::vector<Automation> automations;
    int ioChanges = 0;  // audioMasterIOChanged calls
    struct Size {
        int width, height;
        bool operator==(const Size&) const = default;
    };
    std::vector<Size> sizeRequests;  // audioMasterSizeWindow calls
    vst::VstTimeInfo timeInfo{};

    static void* library() {
        static void* handle = dlopen(VH_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        return handle;
    }
    using Entry = vst::AEffect* (*)(vst::HostCallback);
    static Entry entry() { return reinterpret_cast<Entry>(dlsym(library(), "VSTPluginMain")); }

    PluginHost() = default;
    ~PluginHost() { close(); }
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    // Loads and starts the plug-in (sample rate, block size, resume).
    bool open(float rate = 44100.0f, int block = 512) {
        sCurrent = this;
        effect = entry()(&PluginHost::callback);
        sCurrent = nullptr;
        if (!effect) return false;
        effect->user = this;
        call(vst::effOpen);
        call(vst::effSetSampleRate, 0, 0, nullptr, rate);
        call(vst::effSetBlockSize, 0, block);
        call(vst::effMainsChanged, 0, 1);
        sampleRate = rate;
        return true;
    }
    void close() {
        if (!effect) return;
        call(vst::effMainsChanged, 0, 0);
        call(vst::effClose);
        effect = nullptr;
    }

    intptr_t call(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f) {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }
    void set(int index, float value) { effect->setParameter(effect, index, value); }
    float get(int index) { return effect->getParameter(effect, index); }
    std::string text(int32_t opcode, int index) {
        char buffer[256];
        std::memset(buffer, 0x55, sizeof(buffer));
        call(opcode, index, 0, buffer);
        return buffer;
    }
    std::string name(int index) { return text(vst::effGetParamName, index); }
    std::string display(int index) { return text(vst::effGetParamDisplay, index); }
    std::string label(int index) { return text(vst::effGetParamLabel, index); }

    // Processes whole signals in blocks; side-chain optional.
    void process(std::vector<float>& left, std::vector<float>& right, int block = 512,
                 const std::vector<float>* sideL = nullptr, const std::vector<float>* sideR = nullptr,
                 const std::function<void(size_t)>& beforeBlock = nullptr) {
        std::vector<float> outL(left.size()), outR(right.size());
        std::vector<float> zeros(block, 0.0f);
        for (size_t pos = 0; pos < left.size(); pos += block) {
            int n = static_cast<int>(std::min<size_t>(block, left.size() - pos));
            if (beforeBlock) beforeBlock(pos);
            float* in[4] = {&left[pos], &right[pos], sideL ? const_cast<float*>(&(*sideL)[pos]) : zeros.data(),
                            sideR ? const_cast<float*>(&(*sideR)[pos]) : zeros.data()};
            float* out[2] = {&outL[pos], &outR[pos]};
            effect->processReplacing(effect, in, out, n);
            ppq += n / sampleRate * tempo / 60.0;
        }
        left.swap(outL);
        right.swap(outR);
    }

    // Sends MIDI bytes at the given offset of the next block.
    void sendMidi(std::initializer_list<std::array<int, 4>> messages) {
        midiEvents.clear();
        for (auto m : messages) {
            vst::VstMidiEvent e{};
            e.type = vst::kVstMidiType;
            e.byteSize = sizeof(e);
            e.deltaFrames = m[0];
            e.midiData[0] = static_cast<char>(m[1]);
            e.midiData[1] = static_cast<char>(m[2]);
            e.midiData[2] = static_cast<char>(m[3]);
            midiEvents.push_back(e);
        }
        eventList.assign(sizeof(vst::VstEvents) + sizeof(void*) * midiEvents.size(), 0);
        auto* list = reinterpret_cast<vst::VstEvents*>(eventList.data());
        list->numEvents = static_cast<int32_t>(midiEvents.size());
        for (size_t i = 0; i < midiEvents.size(); ++i)
            list->events[i] = reinterpret_cast<vst::VstEvent*>(&midiEvents[i]);
        call(vst::effProcessEvents, 0, 0, list);
    }

    vst::AEffect* effect = nullptr;
    double sampleRate = 44100.0;

private:
    static inline PluginHost* sCurrent = nullptr;
    std::vector<vst::VstMidiEvent> midiEvents;
    std::vector<char> eventList;

    static intptr_t callback(vst::AEffect* e, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
        PluginHost* self = (e && e->user) ? static_cast<PluginHost*>(e->user) : sCurrent;
        if (!self) return opcode == vst::audioMasterVersion ? 2400 : 0;
        switch (opcode) {
            case vst::audioMasterVersion: return self->answerVersion ? 2400 : 0;
            case vst::audioMasterGetTime:
                if (!self->answerTime) return 0;
                self->timeInfo = vst::VstTimeInfo{};
                self->timeInfo.sampleRate = self->sampleRate;
                self->timeInfo.tempo = self->tempo;
                self->timeInfo.ppqPos = self->ppq;
                self->timeInfo.flags = vst::kVstTempoValid | vst::kVstPpqPosValid |
                                       (self->playing ? vst::kVstTransportPlaying : 0);
                return reinterpret_cast<intptr_t>(&self->timeInfo);
            case vst::audioMasterPinConnected:
                return index >= (value == 0 ? self->connectedInputs : self->connectedOutputs) ? 1 : 0;
            case vst::audioMasterCanDo:
                return (ptr && std::strcmp(static_cast<const char*>(ptr), "sendVstMidiEvent") == 0 &&
                        self->answerCanDoSendMidi)
                           ? 1
                           : 0;
            case vst::audioMasterAutomate: self->automations.push_back({index, opt}); return 0;
            case vst::audioMasterIOChanged: ++self->ioChanges; return 1;
            case vst::audioMasterSizeWindow:
                self->sizeRequests.push_back({index, static_cast<int>(value)});
                return 1;
            default: return 0;
        }
    }
};

}  // namespace vh::test
