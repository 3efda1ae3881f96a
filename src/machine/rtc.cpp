#include "machine/rtc.h"

#include "host/app.h"

u32 RTC_ModeReg;

u32 RTC_GetB(u32 addr) {
  const HOST_DateTime t = HOST_LocalTime();
  switch (addr) {
    case 0xfffc21: return u32(t.second % 10);
    case 0xfffc23: return u32(t.second / 10);
    case 0xfffc25: return RTC_ModeReg == 9 ? 10 : u32(t.minute % 10);
    case 0xfffc27:
      if (RTC_ModeReg == 9) {
        RTC_ModeReg = 0;
        return 5;
      }
      return u32(t.minute / 10);
    case 0xfffc29: return u32(t.hour % 10);
    case 0xfffc2b: return u32(t.hour / 10);
    case 0xfffc2d: return 1;
    case 0xfffc2f: return u32(t.day % 10);
    case 0xfffc31: return u32(t.day / 10);
    case 0xfffc33: return u32(t.month % 10);
    case 0xfffc35: return u32(t.month / 10);
    case 0xfffc37: return u32(t.year % 10);
    case 0xfffc39: return u32((t.year - 1900) / 10 - 8) & 0xff;
    default: return 0;  // 0xfffc3b-0xfffc3f, and the even addresses
  }
}

u32 RTC_GetW(u32 addr) { return RTC_GetB(addr + 1); }
u32 RTC_GetL(u32 addr) { return (RTC_GetB(addr + 1) << 16) | RTC_GetB(addr + 3); }

void RTC_PutB(u32 addr, u32 value) {
  if (addr == 0xfffc3b) RTC_ModeReg = value;
}
void RTC_PutW(u32, u32) {}
void RTC_PutL(u32, u32) {}
