// The keyboard ACIA and the keyboard processor: scripted sessions through the
// ACIA registers and the MFP, and a test ROM that talks to both ACIAs with
// interrupts.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "cpu/handler_tables.h"
#include "host/events.h"
#include "host/midi.h"
#include "machine/acia.h"
#include "machine/ikbd.h"
#include "machine/memory.h"
#include "machine/mfp.h"
#include "machine/scheduler.h"
#include "machine/sections.h"
#include "machine/shifter.h"
#include "support/machine_fixture.h"
#include "support/state_section.h"

namespace {

class Ikbd : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_reset_globals();
    IKBD_PowerOn();
    std::memset(EVENTS_KeyMap, 0, sizeof EVENTS_KeyMap);
    EVENTS_CapsLock = 0;
    EVENTS_MouseH = EVENTS_MouseV = 0;
    IKBD_JoyLayout = 1;
    IKBD_SetJoystickKeys();
    SCHED_FrameCycle = 1000;
  }
  void TearDown() override {
    IKBD_PowerOn();
    std::memset(EVENTS_KeyMap, 0, sizeof EVENTS_KeyMap);
    SCHED_FrameCycle = 0;
  }

  static void send(std::initializer_list<u8> bytes) {
    for (u8 b : bytes) MMU_IOPut(0xfffc02, 2, b);
  }
  // Every byte waiting, each read far enough from the last.
  static std::vector<u8> drain() {
    std::vector<u8> out;
    while (IKBD_QueueCount) {
      SCHED_FrameCycle += 1000;
      out.push_back(u8(MMU_IOGet(0xfffc02, 2)));
    }
    return out;
  }
  static void press(u32 code) { EVENTS_KeyMap[code >> 3] |= u8(1 << (code & 7)); }
};

using Bytes = std::vector<u8>;

TEST_F(Ikbd, ResetAnswersExactlyF0AndRaisesTheInterrupt) {
  MFP_IPERB = 0;
  MFP_GPI = 0xff;
  send({0x80, 0x02});  // not a reset
  EXPECT_EQ(IKBD_QueueCount, 0u);
  EXPECT_EQ(MFP_IPERB & 0x40, 0);
  send({0x80, 0x01});
  EXPECT_EQ(IKBD_QueueCount, 1u);
  EXPECT_EQ(MFP_IPERB & 0x40, 0x40);
  EXPECT_EQ(MFP_GPI & 0x10, 0);
  EXPECT_EQ(ACIA_KbdRegs[1] & 0x81, 0x81);
  EXPECT_EQ(IKBD_State.mouseMode, 1u);
  EXPECT_EQ(IKBD_State.joystickMode, 2u);
  EXPECT_EQ(IKBD_State.yOriginTop, 1u);
  EXPECT_EQ(drain(), Bytes{0xf0});
  EXPECT_EQ(MFP_GPI & 0x10, 0x10);
  EXPECT_EQ(MFP_IPERB & 0x40, 0);
  EXPECT_EQ(ACIA_KbdRegs[1] & 0x81, 0);
}

TEST_F(Ikbd, ReReadWindowAndByteSpacing) {
  for (u8 b : {0x11, 0x22, 0x33}) IKBD_QueueByte(b);
  SCHED_FrameCycle = 5000;
  EXPECT_EQ(MMU_IOGet(0xfffc02, 2), 0x11u);
  EXPECT_EQ(SCHED_EventTimes[SCHED_Keyboard], 5500);
  SCHED_FrameCycle = 5100;  // within 100 cycles: the same byte again
  EXPECT_EQ(MMU_IOGet(0xfffc02, 2), 0x11u);
  EXPECT_EQ(IKBD_QueueCount, 2u);
  SCHED_FrameCount += 1;  // the same cycle of another frame takes the next byte
  EXPECT_EQ(MMU_IOGet(0xfffc02, 2), 0x22u);
  // The next interrupt comes 500 cycles on, wrapping at the frame's end.
  SCHED_FrameCycle = 160000;
  EXPECT_EQ(MMU_IOGet(0xfffc02, 2), 0x33u);
  EXPECT_EQ(SCHED_EventTimes[SCHED_Keyboard], SCHED_KeyboardIdle);  // last byte
  for (u8 b : {0x44, 0x55, 0x66, 0x77}) IKBD_QueueByte(b);
  SCHED_FrameCycle = 159000;
  EXPECT_EQ(MMU_IOGet(0xfffc02, 2), 0x44u);
  EXPECT_EQ(SCHED_EventTimes[SCHED_Keyboard], 159500);
  SCHED_FrameCycle = 158901;  // 99 cycles before the last read still repeats it
  EXPECT_EQ(MMU_IOGet(0xfffc02, 2), 0x44u);
  SCHED_FrameCycle = 158899;
  EXPECT_EQ(MMU_IOGet(0xfffc02, 2), 0x55u);
  SCHED_FrameCycle = 160000;
  EXPECT_EQ(MMU_IOGet(0xfffc02, 2), 0x66u);
  EXPECT_EQ(SCHED_EventTimes[SCHED_Keyboard], 160500 - 160256);
  EXPECT_EQ(IKBD_QueueCount, 1u);
}

TEST_F(Ikbd, EmptyReadKeepsTheLastByteAndReleasesTheInterrupt) {
  IKBD_QueueByte(0x5a);
  drain();
  IKBD_QueueByte(0x00);
  IKBD_QueueCount = 0;  // nothing waiting, but the line still asserted
  ACIA_KbdRegs[1] = 0x83;
  MFP_GPI = 0;
  MFP_IPERB = 0x40;
  SCHED_FrameCycle += 1000;
  EXPECT_EQ(MMU_IOGet(0xfffc02, 2), 0x5au);
  EXPECT_EQ(ACIA_KbdRegs[1], 0x02);
  EXPECT_EQ(MFP_GPI & 0x10, 0x10);
  EXPECT_EQ(MFP_IPERB, 0);
  EXPECT_EQ(IKBD_QueueCount, 0u);
}

TEST_F(Ikbd, RegistersByWordAndLongAndMasterReset) {
  ACIA_KbdRegs[1] = 0x80;
  EXPECT_EQ(MMU_IOGet(0xfffc00, 1), 0x8200u);  // status high, nothing low
  testing::internal::CaptureStdout();
  EXPECT_EQ(MMU_IOGet(0xfffc00, 0), 0u);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "ACIA GetL returning 0 ");
  ACIA_KbdRegs[3] = 0x12;
  IKBD_QueueByte(0x99);
  MMU_IOPut(0xfffc00, 2, 0x03);  // master reset leaves the queue alone
  EXPECT_EQ(ACIA_KbdRegs[0], 0);
  EXPECT_EQ(ACIA_KbdRegs[1], 0x83);
  EXPECT_EQ(ACIA_KbdRegs[3], 0);
  EXPECT_EQ(IKBD_QueueCount, 1u);
  MMU_IOPut(0xfffc00, 2, 0x96);
  EXPECT_EQ(ACIA_KbdRegs[0], 0x96);
  // A word write to the data register sends its high byte as a command.
  send({0x08});
  MMU_IOPut(0xfffc02, 1, 0x1200);
  EXPECT_EQ(IKBD_State.mouseMode, 0u);
}

TEST_F(Ikbd, RelativeMotionSplitsIntoPacketsThatNeverOvershoot) {
  send({0x80, 0x01});
  drain();
  IKBD_SendRelativeMouse(300, 0);
  EXPECT_EQ(drain(), (Bytes{0xf8, 127, 0, 0xf8, 127, 0, 0xf8, 46, 0}));
  IKBD_SendRelativeMouse(0, -300);  // Y origin at the top: no flip
  EXPECT_EQ(drain(), (Bytes{0xf8, 0, 0x80, 0xf8, 0, 0x80, 0xf8, 0, u8(-44)}));
  IKBD_SendRelativeMouse(0, 200);
  EXPECT_EQ(drain(), (Bytes{0xf8, 0, 127, 0xf8, 0, 73}));
  // Both axes out of range: each packet carries what is left of each axis.
  IKBD_SendRelativeMouse(300, 200);
  EXPECT_EQ(drain(), (Bytes{0xf8, 127, 127, 0xf8, 127, 73, 0xf8, 46, 0}));
  IKBD_SendRelativeMouse(-129, 5);
  EXPECT_EQ(drain(), (Bytes{0xf8, 0x80, 5, 0xf8, u8(-1), 0}));
  // Y origin at the bottom flips Y; the buttons show in the header.
  send({0x0f});
  IKBD_MouseButton(1, 1);
  drain();
  IKBD_SendRelativeMouse(3, 4);
  EXPECT_EQ(drain(), (Bytes{0xfa, 3, u8(-4)}));
  IKBD_SendRelativeMouse(0, 0);
  EXPECT_EQ(IKBD_QueueCount, 0u);
}

TEST_F(Ikbd, MouseButtonsInRelativeAndKeycodeModes) {
  send({0x80, 0x01});
  drain();
  IKBD_MouseButton(2, 1);
  EXPECT_EQ(drain(), (Bytes{0xf9, 0, 0}));
  IKBD_MouseButton(2, 0);
  EXPECT_EQ(drain(), (Bytes{0xf8, 0, 0}));
  send({0x0a, 5, 7});
  EXPECT_EQ(IKBD_State.mouseMode, 3u);
  EXPECT_EQ(IKBD_State.keycodeDeltaX, 5u);
  EXPECT_EQ(IKBD_State.keycodeDeltaY, 7u);
  send({0x12});  // a command again: mouse off
  EXPECT_EQ(IKBD_State.mouseMode, 0u);
  send({0x0a, 1, 1});
  IKBD_MouseButton(1, 1);
  IKBD_MouseButton(1, 0);
  IKBD_MouseButton(2, 1);
  EXPECT_EQ(drain(), (Bytes{0x74, 0xf4, 0x75}));
  IKBD_MouseButton(3, 1);  // no such button
  EXPECT_EQ(IKBD_QueueCount, 0u);
  send({0x07, 0x04});  // buttons as keys
  EXPECT_EQ(IKBD_State.buttonsAsKeys, 1u);
  send({0x07, 0x03});
  EXPECT_EQ(IKBD_State.buttonsAsKeys, 0u);
  EXPECT_EQ(IKBD_State.buttonAction, 3u);
}

TEST_F(Ikbd, AbsoluteReport) {
  send({0x80, 0x01});
  drain();
  SHIFTER_Resolution = 0;
  EVENTS_MouseH = 400;  // beyond 320 in low resolution
  EVENTS_MouseV = 150;
  IKBD_MouseButton(1, 1);
  drain();
  send({0x0d});
  EXPECT_EQ(IKBD_State.mouseMode, 0x45u);
  EXPECT_EQ(drain(), (Bytes{0xf7, 0x04, 0x01, 0x40, 0x00, 150}));
  // No change since: bit 1 only; Y origin at the bottom.
  send({0x0f});
  EVENTS_MouseH = -5;
  send({0x0d});
  EXPECT_EQ(drain(), (Bytes{0xf7, 0x02, 0, 0, 0, 50}));
  IKBD_MouseButton(1, 0);
  drain();
  SHIFTER_Resolution = 2;
  EVENTS_MouseV = 500;
  send({0x0d});
  EXPECT_EQ(drain(), (Bytes{0xf7, 0x0a, 0, 0, 0, 0}));
}

TEST_F(Ikbd, MemoryLoadSwallowsExactlyItsDataBytes) {
  // Ten data bytes: none of them runs as a command, however many there are.
  send({0x20, 0x12, 0x34, 10});
  send({0x12, 0x12, 0x1a, 0x1a, 0x1a, 0x08, 0x15, 0x16, 0x80, 0x01});
  EXPECT_EQ(IKBD_QueueCount, 0u);
  EXPECT_EQ(IKBD_State.mouseMode, 0u);
  EXPECT_EQ(IKBD_ParamIndex, 0u);
  send({0x08});
  EXPECT_EQ(IKBD_State.mouseMode, 1u);
  // Two data bytes are data too, and the byte after them is a command.
  send({0x20, 0x00, 0x00, 2, 0x12, 0x1a});
  EXPECT_EQ(IKBD_State.mouseMode, 1u);
  send({0x12});
  EXPECT_EQ(IKBD_State.mouseMode, 0u);
  // 255 data bytes stay inside the parameter words.
  send({0x20, 0x00, 0x00, 255});
  for (int i = 0; i < 255; ++i) send({0x08});
  EXPECT_EQ(IKBD_State.mouseMode, 0u);
  send({0x20, 0x00, 0x00, 0, 0x08});
  EXPECT_EQ(IKBD_State.mouseMode, 1u);
}

TEST_F(Ikbd, CommandsAndTheirParameters) {
  send({0x0b, 3, 4});
  EXPECT_EQ(IKBD_State.thresholdX, 3u);
  EXPECT_EQ(IKBD_State.thresholdY, 4u);
  send({0x09, 0x08, 0x08, 0x08, 0x08});  // absolute mode parameters, no action
  EXPECT_EQ(IKBD_State.mouseMode, 0u);
  send({0x19, 1, 2, 3, 4, 5, 6, 0x18});
  EXPECT_EQ(IKBD_State.joystickMode, 1u);
  send({0x10, 0x13});
  EXPECT_EQ(IKBD_State.yOriginTop, 1u);
  EXPECT_EQ(IKBD_State.outputEnabled, 0u);
  send({0x11, 0x1a});
  EXPECT_EQ(IKBD_State.outputEnabled, 1u);
  EXPECT_EQ(IKBD_State.joystickMode, 0u);
  send({0x06, 0x9b, 0xff});  // outside the command range
  EXPECT_EQ(IKBD_QueueCount, 0u);
  EVENTS_VdiTracking = 1;
  send({0x08});
  EXPECT_EQ(EVENTS_VdiTracking, 0u);
}

TEST_F(Ikbd, JoystickReportsFromTheHostKeysInEachLayout) {
  press(58);  // fire of stick 0 in every layout
  press(16);  // layout 1: stick 0 up
  press(41);  // layout 1: stick 1 right
  send({0x16});
  EXPECT_EQ(drain(), (Bytes{0xfd, 0x81, 0x08}));
  EXPECT_EQ(IKBD_JoyState[0], 0x81u);
  EXPECT_EQ(IKBD_JoyState[1], 0x08u);
  IKBD_JoyLayout = 3;
  IKBD_SetJoystickKeys();
  const u32 l3[10] = {58, 59, 126, 31, 125, 37, 123, 40, 41, 124};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(IKBD_JoyKeys[i], l3[i]) << i;
  std::memset(EVENTS_KeyMap, 0, sizeof EVENTS_KeyMap);
  press(59);
  press(123);
  press(37);
  send({0x15});
  EXPECT_EQ(IKBD_State.joystickMode, 3u);
  EXPECT_EQ(drain(), (Bytes{0xfd, 0x02, 0x84}));
  IKBD_JoyLayout = 2;
  IKBD_SetJoystickKeys();
  const u32 l2[10] = {58, 82, 91, 31, 84, 37, 86, 40, 41, 88};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(IKBD_JoyKeys[i], l2[i]) << i;
  IKBD_JoyLayout = 7;  // unknown: the keys stay
  IKBD_SetJoystickKeys();
  EXPECT_EQ(IKBD_JoyKeys[1], 82u);
  const u32 l1[10] = {58, 12, 31, 16, 37, 4, 40, 5, 38, 41};
  IKBD_JoyLayout = 1;
  IKBD_SetJoystickKeys();
  for (int i = 0; i < 10; ++i) EXPECT_EQ(IKBD_JoyKeys[i], l1[i]) << i;
}

TEST_F(Ikbd, KeyTranslation) {
  int mapped = 0;
  for (u32 c = 0; c < 0x80; ++c) mapped += IKBD_MacKeyToScancode(c) >= 0;
  EXPECT_EQ(mapped, 90);
  EXPECT_EQ(IKBD_MacKeyToScancode(0x00), 0x1e);
  EXPECT_EQ(IKBD_MacKeyToScancode(0x24), 0x1c);
  EXPECT_EQ(IKBD_MacKeyToScancode(0x31), 0x39);
  EXPECT_EQ(IKBD_MacKeyToScancode(0x7e), 0x48);
  EXPECT_EQ(IKBD_MacKeyToScancode(0x34), -1);
  EXPECT_EQ(IKBD_MacKeyToScancode(0x7f), -1);
  EXPECT_EQ(IKBD_MacKeyToScancode(0x1234), -1);
  IKBD_PostKey(0x0000, 1);    // A down
  IKBD_PostKey(0x0000, 0);    // A up
  IKBD_PostKey(0x3400, 0);    // an unmapped key's release
  IKBD_PostKey(0x7b00, 1);    // left arrow
  EXPECT_EQ(drain(), (Bytes{0x1e, 0x9e, 0xff, 0x4b}));
  EVENTS_CapsLock = 1;
  IKBD_PostKey(0x0000, 1);
  EXPECT_EQ(IKBD_QueueCount, 0u);
  IKBD_PostKeyAlways(0x0000, 1);
  EXPECT_EQ(drain(), Bytes{0x1e});
  EVENTS_CapsLock = 0;
}

TEST_F(Ikbd, ClockReportsTheHostTimeUntilTheStSetsIt) {
  FakeClock::date[0] = 2026;
  FakeClock::date[1] = 12;
  FakeClock::date[2] = 7;
  FakeClock::date[3] = 5;
  FakeClock::date[4] = 9;
  FakeClock::date[5] = 59;
  send({0x1c});
  EXPECT_EQ(drain(), (Bytes{0xfc, 0x26, 0x12, 0x07, 0x05, 0x09, 0x59}));
  // The time the ST sets, plus the host time since.
  send({0x1b, 0x99, 0x12, 0x31, 0x23, 0x59, 0x50});
  send({0x1c});
  EXPECT_EQ(drain(), (Bytes{0xfc, 0x99, 0x12, 0x31, 0x23, 0x59, 0x50}));
  FakeClock::now += 15'000'000;
  send({0x1c});
  EXPECT_EQ(drain(), (Bytes{0xfc, 0x00, 0x01, 0x01, 0x00, 0x00, 0x05}));
  FakeClock::now += 59ull * 86400 * 1'000'000;  // to 2000-02-29, a leap day
  send({0x1c});
  EXPECT_EQ(drain(), (Bytes{0xfc, 0x00, 0x02, 0x29, 0x00, 0x00, 0x05}));
  // Reset forgets the setting.
  send({0x80, 0x01});
  drain();
  send({0x1c});
  EXPECT_EQ(drain(), (Bytes{0xfc, 0x26, 0x12, 0x07, 0x05, 0x09, 0x59}));
}

TEST_F(Ikbd, FullQueueDropsBytes) {
  for (u32 i = 0; i < IKBD_QueueSize + 10; ++i) IKBD_QueueByte(u8(i));
  EXPECT_EQ(IKBD_QueueCount, IKBD_QueueSize);
  SCHED_FrameCycle += 1000;
  EXPECT_EQ(MMU_IOGet(0xfffc02, 2), 0u);
  SCHED_FrameCycle += 1000;
  EXPECT_EQ(MMU_IOGet(0xfffc02, 2), 1u);
}

TEST_F(Ikbd, SavedSectionRoundTripsAndClampsItsIndexes) {
  send({0x80, 0x01, 0x0a, 5});  // a command waiting for its last parameter
  IKBD_QueueByte(0x42);
  IKBD_Buttons[1] = 1;
  IKBD_JoyState[1] = 0x81;
  const std::vector<u8> image = saved(IKBD_SaveState);
  ASSERT_EQ(image.size(), size_t(IKBD_StateBytes));
  IKBD_PowerOn();
  IKBD_Buttons[1] = 0;
  ASSERT_EQ(restored(image, IKBD_RestoreState), 1u);
  EXPECT_EQ(IKBD_State.mouseMode, 1u);
  EXPECT_EQ(IKBD_State.paramsOutstanding, 1u);
  EXPECT_EQ(IKBD_Buttons[1], 1u);
  EXPECT_EQ(IKBD_JoyState[1], 0x81u);
  send({7});
  EXPECT_EQ(IKBD_State.keycodeDeltaX, 5u);
  EXPECT_EQ(IKBD_State.keycodeDeltaY, 7u);
  EXPECT_EQ(drain(), (Bytes{0xf0, 0x42}));
}

TEST_F(Ikbd, SavedSectionRefusesIndexesOutsideTheirArrays) {
  const std::vector<u8> good = saved(IKBD_SaveState);
  IKBD_State.mouseMode = 3;
  struct Damage {
    size_t at;
    u32 value;
  };
  // Offsets of the words: outstanding 32, parameter index 36, bytes to skip
  // 40, first parameter 64, queue count 16479, queue head 16483.
  for (const Damage d : {Damage{32, 9}, Damage{36, 9}, Damage{36, 0xffffffff}, Damage{40, 256},
                         Damage{64, 0x100}, Damage{16479, 16385}, Damage{16483, 16384}}) {
    std::vector<u8> b = good;
    be_write32(b.data() + d.at, d.value);
    EXPECT_EQ(restored(b, IKBD_RestoreState), 0u) << d.at;
    EXPECT_EQ(IKBD_State.mouseMode, 3u);
  }
  // Index and outstanding parameters together must fit the eight words.
  std::vector<u8> b = good;
  be_write32(b.data() + 32, 5);
  be_write32(b.data() + 36, 4);
  EXPECT_EQ(restored(b, IKBD_RestoreState), 0u);
  be_write32(b.data() + 32, 4);
  EXPECT_EQ(restored(b, IKBD_RestoreState), 1u);
}

TEST_F(Ikbd, SavedClockMustBeADateWhenSet) {
  send({0x1b, 0x99, 0x12, 0x31, 0x23, 0x59, 0x58});
  drain();
  const std::vector<u8> good = saved(IKBD_SaveState);
  // The clock record follows the motion words: year at 16535, then month,
  // day, hour, minute, second, day of the week; the set flag at 16549.
  EXPECT_EQ(be_read16(good.data() + 16535), 1999u);
  for (const size_t at : {16537, 16539, 16541, 16543, 16545}) {
    std::vector<u8> b = good;
    be_write16(b.data() + at, 0xffff);
    EXPECT_EQ(restored(b, IKBD_RestoreState), 0u) << at;
  }
  std::vector<u8> b = good;
  be_write32(b.data() + 16549, 2);
  EXPECT_EQ(restored(b, IKBD_RestoreState), 0u);
  // The clock runs on across a save and a restore (49 s, then 2 s more).
  FakeClock::now += 49'000'000;
  const std::vector<u8> later = saved(IKBD_SaveState);
  FakeClock::now += 3'000'000;
  ASSERT_EQ(restored(later, IKBD_RestoreState), 1u);
  FakeClock::now += 2'000'000;
  send({0x1c});
  EXPECT_EQ(drain(), (Bytes{0xfc, 0x00, 0x01, 0x01, 0x00, 0x00, 0x49}));
  // Never set, the record is zeros and restores as such.
  IKBD_PowerOn();
  EXPECT_EQ(restored(saved(IKBD_SaveState), IKBD_RestoreState), 1u);
  EXPECT_EQ(IKBD_ClockSet, 0u);
}

// ---- MIDI ACIA ----

std::vector<u8> midi_bytes;
void capture_midi(u8 b) { midi_bytes.push_back(b); }

class Midi : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_reset_globals();
    saved_ = QTMIDI_Driver;
    // An open output (a closed one gets its empty operations back whenever
    // the menus are brought up to date) that records what it is sent.
    QTMIDI_Driver.open = 1;
    QTMIDI_Driver.writeByte = capture_midi;
    midi_bytes.clear();
    std::memset(MIDI_Acia, 0, sizeof MIDI_Acia);
    MIDI_RxCount = 0;
  }
  void TearDown() override { QTMIDI_Driver = saved_; }
  QTMIDI_DriverRecord saved_{};
};

TEST_F(Midi, StatusToggleAndMasterReset) {
  MMU_IOPut(0xfffc04, 2, 0x03);
  EXPECT_EQ(MMU_IOGet(0xfffc04, 2), 0x81u);
  EXPECT_EQ(MMU_IOGet(0xfffc04, 2), 0x83u);
  MIDI_Acia[3] = 0x55;
  MMU_IOPut(0xfffc04, 1, 0x0390);  // resets, then 0x90 to 0xfffc05 is ignored
  EXPECT_EQ(MIDI_Acia[0], 0);
  EXPECT_EQ(MIDI_Acia[1], 0x83);
  EXPECT_EQ(MIDI_Acia[3], 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(MMU_IOGet(0xfffc04, 0), 0u);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "midi GetL fffc04 \n");
}

TEST_F(Midi, DataReadWithNothingReceived) {
  MIDI_Acia[3] = 0x21;
  MIDI_Acia[1] = 0x83;
  MFP_IPERB = 0x40;
  MFP_GPI = 0;
  EXPECT_EQ(MMU_IOGet(0xfffc06, 2), 0x21u);
  EXPECT_EQ(MFP_IPERB, 0);
  EXPECT_EQ(MFP_GPI & 0x10, 0x10);
  EXPECT_EQ(MIDI_Acia[1], 0x02);
}

TEST_F(Midi, EveryByteReachesTheDriverOnceInOrder) {
  MMU_IOPut(0xfffc06, 2, 0x90);
  MMU_IOPut(0xfffc06, 1, 0x3c00);      // word write: the low byte goes to 0xfffc07
  MMU_IOPut(0xfffc04, 0, 0x00004000);  // long: control 0, then 0x40 to 0xfffc06
  EXPECT_EQ(midi_bytes, (Bytes{0x90, 0x3c, 0x40}));
  EXPECT_EQ(MIDI_Acia[2], 0x40);
}

TEST_F(Midi, SavedSectionRoundTrips) {
  MIDI_Acia[1] = 0x83;
  MIDI_RxRing[5] = 0x77;
  MIDI_RxIndex = 6;
  MIDI_RxCount = 1;
  const std::vector<u8> b = saved(MIDI_SaveState);
  ASSERT_EQ(b.size(), size_t(MIDI_StateBytes));
  MIDI_Acia[1] = 0;
  MIDI_RxRing[5] = 0;
  MIDI_RxIndex = 0;
  MIDI_RxCount = 0;
  ASSERT_EQ(restored(b, MIDI_RestoreState), 1u);
  EXPECT_EQ(MIDI_Acia[1], 0x83);
  EXPECT_EQ(MIDI_RxRing[5], 0x77);
  EXPECT_EQ(MIDI_RxIndex, 6u);
  EXPECT_EQ(MIDI_RxCount, 1u);
  // Count and index address the ring: out of range, the section is refused.
  std::vector<u8> bad = b;
  be_write32(bad.data() + 16387, 16385);
  EXPECT_EQ(restored(bad, MIDI_RestoreState), 0u);
  bad = b;
  be_write32(bad.data() + 16391, 16384);
  EXPECT_EQ(restored(bad, MIDI_RestoreState), 0u);
  EXPECT_EQ(MIDI_RxIndex, 6u);
}

// ---- A test ROM talking to both ACIAs ----

class IkbdRom : public Midi {
 protected:
  TempFolder folder;
  static bool handlers_present() { return m68k_handler_table_complete[4]; }
  static std::vector<u8> received() {
    std::vector<u8> out;
    const u32 n = MMU_ReadL(0x900);
    for (u32 i = 0; i < n && i < 256; ++i) out.push_back(u8(MMU_ReadB(0x1000 + i)));
    return out;
  }
  void run(u32 frames) {
    testing::internal::CaptureStdout();
    machine_run_frames(frames);
    testing::internal::GetCapturedStdout();
  }
};

u32 first_poll;
Bytes at_poll_five;
// Host mouse motion in the fifth frame, after the ROM's session.
void move_mouse_in_frame_five(u32 poll) {
  if (poll - first_poll != 4) return;
  at_poll_five.clear();
  const u32 n = MMU_ReadL(0x900);
  for (u32 i = 0; i < n && i < 256; ++i) at_poll_five.push_back(u8(MMU_ReadB(0x1000 + i)));
  IKBD_SendRelativeMouse(300, 200);
}

TEST_F(IkbdRom, ScriptedSessionThroughTheAciasAndTheMfp) {
  if (!handlers_present()) GTEST_SKIP() << "needs the 68000 instruction handlers";
  folder.write("tos.img", load_test_rom("ikbd_session"));
  machine_start(folder.path());
  IKBD_PowerOn();
  first_poll = EVENTS_PollCount;
  EVENTS_ScriptHook = move_mouse_in_frame_five;
  run(8);
  EVENTS_ScriptHook = nullptr;
  ASSERT_EQ(MMU_ReadL(0x818), 0x600du) << "the ROM did not send its commands";
  EXPECT_EQ(MMU_ReadB(0x908), 0x81u);
  EXPECT_EQ(MMU_ReadB(0x909), 0x83u);
  EXPECT_EQ(midi_bytes, (Bytes{0x90, 0x3c, 0x64}));
  EXPECT_EQ(at_poll_five, (Bytes{0xf0, 0xfc, 0x99, 0x12, 0x31, 0x23, 0x59, 0x50, 0xfd, 0, 0}));
  // The motion reaches the ST a byte per interrupt.
  const Bytes all = received();
  ASSERT_EQ(all.size(), 20u);
  EXPECT_EQ(Bytes(all.begin() + 11, all.end()),
            (Bytes{0xf8, 127, 127, 0xf8, 127, 73, 0xf8, 46, 0}));
  EXPECT_EQ(IKBD_QueueCount, 0u);
  EXPECT_EQ(SCHED_EventTimes[SCHED_Keyboard], SCHED_KeyboardIdle);
  EXPECT_GE(MMU_ReadL(0x904), 20u);
}

}  // namespace
