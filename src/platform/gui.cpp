#include "platform/gui.h"

#include <backends/imgui_impl_sdl.h>
#include <imgui.h>

#include <cfloat>

#include "platform/window.h"

namespace {

SDL_Texture* font_texture;
bool started, frame_ended;
// Where the pointer was at the last event that said so: SDL's own idea of
// it is not there when the window has neither focus nor the pointer.
bool pointer_known;
ImVec2 pointer;

}  // namespace

bool PLATFORM_GuiStart() {
  if (started) return true;
  SDL_Window* window = PLATFORM_Window();
  SDL_Renderer* renderer = PLATFORM_Renderer();
  if (!window || !renderer) return false;
  IMGUI_CHECKVERSION();
  ImGui::CreateContext();
  ImGuiIO& io = ImGui::GetIO();
  io.IniFilename = nullptr;
  io.LogFilename = nullptr;
  io.ConfigFlags |= ImGuiConfigFlags_NoMouseCursorChange;
  ImGui::StyleColorsDark();
  if (!ImGui_ImplSDL2_InitForSDLRenderer(window)) {
    ImGui::DestroyContext();
    return false;
  }
  unsigned char* pixels = nullptr;
  int w = 0, h = 0;
  io.Fonts->GetTexDataAsRGBA32(&pixels, &w, &h);
  // Bytes R, G, B, A in memory.
  font_texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ABGR8888, SDL_TEXTUREACCESS_STATIC, w, h);
  if (font_texture) {
    SDL_UpdateTexture(font_texture, nullptr, pixels, w * 4);
    SDL_SetTextureBlendMode(font_texture, SDL_BLENDMODE_BLEND);
  }
  io.Fonts->SetTexID(font_texture);
  started = true;
  frame_ended = false;
  return true;
}

void PLATFORM_GuiStop() {
  if (!started) return;
  ImGui_ImplSDL2_Shutdown();
  ImGui::DestroyContext();
  if (font_texture) SDL_DestroyTexture(font_texture);
  font_texture = nullptr;
  started = frame_ended = pointer_known = false;
}

bool PLATFORM_GuiStarted() { return started; }

void PLATFORM_GuiEvent(const SDL_Event& e) {
  if (!started) return;
  ImGui_ImplSDL2_ProcessEvent(&e);
  if (e.type == SDL_MOUSEMOTION) {
    pointer = ImVec2(float(e.motion.x), float(e.motion.y));
    pointer_known = true;
  } else if (e.type == SDL_MOUSEBUTTONDOWN || e.type == SDL_MOUSEBUTTONUP) {
    pointer = ImVec2(float(e.button.x), float(e.button.y));
    pointer_known = true;
  } else if (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_LEAVE) {
    pointer_known = false;
  }
}

void PLATFORM_GuiBeginFrame(bool live) {
  ImGui_ImplSDL2_NewFrame();
  ImGuiIO& io = ImGui::GetIO();
  if (live && pointer_known) io.MousePos = pointer;
  if (!live) {
    io.MousePos = ImVec2(-FLT_MAX, -FLT_MAX);
    for (bool& down : io.MouseDown) down = false;
  }
  ImGui::NewFrame();
}

void PLATFORM_GuiEndFrame() {
  ImGui::Render();
  frame_ended = true;
}

void PLATFORM_GuiDraw(SDL_Renderer* renderer) {
  if (!started || !frame_ended) return;
  const ImDrawData* data = ImGui::GetDrawData();
  if (!data || data->CmdListsCount == 0) return;
  // Window points to the renderer's pixels (they differ on dense displays).
  int ww = 0, wh = 0, ow = 0, oh = 0;
  SDL_GetWindowSize(PLATFORM_Window(), &ww, &wh);
  SDL_GetRendererOutputSize(renderer, &ow, &oh);
  const float sx = ww > 0 ? float(ow) / float(ww) : 1.f, sy = wh > 0 ? float(oh) / float(wh) : 1.f;
  SDL_RenderSetScale(renderer, sx, sy);
  for (int n = 0; n < data->CmdListsCount; ++n) {
    const ImDrawList* list = data->CmdLists[n];
    const ImDrawVert* vertices = list->VtxBuffer.Data;
    const ImDrawIdx* indices = list->IdxBuffer.Data;
    for (const ImDrawCmd& cmd : list->CmdBuffer) {
      if (cmd.UserCallback) {
        cmd.UserCallback(list, &cmd);
        continue;
      }
      const ImVec2 o = data->DisplayPos;
      const SDL_Rect clip = {int(cmd.ClipRect.x - o.x), int(cmd.ClipRect.y - o.y),
                             int(cmd.ClipRect.z - cmd.ClipRect.x), int(cmd.ClipRect.w - cmd.ClipRect.y)};
      if (clip.w <= 0 || clip.h <= 0) continue;
      SDL_RenderSetClipRect(renderer, &clip);
      const ImDrawVert* v = vertices + cmd.VtxOffset;
      SDL_RenderGeometryRaw(renderer, static_cast<SDL_Texture*>(cmd.GetTexID()), &v->pos.x, sizeof(ImDrawVert),
                            reinterpret_cast<const SDL_Color*>(&v->col), sizeof(ImDrawVert), &v->uv.x,
                            sizeof(ImDrawVert), list->VtxBuffer.Size - int(cmd.VtxOffset),
                            indices + cmd.IdxOffset, int(cmd.ElemCount), sizeof(ImDrawIdx));
    }
  }
  SDL_RenderSetClipRect(renderer, nullptr);
  SDL_RenderSetScale(renderer, 1.f, 1.f);
}
