#include "machine/bigscreen.h"

u32 SCREEN_LineABase;
