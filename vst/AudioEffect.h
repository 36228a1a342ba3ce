#pragma once
// The VST 2.4 plug-in base layer: the AEffect record, the dispatcher that maps
// opcodes to virtual operations, and wrappers for the host callback. A null
// callback or a host that answers 0 to everything never crashes us.

#include <cstdint>

#include "vst/aeffect.h"

namespace vst {

class AEffEditor;

class AudioEffect {
public:
    AudioEffect(HostCallback host, int32_t numPrograms, int32_t numParams);
    virtual ~AudioEffect();
    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    AEffect* getAeffect() { return &mEffect; }
    static AudioEffect* fromAeffect(AEffect* effect);

    // --- operations a plug-in overrides ---------------------------------
    virtual void open() {}
    virtual void close() {}
    virtual void suspend() {}
    virtual void resume() {}
    virtual void setSampleRate(float rate) { mSampleRate = rate; }
    virtual void setBlockSize(int32_t size) { mBlockSize = size; }
    virtual void processReplacing(float** inputs, float** outputs, int32_t frames) = 0;
    virtual void processDoubleReplacing(double** inputs, double** outputs, int32_t frames) {}
    virtual void setParameter(int32_t index, float value) {}
    virtual float getParameter(int32_t index) { return 0.0f; }
    virtual void getParameterName(int32_t index, char* text) { text[0] = 0; }
    virtual void getParameterLabel(int32_t index, char* text) { text[0] = 0; }
    virtual void getParameterDisplay(int32_t index, char* text) { text[0] = 0; }
    virtual void setProgram(int32_t program) { mCurProgram = program; }
    virtual int32_t getProgram() { return mCurProgram; }
    virtual void setProgramName(const char* name) {}
    virtual void getProgramName(char* name) { name[0] = 0; }
    virtual int32_t getChunk(void** data, bool isPreset) { return 0; }
    virtual int32_t setChunk(void* data, int32_t size, bool isPreset) { return 0; }

    // --- host callback wrappers -----------------------------------------
    intptr_t callHost(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f);
    int32_t getMasterVersion();
    // Tells the host about a parameter change made by the plug-in, then
    // applies it through setParameter.
    virtual void setParameterAutomated(int32_t index, float value);
    bool beginEdit(int32_t index);
    bool endEdit(int32_t index);

    void setEditor(AEffEditor* editor);
    AEffEditor* getEditor() { return mEditor; }
    float getSampleRate() const { return mSampleRate; }
    int32_t getBlockSize() const { return mBlockSize; }

protected:
    void setUniqueID(int32_t id) { mEffect.uniqueID = id; }
    void setNumInputs(int32_t n) { mEffect.numInputs = n; }
    void setNumOutputs(int32_t n) { mEffect.numOutputs = n; }
    void canProcessReplacing(bool on = true);
    void canDoubleReplacing(bool on = true);
    void programsAreChunks(bool on = true);
    void setInitialDelay(int32_t delay) { mEffect.initialDelay = delay; }
    // Indices below `count` get names, labels and display texts from the
    // dispatcher; by default only the host-visible parameters do, but a
    // plug-in may also describe values it stores beyond them.
    void setNumDescribedParameters(int32_t count) { mNumDescribed = count; }

    // The dispatcher: answers the opcodes of the base layer; everything
    // unknown answers 0.
    virtual intptr_t dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);

    AEffect mEffect{};
    HostCallback mHost;
    AEffEditor* mEditor = nullptr;
    float mSampleRate = 44100.0f;
    int32_t mBlockSize = 1024;
    int32_t mNumPrograms;
    int32_t mNumParams;
    int32_t mNumDescribed;
    int32_t mCurProgram = 0;

private:
    static intptr_t dispatchEffect(AEffect* e, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);
    static void processReplacingEffect(AEffect* e, float** inputs, float** outputs, int32_t frames);
    static void processDoubleReplacingEffect(AEffect* e, double** inputs, double** outputs, int32_t frames);
    static void setParameterEffect(AEffect* e, int32_t index, float value);
    static float getParameterEffect(AEffect* e, int32_t index);
};

// Host text buffers: parameter texts are cut to this many characters. The
// nominal VST limit is 8, but names such as "OP1 atten" are longer and every
// Linux host we know passes buffers of 64 bytes or more.
constexpr int kHostTextLength = 24;

class AudioEffectX : public AudioEffect {
public:
    using AudioEffect::AudioEffect;

    virtual int32_t processEvents(VstEvents* events) { return 0; }
    virtual bool canParameterBeAutomated(int32_t index) { return true; }
    virtual bool string2parameter(int32_t index, char* text) { return false; }
    virtual bool getProgramNameIndexed(int32_t category, int32_t index, char* text) { return false; }
    virtual bool getInputProperties(int32_t index, VstPinProperties* properties) { return false; }
    virtual bool getOutputProperties(int32_t index, VstPinProperties* properties) { return false; }
    virtual int32_t getPlugCategory() { return kPlugCategUnknown; }
    virtual bool setBypass(bool onOff) { return false; }
    virtual bool getEffectName(char* name) { return false; }
    virtual bool getVendorString(char* text) { return false; }
    virtual bool getProductString(char* text) { return false; }
    virtual int32_t getVendorVersion() { return 0; }
    virtual intptr_t vendorSpecific(int32_t index, intptr_t value, void* ptr, float opt) { return 0; }
    // 1 yes, -1 no, 0 don't know.
    virtual int32_t canDo(const char* text) { return 0; }
    virtual int32_t getTailSize() { return 0; }
    virtual int32_t getVstVersion() { return 2400; }
    virtual bool setProcessPrecision(int32_t precision) { return false; }

    // --- host services ---------------------------------------------------
    // Null when the host does not answer.
    VstTimeInfo* getTimeInfo(int32_t filter);
    // 1 yes, -1 no, 0 don't know.
    int32_t canHostDo(const char* text);
    bool wantEvents(int32_t filter = 1);
    bool updateDisplay();
    bool sizeWindow(int32_t width, int32_t height);
    bool ioChanged();
    // The deprecated pin query answers 0 for "connected", so a host that
    // ignores it reports every pin connected.
    bool isInputConnected(int32_t input);
    bool isOutputConnected(int32_t output);

protected:
    intptr_t dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) override;
};

}  // namespace vst
