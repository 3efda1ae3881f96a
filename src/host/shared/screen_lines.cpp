// The per-line converters: at the end of each ST line of a low or medium
// resolution frame, the line's planar screen memory becomes host pixels with
// its borders, on the shadow path (into the shadow picture) or the direct
// path (into the window picture, skipping unchanged 32-pixel units). Palette
// writes and side-border openings thus show from the line they happen on.
#include <cstring>

#include "host/options.h"
#include "host/shared/screen_depth.h"
#include "host/shared/screen_window.h"
#include "machine/memory.h"
#include "machine/scheduler.h"
#include "machine/shifter.h"

namespace {

// How one ST line lies in its host row(s).
struct LineLayout {
  u32 rowWidth;    // host pixels a row
  u32 strip;       // width of each border strip
  u32 zoomUnits;   // 0, or the fixed number of picture units when zoomed
  u32 unitPixels;  // host pixels a 32-pixel unit covers (64 zoomed)
  u32 unitBytes;   // screen memory bytes a unit
  bool doubled;    // the line fills two host rows
};
constexpr LineLayout low_layout = {384, 32, 0, 32, 16, false};
constexpr LineLayout zoom_layout = {768, 64, 10, 64, 16, true};
constexpr LineLayout medium_layout = {768, 64, 0, 32, 8, true};

template <typename D>
struct LineTarget {
  using Pixel = typename D::Pixel;
  Pixel* row0;
  Pixel* row1;  // the second row of a doubled line, or null
  void fill(u32 x, u32 n, Pixel v) const {
    SCREEN_Fill(row0 + x, n, v);
    if (row1) SCREEN_Fill(row1 + x, n, v);
  }
};

// Returns whether any unit was drawn.
template <typename D, u32 planes>
bool draw_units(const LineLayout& lay, const LineTarget<D>& t, u32 x, u32 units, const u8* src,
                u32 offset, bool direct, bool every) {
  using Pixel = typename D::Pixel;
  Pixel pal[16];
  for (u32 i = 0; i < 16; ++i) pal[i] = Pixel(SCREEN_HostPalette[i]);
  // The copy holds each line's own 160 bytes. A line with open side borders
  // reads on into the next line's first units: those are always drawn and
  // leave the copy to the line they belong to, which would otherwise find
  // them unchanged and skip them.
  const u32 line_end = offset + 160;
  bool drawn = false;
  for (u32 u = 0; u < units; ++u, src += lay.unitBytes, offset += lay.unitBytes, x += lay.unitPixels) {
    if (direct && offset < line_end) {
      u8* prev = SCREEN_PrevVideo + offset;
      if (!every && std::memcmp(prev, src, lay.unitBytes) == 0) continue;
      std::memcpy(prev, src, lay.unitBytes);
    }
    const SCREEN_Unit<planes> unit(src);
    Pixel* out = t.row0 + x;
    if (lay.zoomUnits) {
      for (u32 i = 0; i < 32; ++i) out[2 * i] = out[2 * i + 1] = pal[unit.index[i]];
    } else {
      for (u32 i = 0; i < 32; ++i) out[i] = pal[unit.index[i]];
    }
    if (t.row1) std::memcpy(t.row1 + x, out, lay.unitPixels * sizeof(Pixel));
    drawn = true;
  }
  return drawn;
}

// Draws line L (within the visible lines) of resolution `res`. Returns false
// when the line is not drawn at all.
template <typename D>
bool draw_line(u32 L, u32 res) {
  using Pixel = typename D::Pixel;
  // The visible range comes first: whatever the picture lines say, no row
  // outside it is written.
  if (L < SCREEN_FirstVisibleLine || L > SCREEN_LastVisibleLine) return true;
  const LineLayout& lay = res == 1 ? medium_layout : SCREEN_Zoom ? zoom_layout : low_layout;
  const bool direct = !SCREEN_UseShadow;
  const u32 row = lay.doubled ? 2 * (L - SCREEN_FirstVisibleLine) : L - SCREEN_FirstVisibleLine;
  LineTarget<D> t;
  if (direct) {
    const SCREEN_Surface& pic = SCREEN_WindowPicture;
    if (pic.depth != D::bits || pic.width != lay.rowWidth || pic.height < SCREEN_Height) return false;
    t.row0 = pic.row<Pixel>(row);
    t.row1 = lay.doubled ? pic.row<Pixel>(row + 1) : nullptr;
  } else {
    t.row0 = D::shadow() + size_t(row) * lay.rowWidth;
    t.row1 = lay.doubled ? t.row0 + lay.rowWidth : nullptr;
  }
  const u32 border = SCREEN_HostPalette[0];
  const Pixel bp = Pixel(border);
  const bool borders = (direct ? SCREEN_DirectBorderCache : SCREEN_LineBorderCache)[L] != D::border_value(border);
  const u32 first = SCREEN_FirstLine, count = SCREEN_DisplayLines;
  if (L < first || L - first >= count) {
    if (direct) SCREEN_DirectLineShown[L] = 0;
    if (borders) t.fill(0, lay.rowWidth, bp);
    SCREEN_WindowChanged |= direct && borders;
    return true;
  }
  const u32 start = SHIFTER_LeftBorderOpen ? 0 : lay.strip;
  const u32 end = SHIFTER_RightBorderOpen ? lay.rowWidth : lay.rowWidth - lay.strip;
  const u32 units = lay.zoomUnits ? lay.zoomUnits : (end - start) / lay.unitPixels;
  const u32 offset = 160 * (L - first);
  const u64 source = u64(SCREEN_FrameBase) + offset;
  if (source + units * lay.unitBytes > MMU_RamSize) return false;
  if (start && borders) t.fill(0, start, bp);
  const u8* src = MMU_RamBase + source;
  bool every = SCREEN_RedrawAll || SCREEN_ForceRedraw;
  if (direct) {
    const u32 shown = (offset + 1) | start << 24;
    every |= SCREEN_DirectLineShown[L] != shown;
    SCREEN_DirectLineShown[L] = shown;
  }
  const bool drawn = res == 1 ? draw_units<D, 2>(lay, t, start, units, src, offset, direct, every)
                              : draw_units<D, 4>(lay, t, start, units, src, offset, direct, every);
  if (!SHIFTER_RightBorderOpen && borders) t.fill(start + units * lay.unitPixels, lay.strip, bp);
  SCREEN_WindowChanged |= direct && (drawn || borders);
  return true;
}

template <typename D>
void convert_line(i32 line) {
  if (!MMU_RamBase || u64(SCREEN_FrameBase) + 32000 > MMU_RamSize) return;
  if (SCREEN_FramesSinceDraw < PREFS_FrameSkip + SCHED_AutoSkip) return;
  if (line == 1 && SHIFTER_ChangePending > 0) {
    SHIFTER_ChangePending = 0;
    SCREEN_RedrawAll = 1;
  }
  const u32 L = u32(line);
  if ((SCREEN_FrameDirty || SCREEN_ForceRedraw || SCREEN_RedrawAll) && SHIFTER_Resolution <= 1 &&
      L < SCREEN_BorderCacheLines && draw_line<D>(L, SHIFTER_Resolution)) {
    // A line with an open side border drew picture where a strip lies when
    // the border is closed: the next frame draws its strips again.
    const bool open = SHIFTER_LeftBorderOpen || SHIFTER_RightBorderOpen;
    (SCREEN_UseShadow ? SCREEN_LineBorderCache : SCREEN_DirectBorderCache)[L] =
        open ? SCREEN_BorderUnknown : D::border_value(SCREEN_HostPalette[0]);
  }
  if (line == 312) {
    SCREEN_FlushToWindow();
    SCREEN_FrameDirty = 0;
    SCREEN_FramesSinceDraw = 0;
    SCREEN_RedrawAll = 0;
    SCREEN_ForceRedraw = 0;
  }
}

}  // namespace

void SCREEN_ConvertLine32(i32 line) { convert_line<SCREEN_Depth32>(line); }
void SCREEN_ConvertLine16(i32 line) { convert_line<SCREEN_Depth16>(line); }

void SCREEN_ConvertLine(u32 line) {
  if (SCREEN_HostDepth == 32) SCREEN_ConvertLine32(i32(line));
  if (SCREEN_HostDepth == 16) SCREEN_ConvertLine16(i32(line));
  // The Shifter's side-border detection holds for one line: it starts again
  // at every line end, drawn or not, so what the machine detects does not
  // depend on the host's depth or frame skip.
  SHIFTER_LeftBorderOpen = 0;
  SHIFTER_RightBorderOpen = 0;
  SHIFTER_ResSwitchLog[0] = 601;
  SHIFTER_ResSwitchLog[1] = 603;
  SHIFTER_ResSwitchLog[2] = 788;
  SHIFTER_ResSwitchLog[3] = 418;
}
