// Examples for the core include check: five offend, three pass.
#include <SDL2/SDL.h>
#include <cstdio>

#include "host/headless/front.h"
#include "host/screen.h"
#include "imgui.h"
#include "machine/mfp.h"
#include "platform/window.h"
#include "support/flat_memory.h"
