// The screen record's saved-state section (84 bytes) and its part of the
// extension.
#include "host/screen.h"
#include "machine/memory.h"
#include "machine/scheduler.h"
#include "machine/sections.h"
#include "machine/shifter.h"

namespace {
constexpr u32 normal_bytes = 32000, big_bytes = 128000;
constexpr i32 lines_per_frame = SCHED_CyclesPerFrame / SCHED_CyclesPerLine;
}  // namespace

void SCREEN_SaveState(StateWriter& w) {
  w.u32v(SCREEN_BigScreen);
  for (u32 p : SCREEN_HostPalette) w.u32v(p);
  w.u32v(SCREEN_FrameBase);
  w.u32v(SHIFTER_LoadBase);
  w.i32v(SCHED_LineCounter);
  w.u32v(SCREEN_FrameBytes);
}

bool SCREEN_RestoreState(StateReader& r) {
  const u32 big = r.u32v();
  r.skip(16 * 4);  // host pixel values: they belong to the host that wrote them
  const u32 base = r.u32v(), load = r.u32v();
  const i32 line = r.i32v();
  const u32 bytes = r.u32v();
  if (!r.ok() || big > 1) return false;
  if (bytes != (big ? big_bytes : normal_bytes)) return false;
  // Both bases come from the video base registers, which hold any high and
  // middle byte: the picture may lie past the end of RAM, and whatever shows
  // it reads zeros there.
  for (u32 b : {base, load})
    if (b > 0xffff00 || (b & 0xff)) return false;
  if (line < 1 || line > lines_per_frame + 1) return false;
  if (!r.applying()) return true;
  SCREEN_BigScreen = big;
  SCREEN_FrameBase = base;
  SHIFTER_LoadBase = load;
  SCHED_LineCounter = line;
  SCREEN_FrameBytes = bytes;
  SCREEN_UpdatePalette();
  SCREEN_ForceRedraw = 1;
  SCREEN_OpenWindow();
  return true;
}

// The frames since the picture was presented, and the drive light's count
// of presentations: the light's timeout reads the floppy's motor as stopped.
void SCREEN_SaveExtension(StateWriter& w) {
  w.u32v(SCREEN_FramesSinceDraw);
  w.u32v(SCREEN_DriveLightOn);
  w.u32v(SCREEN_DriveLightFrames);
}

bool SCREEN_RestoreExtension(StateReader& r) {
  const u32 since = r.u32v(), on = r.u32v(), frames = r.u32v();
  if (!r.ok() || on > 1 || frames > 5) return false;
  if (!r.applying()) return true;
  SCREEN_FramesSinceDraw = since;
  SCREEN_DriveLightOn = on;
  SCREEN_DriveLightFrames = frames;
  return true;
}
