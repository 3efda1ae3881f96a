// The host states the machine reads at its frame end and restores with a
// saved state, the same words in every host.
#include "host/events.h"

u32 EVENTS_Paused, EVENTS_Suspended, EVENTS_WindowObscured, EVENTS_InBackground;
i32 EVENTS_LastMouseH, EVENTS_LastMouseV;
u32 EVENTS_CapsLock;
u32 EVENTS_VdiTracking;
u32 EVENTS_PollCount;
