// The debugger of the windowless build: a request is answered at once by
// resuming. The windowed host uses it too until it has its console debugger.
#include "host/debugger.h"

u32 DEBUG_Requested;
u32 DEBUG_DumpAbort;
void DEBUG_CommandLoop() { DEBUG_Requested = 0; }
