#pragma once
// What incoming MIDI leaves behind for the modulation sources: the held
// notes, the note, velocity, bend and pressure values, and the last value of
// every controller. All channels count alike.

namespace vh {

class MidiState {
public:
    // Controllers 0..127, and 128, which no message reaches and stays 0.
    static constexpr int kNumControllers = 129;
    // The note sources in the order of the source list: note on, note
    // number, note frequency, pitch bend, velocity, aftertouch, channel pressure.
    static constexpr int kNumNoteSources = 7;

    MidiState() { reset(); }
    // The state after a suspend: no note held, the last note 45 (A2).
    void reset();

    // Applies one channel message (status 0x80..0xEF). A controller message
    // only answers true with its number and value: storing it and what it
    // drives (learning, assigned knobs) is the engine's business.
    bool apply(const unsigned char* midiData, int& controller, int& value);
    void setController(int controller, float value) { mControllers[controller] = value; }

    // Where the modulation sources read; stable for the object's life.
    const float* controllerValue(int controller) const { return &mControllers[controller]; }
    const float* noteSource(int i) const;

private:
    bool mNoteHeld[128];
    int mHeldCount;
    int mLastNote;
    float mNoteOn, mNoteNumber, mNoteFreq;
    float mPitchBend, mVelocity, mAftertouch, mChannelPressure;
    float mControllers[kNumControllers];
};

}  // namespace vh
