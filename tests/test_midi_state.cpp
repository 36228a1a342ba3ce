// The MIDI state on its own: what notes, bend, pressure and controller
// messages leave for the modulation sources.

#include <gtest/gtest.h>

#include "engine/MidiState.h"

using vh::MidiState;

namespace {

enum NoteSource { kNoteOn, kNoteNumber, kNoteFreq, kPitchBend, kVelocity, kAftertouch, kChannelPressure };

bool send(MidiState& midi, int status, int data1, int data2) {
    const unsigned char message[3] = {static_cast<unsigned char>(status), static_cast<unsigned char>(data1),
                                      static_cast<unsigned char>(data2)};
    int controller = -1, value = -1;
    return midi.apply(message, controller, value);
}

float source(const MidiState& midi, NoteSource s) { return *midi.noteSource(s); }

TEST(MidiState, ReleasingTheLastOfTwoNotesKeepsTheHeldOne) {
    MidiState midi;
    send(midi, 0x90, 60, 100);
    send(midi, 0x91, 64, 50);  // any channel
    send(midi, 0x80, 64, 0);
    EXPECT_EQ(source(midi, kNoteOn), 1.0f);
    EXPECT_FLOAT_EQ(source(midi, kNoteNumber), 64 / 127.0f);
    EXPECT_FLOAT_EQ(source(midi, kVelocity), 50 / 127.0f);
    send(midi, 0x90, 60, 0);  // velocity 0 releases
    EXPECT_EQ(source(midi, kNoteOn), 0.0f);
    EXPECT_EQ(source(midi, kVelocity), 0.0f);
    EXPECT_FLOAT_EQ(source(midi, kNoteNumber), 64 / 127.0f);  // kept after release
}

TEST(MidiState, BendPressureAndResetValues) {
    MidiState midi;
    EXPECT_FLOAT_EQ(source(midi, kNoteNumber), 45 / 127.0f);
    EXPECT_FLOAT_EQ(source(midi, kNoteFreq), 0.375f);
    send(midi, 0xE0, 0, 64);
    EXPECT_EQ(source(midi, kPitchBend), 0.0f);
    send(midi, 0xE0, 0, 0);
    EXPECT_EQ(source(midi, kPitchBend), -1.0f);
    send(midi, 0x90, 50, 90);
    send(midi, 0xA0, 49, 127);  // not the last note: ignored
    EXPECT_EQ(source(midi, kAftertouch), 0.0f);
    send(midi, 0xA0, 50, 127);
    EXPECT_EQ(source(midi, kAftertouch), 1.0f);
    send(midi, 0xD0, 127, 0);
    EXPECT_EQ(source(midi, kChannelPressure), 1.0f);
    midi.reset();
    EXPECT_EQ(source(midi, kNoteOn), 0.0f);
    EXPECT_EQ(source(midi, kPitchBend), 0.0f);
    EXPECT_FLOAT_EQ(source(midi, kNoteNumber), 45 / 127.0f);
}

TEST(MidiState, ControllerMessagesAreHandedBackNotStored) {
    MidiState midi;
    const unsigned char message[3] = {0xB3, 7, 127};
    int controller = -1, value = -1;
    EXPECT_TRUE(midi.apply(message, controller, value));
    EXPECT_EQ(controller, 7);
    EXPECT_EQ(value, 127);
    EXPECT_EQ(*midi.controllerValue(7), 0.0f);
    midi.setController(7, 1.0f);
    EXPECT_EQ(*midi.controllerValue(7), 1.0f);
    EXPECT_FALSE(send(midi, 0xC0, 5, 0));  // program change: ignored
    EXPECT_EQ(*midi.controllerValue(MidiState::kNumControllers - 1), 0.0f);
}

}  // namespace
