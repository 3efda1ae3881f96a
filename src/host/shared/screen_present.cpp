// Frame presentation: the end of a line-converted frame (the shadow picture
// copied into the window picture), the whole-frame converters of the
// monochrome and big-screen pictures, the pause veil, the drive lights'
// timeout, and the host showing the window.
#include <cstring>

#include "host/events.h"
#include "host/shared/screen_depth.h"
#include "host/shared/screen_host.h"
#include "host/shared/screen_window.h"
#include "machine/fdc.h"
#include "machine/memory.h"
#include "machine/shifter.h"

namespace {

// Runs at every presentation: a lit light goes off at the sixth one after it
// was last set, and the floppy motor reads as stopped meanwhile.
void drive_light_timeout() {
  if (!SCREEN_DriveLightOn) return;
  FDC_Regs[FDC_Status] &= ~0x80u;
  if (SCREEN_DriveLightFrames++ > 4) {
    SCREEN_DriveLightOn = 0;
    SCREEN_DriveLightFrames = 0;
    for (u32 i = 0; i < 3; ++i) SCREEN_SetDriveLight(i, 3);
  }
}

bool frame_in_ram(u32 bytes) {
  return MMU_RamBase && SCREEN_FrameBase > 0 && u64(SCREEN_FrameBase) + bytes <= MMU_RamSize;
}

template <typename D>
void copy_shadow(u32 width, u32 rows) {
  using Pixel = typename D::Pixel;
  SCREEN_Surface& pic = SCREEN_WindowPicture;
  if (pic.depth != D::bits || pic.width != width || pic.height < rows) return;
  for (u32 y = 0; y < rows; ++y)
    std::memcpy(pic.row<Pixel>(y), D::shadow() + size_t(y) * width, width * sizeof(Pixel));
  SCREEN_WindowChanged = 1;
  SCREEN_ForgetDirectFrame();
}

// The whole-frame converters. Mode 2 is one plane, 32 pixels a 4-byte unit;
// mode 3 (the big screen) four planes, 32 pixels a 16-byte unit, 20 units a
// row either way.
template <typename D, u32 mode>
void draw_whole(bool direct) {
  using Pixel = typename D::Pixel;
  constexpr u32 unit_bytes = mode == 2 ? 4 : 16;
  SCREEN_Surface& target = direct ? SCREEN_WindowPicture : SCREEN_Offscreen;
  if (target.depth != D::bits || target.width != 640 || target.height < 400) return;
  auto& pixels = D::pixels();
  if (mode == 2) {
    const bool black_ink = SCREEN_MonoInkIsBlack(SHIFTER_Palette[0]);
    pixels.follow_mono(black_ink ? D::white : 0, black_ink ? 0 : D::white);
  } else {
    pixels.follow(SCREEN_HostPalette);
  }
  // The 16-bit converter skips monochrome units like the big screen's.
  const bool every = (mode == 3 || D::bits == 16 ? SCREEN_RedrawAll || SCREEN_ForceRedraw
                                                 : SCREEN_ForceRedraw || SHIFTER_ChangePending) ||
                     SCREEN_DirectCopyStale;
  const u8* src = MMU_RamBase + SCREEN_FrameBase;
  u32 offset = 0;
  for (u32 y = 0; y < 400; ++y) {
    // A row whose bytes all match the copy is skipped at once.
    if (direct && !every && std::memcmp(SCREEN_PrevVideo + offset, src, 20 * unit_bytes) == 0) {
      src += 20 * unit_bytes;
      offset += 20 * unit_bytes;
      continue;
    }
    Pixel* out = target.row<Pixel>(y);
    for (u32 u = 0; u < 20; ++u, src += unit_bytes, offset += unit_bytes, out += 32) {
      if (direct && SCREEN_SkipUnit<unit_bytes>(SCREEN_PrevVideo + offset, src, every)) continue;
      if (mode == 2) {
        for (u32 b = 0; b < 4; ++b)
          std::memcpy(out + 8 * b, pixels.mono[src[b]], sizeof pixels.mono[0]);
      } else {
        SCREEN_DrawGroup<4, false, false>(pixels, src, out, nullptr);
        SCREEN_DrawGroup<4, false, false>(pixels, src + 8, out + 16, nullptr);
      }
    }
  }
  if (direct) {
    SCREEN_DirectCopyStale = 0;
  } else {
    for (u32 y = 0; y < 400; ++y)
      std::memcpy(SCREEN_WindowPicture.row<Pixel>(y), target.row<Pixel>(y), 640 * sizeof(Pixel));
    SCREEN_ForgetDirectFrame();
  }
  SCREEN_WindowChanged = 1;
}

template <typename D>
void redraw_frame() {
  u32 mode = SHIFTER_Resolution;
  SCREEN_FrameBytes = 32000;
  if (SCREEN_BigScreen) {
    SCREEN_FrameBytes = 128000;
    mode = 3;
  }
  drive_light_timeout();
  const bool dirty = D::bits == 16 ? SCREEN_FrameDirty || SCREEN_ForceRedraw || SHIFTER_ChangePending
                                   : SCREEN_FrameDirty || SCREEN_ForceRedraw || SCREEN_RedrawAll;
  if (frame_in_ram(SCREEN_FrameBytes) && dirty) {
    if (D::bits == 16) SCREEN_UpdatePalette();
    if (mode == 2) draw_whole<D, 2>(!SCREEN_UseShadow);
    if (mode == 3) draw_whole<D, 3>(!SCREEN_UseShadow);
  }
  SHIFTER_ChangePending = 0;
  SCREEN_FrameDirty = 0;
  SCREEN_ForceRedraw = 0;
  if (D::bits == 32) SCREEN_VideoWritten = 0;
}

// The grey veil of a paused emulation: every other pixel black, in a
// checkerboard over the whole window.
template <typename D>
void veil() {
  using Pixel = typename D::Pixel;
  SCREEN_Surface& pic = SCREEN_WindowPicture;
  for (u32 y = 0; y < pic.height; ++y) {
    Pixel* row = pic.row<Pixel>(y);
    for (u32 x = y & 1; x < pic.width; x += 2) row[x] = 0;
  }
  SCREEN_WindowChanged = 1;
  SCREEN_ForgetDirectFrame();
}

}  // namespace

u32 SCREEN_DriveLightOn, SCREEN_DriveLightFrames;

void SCREEN_ShowWindow() {
  SCREEN_HostShow(SCREEN_WindowPicture, SCREEN_WindowChanged);
  SCREEN_WindowChanged = 0;
}

void SCREEN_FlushToWindow() {
  drive_light_timeout();
  if (SCREEN_UseShadow && frame_in_ram(32000) &&
      (SCREEN_RedrawAll || SCREEN_FrameDirty || SCREEN_ForceRedraw)) {
    const bool small = SCREEN_Zoom == 0 && SHIFTER_Mode == 0;
    const u32 width = small ? 384 : 768, rows = small ? 267 : 534;
    if (SCREEN_HostDepth == 32) copy_shadow<SCREEN_Depth32>(width, rows);
    if (SCREEN_HostDepth == 16) copy_shadow<SCREEN_Depth16>(width, rows);
  }
  SCREEN_ShowWindow();
}

void SCREEN_RedrawFrame32() { redraw_frame<SCREEN_Depth32>(); }
void SCREEN_RedrawFrame16() { redraw_frame<SCREEN_Depth16>(); }

void SCREEN_Present() {
  if (SCREEN_HostDepth == 32) SCREEN_RedrawFrame32();
  if (SCREEN_HostDepth == 16) SCREEN_RedrawFrame16();
  if (EVENTS_Paused && SCREEN_WindowPicture.depth == SCREEN_HostDepth) {
    if (SCREEN_HostDepth == 32) veil<SCREEN_Depth32>();
    if (SCREEN_HostDepth == 16) veil<SCREEN_Depth16>();
  }
  ++SCREEN_PresentCount;
  SCREEN_ShowWindow();
}
