// The conversations of the windowed host, drawn with Dear ImGui in the modal
// loop: alerts, the settings dialog, the about box, and a file chooser of
// our own on std::filesystem. Return chooses the default button, Escape
// cancels. Without a display (SDL's dummy driver) there is nobody to ask.
// Addresses go to the desktop through SDL_OpenURL.
#include <imgui.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "host/app.h"
#include "host/shared/dialogs.h"
#include "host/sdl/sdl_host.h"
#include "platform/gui.h"
#include "platform/window.h"

namespace fs = std::filesystem;

namespace {

constexpr ImGuiWindowFlags dialog_flags =
    ImGuiWindowFlags_AlwaysAutoResize | ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoCollapse;

// A user to ask: the window with Dear ImGui on a real display.
bool can_ask() { return PLATFORM_GuiStarted() && PLATFORM_DisplayAvailable(); }

bool key_pressed(ImGuiKey key) { return ImGui::IsKeyPressed(ImGui::GetKeyIndex(key), false); }
bool return_pressed() { return key_pressed(ImGuiKey_Enter) || key_pressed(ImGuiKey_KeyPadEnter); }
bool escape_pressed() { return key_pressed(ImGuiKey_Escape); }

// What a popup leaves free of the window on each axis.
constexpr float popup_margin = 8;

// A modal popup titled `title`, opened at the first turn and centred; `body`
// draws its content and returns false when the conversation is over.
template <typename Body>
void run_popup(const char* title, Body&& body) {
  bool opened = false, more = true;
  SDL_Modal([&] {
    if (!opened) {
      ImGui::OpenPopup(title);
      opened = true;
    }
    // Compact, and never larger than the window (the smallest is 384 x 298).
    const ImGuiViewport* vp = ImGui::GetMainViewport();
    ImGui::SetNextWindowPos(vp->GetCenter(), ImGuiCond_Always, ImVec2(0.5f, 0.5f));
    ImGui::SetNextWindowSizeConstraints(ImVec2(0, 0),
                                        ImVec2(vp->Size.x - popup_margin, vp->Size.y - popup_margin));
    ImGui::PushStyleVar(ImGuiStyleVar_FramePadding, ImVec2(4, 1));
    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(8, 3));
    if (ImGui::BeginPopupModal(title, nullptr, dialog_flags)) {
      more = body();
      if (!more) ImGui::CloseCurrentPopup();
      ImGui::EndPopup();
    }
    ImGui::PopStyleVar(2);
    return more;
  });
}

// Text in a popup, its lines broken at 32 em or where the popup ends when
// the window is narrower: the popup is at most the window's width less its
// margin (run_popup), and its text lies within its padding, beside the
// scroll bar when it has one. The room is taken from the window, not from
// the popup, which has no size yet in the frame that first lays it out.
void wrapped(const char* text) {
  if (!text || !*text) return;
  const ImGuiStyle& style = ImGui::GetStyle();
  float room = ImGui::GetMainViewport()->Size.x - popup_margin - 2 * style.WindowPadding.x;
  if (ImGui::GetScrollMaxY() > 0) room -= style.ScrollbarSize;
  const float em = ImGui::GetFontSize();
  ImGui::PushTextWrapPos(ImGui::GetCursorPosX() + std::max(em * 4, std::min(em * 32, room)));
  ImGui::TextUnformatted(text);
  ImGui::PopTextWrapPos();
}

// `text` as it fits in `width`: whole, or its end after "..." (the font has
// no ellipsis of its own), cut between characters.
std::string without_start(const std::string& text, float width) {
  if (ImGui::CalcTextSize(text.c_str()).x <= width) return text;
  const float dots = ImGui::CalcTextSize("...").x;
  size_t start = 0;
  while (start < text.size() && dots + ImGui::CalcTextSize(text.c_str() + start).x > width) {
    ++start;
    while (start < text.size() && (u8(text[start]) & 0xc0) == 0x80) ++start;  // within a character
  }
  return "..." + text.substr(start);
}

// ---- The file chooser ----

struct Entry {
  std::string name;
  bool folder;
};

bool case_less(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(u8(x)) < std::tolower(u8(y));
  });
}

bool has_extension(const std::string& name, const std::vector<std::string>& extensions) {
  std::string lower = name;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return char(std::tolower(u8(c))); });
  for (const std::string& e : extensions)
    if (lower.size() > e.size() && lower.compare(lower.size() - e.size(), e.size(), e) == 0) return true;
  return false;
}

fs::path last_folder;

class Chooser {
 public:
  Chooser(const NAV_Request& r) : request_(r) {
    std::error_code ec;
    folder_ = !last_folder.empty() && fs::is_directory(last_folder, ec) ? last_folder : fs::path(APP_Folder.path);
    if (folder_.empty()) folder_ = fs::current_path(ec);
    if (r.save && r.suggestedName) name_ = r.suggestedName;
    // Every file is listed at first, whatever its name ends with; the kind
    // of file the caller wants is a choice in the list below it.
    all_files_ = true;
    list();
  }

  // One turn; false when the user chose or cancelled.
  bool draw() {
    // The list takes what the window leaves of its room; the folder's path
    // and Up above it are no wider, the path giving up its start.
    const ImVec2 room = ImGui::GetMainViewport()->Size;
    const ImGuiStyle& style = ImGui::GetStyle();
    const float em = ImGui::GetFontSize(), width = std::min(em * 36, room.x - 40);
    const float up = ImGui::CalcTextSize("Up").x + 2 * style.FramePadding.x + style.ItemSpacing.x;
    ImGui::TextUnformatted(without_start(folder_.string(), width - up).c_str());
    ImGui::SameLine();
    if (ImGui::SmallButton("Up")) go(folder_.parent_path());
    ImGui::BeginChild("files", ImVec2(width, std::max(em * 4, std::min(em * 20, room.y - 130))), true);
    for (size_t i = 0; i < entries_.size(); ++i) {
      const Entry& e = entries_[i];
      const std::string label = e.folder ? e.name + "/" : e.name;
      if (ImGui::Selectable(label.c_str(), !e.folder && e.name == name_, ImGuiSelectableFlags_AllowDoubleClick)) {
        if (e.folder && ImGui::IsMouseDoubleClicked(0)) {
          go(folder_ / e.name);
          break;
        }
        if (!e.folder) {
          name_ = e.name;
          if (ImGui::IsMouseDoubleClicked(0)) accept();
        }
      }
    }
    ImGui::EndChild();
    char buffer[1024];
    SDL_strlcpy(buffer, name_.c_str(), sizeof buffer);
    ImGui::SetNextItemWidth(std::min(em * 24, room.x - 100));
    // The field has the keyboard when the chooser opens, and Return (which
    // takes it away) gives it back unless the chooser ends: after a folder
    // opened by its typed name, a refusal or a kept file, it is ready for
    // the next name.
    if (focus_name_) ImGui::SetKeyboardFocusHere();
    focus_name_ = false;
    if (ImGui::InputText("Name", buffer, sizeof buffer)) name_ = buffer;
    if (request_.filterName) {
      const std::string kind = std::string(request_.filterName) + " (" + join_extensions() + ")";
      const char* kinds[] = {"All files", kind.c_str()};
      int which = all_files_ ? 0 : 1;
      ImGui::SetNextItemWidth(std::min(em * 24, room.x - 100));
      if (ImGui::Combo("Show", &which, kinds, 2)) {
        all_files_ = which == 0;
        list();
      }
    }
    if (!error_.empty()) ImGui::TextColored(ImVec4(1, 0.4f, 0.4f, 1), "%s", error_.c_str());
    if (ImGui::Button(request_.save ? "Save" : "Open") || (return_pressed() && !replacing_)) accept();
    ImGui::SameLine();
    if (ImGui::Button("Cancel") || (escape_pressed() && !replacing_)) done_ = true;
    draw_replace();
    return !done_;
  }

  bool chosen() const { return chosen_; }
  const std::string& path() const { return path_; }

 private:
  void list() {
    entries_.clear();
    std::error_code ec;
    for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string name = it->path().filename().string();
      if (name.empty() || name[0] == '.') continue;
      std::error_code type_ec;
      const bool folder = it->is_directory(type_ec);
      if (folder || (all_files_ ? NAV_FilterAll(name) != 0 : has_extension(name, request_.extensions)))
        entries_.push_back({name, folder});
    }
    SDL_ChooserListing.clear();
    std::sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
      return a.folder != b.folder ? a.folder : case_less(a.name, b.name);
    });
    for (const Entry& e : entries_) SDL_ChooserListing.push_back(e.folder ? e.name + "/" : e.name);
    error_ = ec ? "This folder can't be read (" + ec.message() + ")." : "";
  }

  // A typed ".." or "sub/" names the folder as Up and the list do.
  void go(const fs::path& folder) {
    if (folder.empty()) return;
    folder_ = folder.lexically_normal();
    if (!folder_.has_filename() && folder_.has_relative_path()) folder_ = folder_.parent_path();
    list();
  }

  std::string join_extensions() const {
    std::string s;
    for (const std::string& e : request_.extensions) s += (s.empty() ? "*" : ", *") + e;
    return s;
  }

  void accept() {
    focus_name_ = true;
    if (name_.empty()) return;
    const fs::path p = fs::path(name_).is_absolute() ? fs::path(name_) : folder_ / name_;
    std::error_code ec;
    if (fs::is_directory(p, ec)) {
      name_.clear();
      go(p);
      return;
    }
    error_ = NAV_Refusal(p.string(), request_.save);
    if (!error_.empty()) return;
    if (request_.save && fs::exists(fs::symlink_status(p, ec))) {
      focus_name_ = false;  // the question has the keys; kept, the file's name gets them back
      replacing_ = open_replace_ = true;
      replace_path_ = p;
      replace_asked_at_ = ImGui::GetFrameCount();
      return;
    }
    finish(p);
  }

  // An existing file is replaced only when the user says so.
  void draw_replace() {
    if (open_replace_) ImGui::OpenPopup("Replace?");
    open_replace_ = false;
    if (!ImGui::BeginPopupModal("Replace?", nullptr, dialog_flags)) return;
    const std::string question = '"' + replace_path_.filename().string() + "\" already exists.";
    wrapped(question.c_str());
    ImGui::TextUnformatted("Replace it?");
    // The key that asked the question does not answer it.
    const bool keys = ImGui::GetFrameCount() > replace_asked_at_;
    bool close = false;
    if (ImGui::Button("Replace") || (keys && return_pressed())) {
      finish(replace_path_);
      close = true;
    }
    ImGui::SameLine();
    if (ImGui::Button("Cancel") || (keys && escape_pressed())) close = true;
    if (close) {
      replacing_ = false;
      focus_name_ = true;
      ImGui::CloseCurrentPopup();
    }
    ImGui::EndPopup();
  }

  void finish(const fs::path& p) {
    path_ = p.string();
    chosen_ = done_ = true;
    last_folder = p.parent_path();
  }

  const NAV_Request& request_;
  fs::path folder_;
  std::vector<Entry> entries_;
  std::string name_, error_, path_;
  fs::path replace_path_;
  int replace_asked_at_ = 0;  // the Dear ImGui frame that asked
  bool all_files_ = false, replacing_ = false, open_replace_ = false, done_ = false, chosen_ = false;
  bool focus_name_ = true;
};

}  // namespace

std::vector<std::string> SDL_ChooserListing;

int DLG_HostAlert(const DLG_AlertView& v) {
  if (!can_ask()) return DLG_NotShown;
  const char* text = v.message && *v.message ? v.message : v.detail.c_str();
  int answer = v.cancel ? 0 : 1;
  run_popup("Vantorell", [&] {
    ImGui::TextColored(v.stop ? ImVec4(1, 0.35f, 0.35f, 1) : ImVec4(1, 0.85f, 0.3f, 1), "%s",
                       v.stop ? "Stop" : "Caution");
    wrapped(text);
    if (text != v.detail.c_str()) wrapped(v.detail.c_str());
    wrapped(v.explanation);
    ImGui::Spacing();
    if (ImGui::Button(v.okLabel ? v.okLabel : "OK") || return_pressed()) {
      answer = 1;
      return false;
    }
    if (v.cancel) {
      ImGui::SameLine();
      if (ImGui::Button("Cancel") || escape_pressed()) {
        answer = 0;
        return false;
      }
    } else if (escape_pressed()) {
      return false;
    }
    return true;
  });
  return answer;
}

int DLG_HostChooseFile(const NAV_Request& request, std::string& path) {
  if (!can_ask()) return DLG_NotShown;
  Chooser chooser(request);
  run_popup(request.title, [&] { return chooser.draw(); });
  if (!chooser.chosen()) return 0;
  path = chooser.path();
  return 1;
}

int DLG_HostSettings() {
  if (!can_ask()) return DLG_NotShown;
  run_popup(DLG_SettingsTitle, [] {
    for (size_t i = 0; i < DLG_SettingsItemCount; ++i) {
      const DLG_SettingsItem& s = DLG_SettingsItems[i];
      bool on = (*s.option & 0xff) != 0;
      ImGui::BeginDisabled(!s.clickable);
      if (ImGui::Checkbox(s.label, &on)) DLG_SettingsClick(s.item);
      ImGui::EndDisabled();
    }
    ImGui::Spacing();
    return !(ImGui::Button("OK") || return_pressed() || escape_pressed());
  });
  return 1;
}

int DLG_HostAbout() {
  if (!can_ask()) return DLG_NotShown;
  run_popup("About Vantorell", [] {
    for (size_t i = 0; i < DLG_AboutLineCount; ++i) ImGui::TextUnformatted(DLG_AboutLines[i]);
    ImGui::Spacing();
    return !(ImGui::Button("OK") || return_pressed() || escape_pressed());
  });
  return 1;
}

namespace {

// Whether `name` is a program the PATH finds as exec finds one: an
// executable regular file in one of its folders (an empty entry is the
// current folder; no PATH at all, the system's default).
[[maybe_unused]] bool on_path(const char* name) {
  const char* path = std::getenv("PATH");
  std::string_view rest = path ? path : "/bin:/usr/bin";
  for (;;) {
    const size_t colon = rest.find(':');
    const std::string_view folder = rest.substr(0, colon);
    const std::string file = (folder.empty() ? std::string(".") : std::string(folder)) + "/" + name;
    struct stat st;
    if (stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(file.c_str(), X_OK) == 0) return true;
    if (colon == std::string_view::npos) return false;
    rest.remove_prefix(colon + 1);
  }
}

}  // namespace

// SDL hands the address to xdg-open on Linux and the other Unix desktops,
// and reports success whether or not it could start it: without it, no
// address can be opened.
i32 APP_HostOpenURL(const char* address) {
#if defined(__unix__) && !defined(__ANDROID__)
  if (!on_path("xdg-open")) return -674;
#endif
  return SDL_OpenURL(address) == 0 ? 0 : -1;
}

void APP_HostShowCursor() { SDL_HostReleasePointer(); }
