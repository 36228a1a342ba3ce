#pragma once
// The two module families. Every operator and modulator derives from one of
// them; the engine drives them only through these operations, in this order
// of a module's life: parameters, control tick (update), per sample
// (processSample), reset and sample-rate handling.

#include <atomic>
#include <type_traits>

#include "modules/Conversions.h"
#include "modules/ParameterLayout.h"
#include "modules/PlotSource.h"
#include "modules/Published.h"
#include "modules/ParameterTable.h"

namespace vh {

// What a module may ask of whoever owns it. The engine implements it; tests
// can implement it to watch the edits a module sends.
class ModuleHost {
public:
    virtual ~ModuleHost() = default;
    // An edit made by the module's own controls: the host is told and the
    // value comes back through the engine's setParameter.
    virtual void automateParameter(int globalIndex, float value) = 0;
    // A value a module derives for another of its own parameters (a rate
    // converted when its unit switch changes): stored like any edit, but not
    // announced to the host as an automation gesture.
    virtual void setParameterPlain(int /*globalIndex*/, float /*value*/) {}
    // A control of the module was pressed (used to finish a modulation-cord
    // assignment in the editor).
    virtual void moduleControlClicked(int /*globalIndex*/) {}
};

// Operations and state common to both families; Capacity is the number of
// parameter slots (16 for operators, 38 for modulators). The parameter
// operations answer from the module's table; a module overrides one only
// for the texts its table cannot give.
template <int Capacity>
class ModuleCore : public PlotSource {
public:
    static constexpr int kCapacity = Capacity;

    ModuleCore(int slot, ModuleHost* owner, ParameterTable table = {})
        : mSlot(slot), mOwner(owner), mTable(table) {
        for (int i = 0; i < Capacity; ++i) mBase[i] = mModL[i] = mModR[i] = 0.0f;
    }
    virtual ~ModuleCore() = default;
    ModuleCore(const ModuleCore&) = delete;
    ModuleCore& operator=(const ModuleCore&) = delete;

    // --- control tick -----------------------------------------------------
    virtual void setTempo(float /*bpm*/) {}
    // Virtual because a module may map its modulation on the way in (the
    // delay scales time modulation to milliseconds and adds it to tempo-derived
    // times); the engine calls these through the family base.
    virtual void resetModulation() {
        for (int i = 0; i < Capacity; ++i) mModL[i] = mModR[i] = mBase[i];
    }
    virtual void addModulation(int index, float left, float right) {
        if (index < 0 || index >= Capacity) return;
        mModL[index] += left;
        mModR[index] += right;
    }
    void clampModulation(int index) {
        if (index < 0 || index >= Capacity) return;
        mModL[index] = clampUnit(mModL[index]);
        mModR[index] = clampUnit(mModR[index]);
    }
    // After the tick's modulation: the values a plot shows under "modulation
    // preview", published for the editor only while a preview is on.
    void publishModulation() {
        if (mPreviewMode == 0) return;
        for (int i = 0; i < Capacity; ++i) {
            publish(mShownL[i], mModL[i]);
            publish(mShownR[i], mModR[i]);
        }
    }
    // Turns the modulated values into targets and increments.
    virtual void update() = 0;
    // Every smoothed quantity jumps to its target.
    virtual void resetSmoothing() {}
    virtual bool isModulatable(int index) {
        const ParameterInfo* row = mTable.row(index);
        return row && row->modulatable;
    }
    virtual void setModulationPreview(int mode) {
        publish(mPreviewMode, mode);
        for (int i = 0; i < Capacity; ++i) {
            publish(mShownL[i], mBase[i]);
            publish(mShownR[i], mBase[i]);
        }
        if (mode == 0)
            for (int i = 0; i < Capacity; ++i) setParameter(i, mBase[i]);
    }
    virtual void getTypeName(char* out) = 0;

    // --- set-up and reset -------------------------------------------------
    virtual void setSampleRate(float rate) {
        mSampleRate = rate;
        mRampFactor = kRampFactor;
        resetModulation();
        update();
        resetSmoothing();
    }
    // Host suspend: forget phases, histories and detector memories.
    virtual void clearState() {}

    // --- parameters ---------------------------------------------------------
    virtual void setParameter(int index, float value) {
        if (index < 0 || index >= Capacity) return;
        publish(mBase[index], value);
    }
    float getParameter(int index) const { return (index >= 0 && index < Capacity) ? baseValue(index) : 0.0f; }
    virtual float getParameterDefault(int index) {
        const ParameterInfo* row = mTable.row(index);
        return row ? row->defaultValue : 0.0f;
    }
    virtual int getNumParameters() { return mTable.count; }
    virtual void getParameterName(int index, char* out) {
        const ParameterInfo* row = mTable.row(index);
        copyText(out, kTextSize, row ? row->name : "---");
    }
    virtual void getParameterLabel(int index, char* out) {
        const ParameterInfo* row = mTable.row(index);
        bool shown = row && (row->textSwitch < 0 || editorMode(index) == 0);
        copyText(out, kTextSize, shown ? row->label : "");
    }
    // Host text of the base value, without the unit.
    virtual void getParameterDisplay(int index, char* out) {
        const ParameterInfo* row = mTable.row(index);
        if (!row)
            copyText(out, kTextSize, mTable.missingDisplay);
        else if (!tableHostText(*row, baseValue(index), out))
            out[0] = 0;
    }

    // --- editor-facing descriptors ---------------------------------------
    // Long title of the parameter's control ("attenuation"); empty by default.
    virtual void getParameterTitle(int index, char* out) {
        const ParameterInfo* row = mTable.row(index);
        copyText(out, kTextSize, row ? row->title : "");
    }
    // Native value with its unit, as the editor shows it. `mode` selects the
    // second display of controls that have two (tempo or time, Hz or rhythm).
    virtual void formatEditorValue(int index, float value, char* out, int /*mode*/ = 0) {
        const ParameterInfo* row = mTable.row(index);
        if (!row)
            out[0] = 0;
        else if (!tableEditorText(*row, value, out))
            getParameterDisplay(index, out);
    }
    // Typed text to a normalised value; false when the text means nothing.
    virtual bool parseEditorValue(int index, const char* text, float& value, int /*mode*/ = 0) {
        const ParameterInfo* row = mTable.row(index);
        return row && tableParse(*row, text, value);
    }
    // Number of items of a list parameter (chosen from, not dialled); 0 for
    // a continuous one.
    virtual int getParameterSteps(int index) {
        const ParameterInfo* row = mTable.row(index);
        return row ? row->steps : 0;
    }
    // How many of those items, from the first, the editor offers: a list may
    // keep states that stored values can hold but nobody should pick.
    virtual int getParameterChoices(int index) {
        const ParameterInfo* row = mTable.row(index);
        return row && row->choices > 0 ? row->choices : getParameterSteps(index);
    }
    // Local index of the switch whose item selects the unit this parameter's
    // editor text is written and read in (a rate in hertz or as a note
    // length, a ratio of compression or of expansion); -1 when the text
    // stands alone. The editor re-reads such a text whenever the switch moves.
    virtual int getParameterTextSwitch(int index) {
        const ParameterInfo* row = mTable.row(index);
        return row ? row->textSwitch : -1;
    }
    // The `mode` formatEditorValue and parseEditorValue take for the
    // parameter now: the item its switch holds, 0 without a switch.
    int editorMode(int index) {
        int k = getParameterTextSwitch(index);
        if (k < 0 || k >= Capacity) return 0;
        int steps = getParameterSteps(k);
        return discreteIndex(baseValue(k), steps > 0 ? steps : 2);
    }
    // A control of the module's panel was edited (value already normalised).
    // Modules whose controls convert other parameters override this.
    virtual void valueChanged(int localIndex, float value) {
        if (mOwner) mOwner->automateParameter(globalIndex(localIndex), value);
    }
    virtual int globalIndex(int localIndex) const = 0;

    // Editing and highlight flags, set by the module's controls.
    void setEditing(bool editing) { mEditing = editing; }
    bool isEditing() const { return mEditing; }
    void setDestinationHighlight(bool on) { mDestinationHighlight = on; }
    bool isDestinationTag(int tag) {
        if (!mDestinationHighlight) return false;
        return isModulatable(tag - globalIndex(0));
    }

    int slot() const { return mSlot; }
    float sampleRate() const { return mSampleRate; }
    int previewMode() const {
        return observe(mPreviewMode);
    }
    float modulatedLeft(int index) const { return mModL[index]; }
    float modulatedRight(int index) const { return mModR[index]; }

    // --- what the editor's plot shows ------------------------------------
    int plotValues(float* out) const override {
        // While a control is being dragged the plot follows the hand, not
        // the modulation.
        const int preview = previewMode();
        const float* from = mEditing || preview == 0 ? mBase : preview == 1 ? mShownL : mShownR;
        for (int i = 0; i < Capacity; ++i) out[i] = observe(from[i]);
        return Capacity;
    }
    float plotSampleRate() const override { return mSampleRate; }

protected:
    // Base and modulated values are written on the audio thread and read for
    // texts and plots on others.
    float baseValue(int index) const { return observe(mBase[index]); }

    float mRampFactor = kRampFactor;
    float mSampleRate = 44100.0f;
    int mPreviewMode = 0;
    float mBase[Capacity];
    float mModL[Capacity];
    float mModR[Capacity];
    float mShownL[Capacity] = {};
    float mShownR[Capacity] = {};
    int mSlot;
    bool mEditing = false;
    ModuleHost* mOwner;
    bool mDestinationHighlight = false;
    ParameterTable mTable;
};

// An audio effect in one of the four operator slots: transforms a stereo
// sample pair in place.
class Operator : public ModuleCore<kOperatorParams> {
public:
    using ModuleCore<kOperatorParams>::ModuleCore;
    virtual void processSample(float* left, float* right) = 0;
    virtual void getDestinationName(int index, char* out) { getParameterName(index, out); }
    // The engine's tap arrays for this sample (7 floats per channel). Called
    // only for modules whose readsTaps() says they use them.
    virtual void setInputs(const float* /*left*/, const float* /*right*/) {}
    virtual bool readsTaps() const { return false; }
    int globalIndex(int localIndex) const override { return param::opParam(mSlot, localIndex); }
    // Whether processSample would now leave every pair exactly as it is (a
    // unity gain at rest): the engine then skips the call. A module that
    // sets it keeps it true only while that holds bit for bit.
    bool passesThrough() const { return mPassesThrough; }

protected:
    bool mPassesThrough = false;
};

// A modulation source in one of the four modulator slots: writes a stereo
// pair of control values per sample.
class Modulator : public ModuleCore<kModulatorParams> {
public:
    using ModuleCore<kModulatorParams>::ModuleCore;
    virtual void processSample(float* outLeft, float* outRight) = 0;
    // As for operators: setInputs is called only when readsTaps() is true.
    virtual void setInputs(const float* /*left*/, const float* /*right*/) {}
    virtual bool readsTaps() const { return false; }
    // A modulator that always writes 0 (an unused slot) need not be run.
    virtual bool isSilent() const { return false; }
    // Host musical position in quarter notes, once per block.
    virtual void setSongPosition(float /*ppq*/) {}
    virtual void getDestinationName(int index, char* out) { getParameterName(index, out); }
    int globalIndex(int localIndex) const override { return param::modParam(mSlot, localIndex); }
};

// Code written once for both module families picks its side by these.
template <class M>
constexpr bool kIsOperator = std::is_same_v<M, Operator>;
// Of a pair of things kept for each family, the one of family M.
template <class M, class ForOperators, class ForModulators>
constexpr auto& byFamily(ForOperators& operators, ForModulators& modulators) {
    static_assert(kIsOperator<M> || std::is_same_v<M, Modulator>);
    if constexpr (kIsOperator<M>)
        return operators;
    else
        return modulators;
}

// Indices of the tap arrays handed to setInputs.
enum TapIndex {
    kTapInput = 0,
    kTapOp1 = 1,
    kTapWetSum = 5,
    kTapSideChain = 6,
    kNumTaps = 7,
};

}  // namespace vh
