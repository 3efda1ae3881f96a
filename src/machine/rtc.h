// The real-time clock chip at 0xfffc21-0xfffc3f: one BCD digit of the host's
// local time at every odd address.
#pragma once

#include "common/types.h"

extern u32 RTC_ModeReg;

u32 RTC_GetB(u32 addr);
u32 RTC_GetW(u32 addr);
u32 RTC_GetL(u32 addr);
void RTC_PutB(u32 addr, u32 value);
void RTC_PutW(u32 addr, u32 value);
void RTC_PutL(u32 addr, u32 value);
