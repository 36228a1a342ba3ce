#include "vst/AudioEffect.h"

#include <cmath>
#include <cstring>

#include "vst/AEffEditor.h"

namespace vst {

namespace {
// Copies a text into a host buffer, cut to `length` characters.
void toHost(char* out, const char* text, int length) {
    if (out == nullptr) return;
    int n = 0;
    while (n < length && text[n] != 0) ++n;
    std::memcpy(out, text, static_cast<size_t>(n));
    out[n] = 0;
}
}  // namespace

AudioEffect::AudioEffect(HostCallback host, int32_t numPrograms, int32_t numParams)
    : mHost(host), mNumPrograms(numPrograms), mNumParams(numParams), mNumDescribed(numParams) {
    mEffect.magic = kEffectMagic;
    mEffect.dispatcher = &AudioEffect::dispatchEffect;
    mEffect.process = nullptr;
    mEffect.setParameter = &AudioEffect::setParameterEffect;
    mEffect.getParameter = &AudioEffect::getParameterEffect;
    mEffect.numPrograms = numPrograms;
    mEffect.numParams = numParams;
    mEffect.numInputs = 1;
    mEffect.numOutputs = 2;
    mEffect.ioRatio = 1.0f;
    mEffect.object = this;
    mEffect.uniqueID = fourCharacters('N', 'o', 'E', 'f');
    mEffect.version = 1;
    mEffect.processReplacing = &AudioEffect::processReplacingEffect;
    mEffect.processDoubleReplacing = &AudioEffect::processDoubleReplacingEffect;
}

AudioEffect::~AudioEffect() = default;

AudioEffect* AudioEffect::fromAeffect(AEffect* effect) {
    if (effect == nullptr || effect->magic != kEffectMagic) return nullptr;
    return static_cast<AudioEffect*>(effect->object);
}

void AudioEffect::canProcessReplacing(bool on) {
    if (on)
        mEffect.flags |= effFlagsCanReplacing;
    else
        mEffect.flags &= ~effFlagsCanReplacing;
}
void AudioEffect::canDoubleReplacing(bool on) {
    if (on)
        mEffect.flags |= effFlagsCanDoubleReplacing;
    else
        mEffect.flags &= ~effFlagsCanDoubleReplacing;
}
void AudioEffect::programsAreChunks(bool on) {
    if (on)
        mEffect.flags |= effFlagsProgramChunks;
    else
        mEffect.flags &= ~effFlagsProgramChunks;
}

void AudioEffect::setEditor(AEffEditor* editor) {
    mEditor = editor;
    if (editor)
        mEffect.flags |= effFlagsHasEditor;
    else
        mEffect.flags &= ~effFlagsHasEditor;
}

intptr_t AudioEffect::callHost(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    return mHost ? mHost(&mEffect, opcode, index, value, ptr, opt) : 0;
}

int32_t AudioEffect::getMasterVersion() {
    intptr_t version = callHost(audioMasterVersion);
    return version ? static_cast<int32_t>(version) : 1;
}

void AudioEffect::setParameterAutomated(int32_t index, float value) {
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

bool AudioEffect::beginEdit(int32_t index) { return callHost(audioMasterBeginEdit, index) != 0; }
bool AudioEffect::endEdit(int32_t index) { return callHost(audioMasterEndEdit, index) != 0; }

intptr_t AudioEffect::dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    char text[256];
    switch (opcode) {
        case effOpen: open(); return 0;
        case effClose: close(); delete this; return 1;
        case effSetProgram:
            if (value >= 0 && value < mNumPrograms) setProgram(static_cast<int32_t>(value));
            return 0;
        case effGetProgram: return getProgram();
        case effSetProgramName:
            if (ptr) {
                toHost(text, static_cast<const char*>(ptr), kVstMaxProgNameLen);
                setProgramName(text);
            }
            return 0;
        case effGetProgramName:
            if (ptr) {
                text[0] = 0;
                getProgramName(text);
                toHost(static_cast<char*>(ptr), text, kVstMaxProgNameLen);
            }
            return 0;
        case effGetParamLabel:
        case effGetParamDisplay:
        case effGetParamName:
            if (ptr) {
                text[0] = 0;
                if (index >= 0 && index < mNumDescribed) {
                    if (opcode == effGetParamLabel)
                        getParameterLabel(index, text);
                    else if (opcode == effGetParamDisplay)
                        getParameterDisplay(index, text);
                    else
                        getParameterName(index, text);
                }
                toHost(static_cast<char*>(ptr), text, kHostTextLength);
            }
            return 0;
        case effSetSampleRate: setSampleRate(opt); return 0;
        case effSetBlockSize: setBlockSize(static_cast<int32_t>(value)); return 0;
        case effMainsChanged:
            if (value)
                resume();
            else
                suspend();
            return 0;
        case effEditGetRect:
            if (ptr == nullptr) return 0;
            *static_cast<ERect**>(ptr) = nullptr;
            return (mEditor && mEditor->getRect(static_cast<ERect**>(ptr))) ? 1 : 0;
        case effEditOpen: return (mEditor && mEditor->open(ptr)) ? 1 : 0;
        case effEditClose:
            if (mEditor) mEditor->close();
            return 0;
        case effEditIdle:
            if (mEditor) mEditor->idle();
            return 0;
        case effEditKeyDown:
        case effEditKeyUp: {
            if (!mEditor) return 0;
            VstKeyCode key{index, static_cast<uint8_t>(value), static_cast<uint8_t>(static_cast<int>(opt))};
            return (opcode == effEditKeyDown ? mEditor->onKeyDown(key) : mEditor->onKeyUp(key)) ? 1 : 0;
        }
        case effGetChunk:
            if (ptr == nullptr) return 0;
            return getChunk(static_cast<void**>(ptr), index != 0);
        case effSetChunk: return setChunk(ptr, static_cast<int32_t>(value), index != 0);
        default: return 0;
    }
}

intptr_t AudioEffectX::dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    switch (opcode) {
        case effProcessEvents: return ptr ? processEvents(static_cast<VstEvents*>(ptr)) : 0;
        case effCanBeAutomated: return (index >= 0 && index < mNumParams && canParameterBeAutomated(index)) ? 1 : 0;
        case effString2Parameter:
            return (ptr && index >= 0 && index < mNumParams && string2parameter(index, static_cast<char*>(ptr))) ? 1 : 0;
        case effGetProgramNameIndexed:
            return (ptr && getProgramNameIndexed(static_cast<int32_t>(value), index, static_cast<char*>(ptr))) ? 1 : 0;
        case effGetInputProperties:
            return (ptr && getInputProperties(index, static_cast<VstPinProperties*>(ptr))) ? 1 : 0;
        case effGetOutputProperties:
            return (ptr && getOutputProperties(index, static_cast<VstPinProperties*>(ptr))) ? 1 : 0;
        case effGetPlugCategory: return getPlugCategory();
        case effSetBypass: return setBypass(value != 0) ? 1 : 0;
        case effGetEffectName: return (ptr && getEffectName(static_cast<char*>(ptr))) ? 1 : 0;
        case effGetVendorString: return (ptr && getVendorString(static_cast<char*>(ptr))) ? 1 : 0;
        case effGetProductString: return (ptr && getProductString(static_cast<char*>(ptr))) ? 1 : 0;
        case effGetVendorVersion: return getVendorVersion();
        case effVendorSpecific:
            if (index == kVendorEditorZoom)
                return (mEditor && value >= 0 && value <= 1000 && mEditor->setZoomPercent(static_cast<int>(value))) ? 1 : 0;
            return vendorSpecific(index, value, ptr, opt);
        case effCanDo: return ptr ? canDo(static_cast<const char*>(ptr)) : 0;
        case effGetTailSize: return getTailSize();
        case effGetVstVersion: return getVstVersion();
        case effSetProcessPrecision: return setProcessPrecision(static_cast<int32_t>(value)) ? 1 : 0;
        default: return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
    }
}

// The static entries guard the C boundary: nothing may unwind into the host.
intptr_t AudioEffect::dispatchEffect(AEffect* e, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                     float opt) {
    AudioEffect* self = fromAeffect(e);
    if (self == nullptr) return 0;
    try {
        return self->dispatcher(opcode, index, value, ptr, opt);
    } catch (...) {
        return 0;
    }
}

void AudioEffect::processReplacingEffect(AEffect* e, float** inputs, float** outputs, int32_t frames) {
    AudioEffect* self = fromAeffect(e);
    // Odd arguments (no buffers, no frames) still reach the effect, which
    // must end every call in the same state a full one leaves.
    if (self == nullptr) return;
    self->processReplacing(inputs, outputs, frames < 0 ? 0 : frames);
}

void AudioEffect::processDoubleReplacingEffect(AEffect* e, double** inputs, double** outputs, int32_t frames) {
    AudioEffect* self = fromAeffect(e);
    if (self == nullptr) return;
    self->processDoubleReplacing(inputs, outputs, frames < 0 ? 0 : frames);
}

void AudioEffect::setParameterEffect(AEffect* e, int32_t index, float value) {
    AudioEffect* self = fromAeffect(e);
    if (self == nullptr) return;
    try {
        self->setParameter(index, value);
    } catch (...) {
    }
}

float AudioEffect::getParameterEffect(AEffect* e, int32_t index) {
    AudioEffect* self = fromAeffect(e);
    if (self == nullptr) return 0.0f;
    float value = self->getParameter(index);
    return std::isfinite(value) ? value : 0.0f;
}

VstTimeInfo* AudioEffectX::getTimeInfo(int32_t filter) {
    return reinterpret_cast<VstTimeInfo*>(callHost(audioMasterGetTime, 0, filter));
}

int32_t AudioEffectX::canHostDo(const char* text) {
    intptr_t answer = callHost(audioMasterCanDo, 0, 0, const_cast<char*>(text));
    return answer == 1 ? 1 : answer == -1 ? -1 : 0;
}

bool AudioEffectX::wantEvents(int32_t filter) { return callHost(audioMasterWantMidi, 0, filter) != 0; }
bool AudioEffectX::updateDisplay() { return callHost(audioMasterUpdateDisplay) != 0; }
bool AudioEffectX::sizeWindow(int32_t width, int32_t height) {
    return callHost(audioMasterSizeWindow, width, height) != 0;
}
bool AudioEffectX::ioChanged() { return callHost(audioMasterIOChanged) != 0; }
bool AudioEffectX::isInputConnected(int32_t input) { return callHost(audioMasterPinConnected, input, 0) == 0; }
bool AudioEffectX::isOutputConnected(int32_t output) { return callHost(audioMasterPinConnected, output, 1) == 0; }

}  // namespace vst
