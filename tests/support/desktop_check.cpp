#include "support/desktop_check.h"

#include <utility>
#include <vector>

namespace {

u32 pixel(const SCREEN_Image& img, u32 x, u32 y) {
  const u8* p = &img.rgba[(size_t(y) * img.width + x) * 4];
  return u32(p[0]) << 16 | u32(p[1]) << 8 | p[2];
}

u32 luma(u32 c) { return (((c >> 16) & 255) * 3 + ((c >> 8) & 255) * 6 + (c & 255)) / 10; }

// The most common colour of a set of pixels and how often it came.
class Tally {
 public:
  void add(u32 c) {
    for (auto& e : counts_) {
      if (e.first == c) {
        ++e.second;
        return;
      }
    }
    counts_.push_back({c, 1});
  }
  u32 size() const { return u32(counts_.size()); }
  std::pair<u32, u32> mode() const {
    std::pair<u32, u32> best{0, 0};
    for (const auto& e : counts_)
      if (e.second > best.second) best = e;
    return best;
  }

 private:
  std::vector<std::pair<u32, u32>> counts_;
};

// The desktop's pattern: the colour each position of a 16 x 16 tile mostly
// shows from row `first` down.
class Pattern {
 public:
  Pattern(const SCREEN_Image& img, u32 first) {
    Tally cells[16][16];
    for (u32 y = first; y < img.height; ++y)
      for (u32 x = 0; x < img.width; ++x) cells[y & 15][x & 15].add(pixel(img, x, y));
    Tally kinds;
    for (u32 y = 0; y < 16; ++y) {
      for (u32 x = 0; x < 16; ++x) {
        mode_[y][x] = cells[y][x].mode().first;
        kinds.add(mode_[y][x]);
      }
    }
    colours_ = kinds.size();
  }
  bool shows(u32 x, u32 y, u32 c) const { return mode_[y & 15][x & 15] == c; }
  u32 colours() const { return colours_; }

 private:
  u32 mode_[16][16] = {};
  u32 colours_ = 0;
};

// Runs of marked columns that at least `gap` unmarked columns part.
u32 clusters(const std::vector<bool>& cols, u32 gap) {
  u32 n = 0, blank = gap;
  for (bool c : cols) {
    if (c && blank >= gap) ++n;
    blank = c ? 0 : blank + 1;
  }
  return n;
}

// Icons in rows [y0, y1): groups of columns with something off the pattern.
u32 icons(const SCREEN_Image& img, const Pattern& p, u32 y0, u32 y1) {
  std::vector<bool> cols(img.width, false);
  for (u32 y = y0; y < y1; ++y)
    for (u32 x = 0; x < img.width; ++x)
      if (!p.shows(x, y, pixel(img, x, y))) cols[x] = true;
  return clusters(cols, 4);
}

std::string said(const char* what, u32 n) { return what + std::to_string(n); }

}  // namespace

DesktopReport check_desktop(const SCREEN_Image& img) {
  DesktopReport r;
  const u32 w = img.width, h = img.height;
  if (w < 64 || h < 64 || img.rgba.size() != size_t(w) * h * 4) {
    r.problem = "no picture";
    return r;
  }
  // The line under the menu bar: a dark row in the top eighth.
  for (u32 y = 4; y < h / 8 && !r.barLine; ++y) {
    Tally row;
    for (u32 x = 0; x < w; ++x) row.add(pixel(img, x, y));
    const auto [colour, count] = row.mode();
    if (count * 50 >= w * 49 && luma(colour) < 64) r.barLine = y;
  }
  if (!r.barLine) {
    r.problem = "no dark line under a menu bar in the top eighth";
    return r;
  }
  // The bar: light, its titles dark and on the left.
  Tally bar;
  for (u32 y = 0; y < r.barLine; ++y)
    for (u32 x = 0; x < w; ++x) bar.add(pixel(img, x, y));
  const u32 background = bar.mode().first;
  if (luma(background) < 192) {
    r.problem = "the menu bar is not light";
    return r;
  }
  std::vector<bool> ink(w, false);
  u32 rightmost = 0;
  for (u32 y = 0; y < r.barLine; ++y) {
    for (u32 x = 0; x < w; ++x) {
      if (pixel(img, x, y) == background) continue;
      ink[x] = true;
      rightmost = x > rightmost ? x : rightmost;
    }
  }
  r.titles = clusters(ink, 8);
  if (r.titles < 3) {
    r.problem = said("menu titles: ", r.titles);
    return r;
  }
  if (rightmost >= w * 9 / 10) {
    r.problem = said("the menu bar shows something at column ", rightmost);
    return r;
  }
  // The desktop's pattern over everything below the bar.
  const Pattern p(img, r.barLine + 1);
  u64 matching = 0;
  for (u32 y = r.barLine + 1; y < h; ++y)
    for (u32 x = 0; x < w; ++x) matching += p.shows(x, y, pixel(img, x, y));
  r.patternPercent = u32(matching * 100 / (u64(h - r.barLine - 1) * w));
  if (p.colours() < 2) {
    r.problem = "the desktop is one flat colour";
    return r;
  }
  if (r.patternPercent < 80) {
    r.problem = said("percent of the desktop showing its pattern: ", r.patternPercent);
    return r;
  }
  // The drive icons under the bar, the trash at the bottom.
  r.iconsTop = icons(img, p, r.barLine + 1, r.barLine + 1 + h / 4);
  r.iconsBottom = icons(img, p, h - h / 5, h);
  if (r.iconsTop < 2) r.problem = said("icons under the menu bar: ", r.iconsTop);
  else if (r.iconsBottom < 1) r.problem = "no icon at the bottom";
  return r;
}

void find_moved(const SCREEN_Image& before, const SCREEN_Image& after, PixelBox& was,
                PixelBox& is) {
  was = is = PixelBox{};
  if (before.width != after.width || before.height != after.height) return;
  const u32 first = check_desktop(before).barLine + 1;
  const Pattern p(before, first);
  auto add = [](PixelBox& b, u32 x, u32 y) {
    if (b.pixels++ == 0) b = {x, y, x, y, 1};
    b.x0 = x < b.x0 ? x : b.x0;
    b.y0 = y < b.y0 ? y : b.y0;
    b.x1 = x > b.x1 ? x : b.x1;
    b.y1 = y > b.y1 ? y : b.y1;
  };
  for (u32 y = first; y < before.height; ++y) {
    for (u32 x = 0; x < before.width; ++x) {
      const u32 a = pixel(before, x, y), b = pixel(after, x, y);
      if (a == b) continue;
      if (!p.shows(x, y, a)) add(was, x, y);
      if (!p.shows(x, y, b)) add(is, x, y);
    }
  }
}
