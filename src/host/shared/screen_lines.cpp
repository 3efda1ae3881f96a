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
  u32 planes;      // words a 16-pixel group
  bool doubled;    // the line fills two host rows
  // Host pixels a 32-pixel unit covers, and its screen memory bytes.
  constexpr u32 unitPixels() const { return zoomUnits ? 64 : 32; }
  constexpr u32 unitBytes() const { return 4 * planes; }
};
constexpr LineLayout low_layout = {384, 32, 0, 4, false};
constexpr LineLayout zoom_layout = {768, 64, 10, 4, true};
constexpr LineLayout medium_layout = {768, 64, 0, 2, true};

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
template <typename D, LineLayout lay>
bool draw_units(const LineTarget<D>& t, u32 x, u32 units, const u8* src, u32 offset, bool direct,
                bool every) {
  constexpr u32 unit_bytes = lay.unitBytes(), group_pixels = lay.unitPixels() / 2;
  auto& pixels = D::pixels();
  pixels.follow(SCREEN_HostPalette);
  // The copy holds each line's own 160 bytes (every layout draws at least
  // those), which are skipped at once when they all match it. A line with
  // open side borders reads on into the next line's first units: those are
  // always drawn and leave the copy to the line they belong to, which would
  // otherwise find them unchanged and skip them.
  constexpr u32 own_units = 160 / unit_bytes;
  u32 u = 0;
  if (direct && !every && std::memcmp(SCREEN_PrevVideo + offset, src, 160) == 0) u = own_units;
  bool drawn = false;
  for (; u < units; ++u) {
    const u8* s = src + u * unit_bytes;
    if (direct && u < own_units &&
        SCREEN_SkipUnit<unit_bytes>(SCREEN_PrevVideo + offset + u * unit_bytes, s, every))
      continue;
    for (u32 g = 0; g < 2; ++g) {
      const u32 at = x + u * lay.unitPixels() + g * group_pixels;
      SCREEN_DrawGroup<lay.planes, lay.zoomUnits != 0, lay.doubled>(
          pixels, s + g * 2 * lay.planes, t.row0 + at, lay.doubled ? t.row1 + at : nullptr);
    }
    drawn = true;
  }
  return drawn;
}

// Draws line L (within the visible lines) in layout `lay`. Returns false
// when the line is not drawn at all.
template <typename D, LineLayout lay>
bool draw_line(u32 L) {
  using Pixel = typename D::Pixel;
  // The visible range comes first: whatever the picture lines say, no row
  // outside it is written.
  if (L < SCREEN_FirstVisibleLine || L > SCREEN_LastVisibleLine) return true;
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
  const u32 units = lay.zoomUnits ? lay.zoomUnits : (end - start) / lay.unitPixels();
  const u32 offset = 160 * (L - first);
  const u64 source = u64(SCREEN_FrameBase) + offset;
  if (source + units * lay.unitBytes() > MMU_RamSize) return false;
  if (start && borders) t.fill(0, start, bp);
  const u8* src = MMU_RamBase + source;
  bool every = SCREEN_RedrawAll || SCREEN_ForceRedraw;
  if (direct) {
    const u32 shown = (offset + 1) | start << 24;
    every |= SCREEN_DirectLineShown[L] != shown;
    SCREEN_DirectLineShown[L] = shown;
  }
  const bool drawn = draw_units<D, lay>(t, start, units, src, offset, direct, every);
  if (!SHIFTER_RightBorderOpen && borders) t.fill(start + units * lay.unitPixels(), lay.strip, bp);
  SCREEN_WindowChanged |= direct && (drawn || borders);
  return true;
}

template <typename D>
bool draw_line(u32 L, u32 res) {
  if (res == 1) return draw_line<D, medium_layout>(L);
  return SCREEN_Zoom ? draw_line<D, zoom_layout>(L) : draw_line<D, low_layout>(L);
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
