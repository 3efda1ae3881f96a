// Examples for the core include check: two offend, two pass.
#include "blitter/blitter.h"
#include "cpu/bus.h"
#include "host/options.h"
#include "machine/memory.h"
