#include "machine/memory.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "blitter/blitter.h"
#include "common/console.h"
#include "common/endian.h"
#include "common/files.h"
#include "cpu/exceptions.h"
#include "host/app.h"
#include "host/dialogs.h"
#include "host/menu.h"
#include "host/options.h"
#include "host/screen.h"

const MMU_Bank* MMU_bankTable[256];

u8* MMU_RamBase;
u32 MMU_RamSize = 0x400000;
u8* MMU_RomBuffer;
u32 MMU_RomSize;
u32 MMU_RomBase;
u32 MMU_TosVersion;
std::string MMU_TosPath;
u32 MMU_IsEmuTOS;
u8* CART_Buffer;
u32 CART_PortConfig;
u32 MMU_SpareWord;
u32 MMU_Mirror24 = 1;
u32 MMU_HostRamLimit = 0xffffffff;

u32 SCREEN_FrameBase;
u32 SCREEN_VideoWritten = 1;

u32 MMU_BusErrorCount;
u32 MMU_BusErrorsEnabled = 1;

void MMU_BusError() {
  // The processor latches the fault and silences the banks until the
  // instruction ends, so the rest of the instruction raises nothing more; a
  // fault while an exception frame is being pushed is its double fault. The
  // core is the one place that decides, there is no guard here. An
  // operation the instruction started and the host stopped has ended on the
  // chip before the fault: it ends before the frame goes onto the stack.
  BLITTER_Settle();
  ++MMU_BusErrorCount;
  m68k_raise_exception(2, 0);
}

u32 MMU_ReadBankB(u32 addr) { return MMU_BankOf(addr)->getB(addr & MMU_AddressMask) & 0xff; }
u32 MMU_ReadBankW(u32 addr) {
  if (MMU_CrossesBank(addr, 2)) return MMU_ReadAcross(addr, 2);
  return MMU_BankOf(addr)->getW(addr & MMU_AddressMask) & 0xffff;
}
u32 MMU_ReadBankL(u32 addr) {
  if (MMU_CrossesBank(addr, 4)) return MMU_ReadAcross(addr, 4);
  return MMU_BankOf(addr)->getL(addr & MMU_AddressMask);
}
void MMU_WriteBankB(u32 addr, u32 v) { MMU_BankOf(addr)->putB(addr & MMU_AddressMask, v); }
void MMU_WriteBankW(u32 addr, u32 v) {
  if (MMU_CrossesBank(addr, 2)) return MMU_WriteAcross(addr, 2, v);
  MMU_BankOf(addr)->putW(addr & MMU_AddressMask, v);
}
void MMU_WriteBankL(u32 addr, u32 v) {
  if (MMU_CrossesBank(addr, 4)) return MMU_WriteAcross(addr, 4, v);
  MMU_BankOf(addr)->putL(addr & MMU_AddressMask, v);
}

u32 MMU_ReadAcross(u32 addr, u32 size) {
  if (size == 4 && !(addr & 1)) return (MMU_ReadW(addr) << 16) | MMU_ReadW(addr + 2);
  u32 v = 0;
  for (u32 i = 0; i < size; ++i) v = (v << 8) | MMU_ReadB(addr + i);
  return v;
}

void MMU_WriteAcross(u32 addr, u32 size, u32 v) {
  if (size == 4 && !(addr & 1)) {
    MMU_WriteW(addr, v >> 16);
    MMU_WriteW(addr + 2, v & 0xffff);
    return;
  }
  for (u32 i = 0; i < size; ++i) MMU_WriteB(addr + i, (v >> (8 * (size - 1 - i))) & 0xff);
}

namespace {

// Allocates `size` bytes followed by the guard pad of ILLEGAL words.
u8* alloc_guarded(u32 size) {
  u8* p = new (std::nothrow) u8[size + MMU_GuardBytes];
  if (!p) return nullptr;
  for (u32 i = 0; i < MMU_GuardBytes; i += 2) be_write16(p + size + i, 0x4afc);
  return p;
}

// ---- RAM ----
u32 MMU_RamGetL(u32 a) { return be_read32(MMU_RamBase + a); }
u32 MMU_RamGetW(u32 a) { return be_read16(MMU_RamBase + a); }
u32 MMU_RamGetB(u32 a) { return MMU_RamBase[a]; }
void MMU_RamPutL(u32 a, u32 v) {
  if (a <= 4) {
    CONSOLE_Line("long put bus error %x ", a);
    MMU_BusError();
  }
  MMU_RamMarkScreen(a);
  be_write32(MMU_RamBase + a, v);
}
void MMU_RamPutW(u32 a, u32 v) {
  MMU_RamMarkScreen(a);
  be_write16(MMU_RamBase + a, v);
}
void MMU_RamPutB(u32 a, u32 v) {
  MMU_RamMarkScreen(a);
  MMU_RamBase[a] = u8(v);
}
u8* MMU_RamHostPtr(u32 a) { return MMU_RamBase + a; }
u32 MMU_RamCheck(u32 a, u32 size) { return a + size < MMU_RamSize ? 1 : 0; }

// ---- TOS ROM ----
u32 MMU_RomGetL(u32 a) { return be_read32(MMU_RomBuffer + (a - MMU_RomBase)); }
u32 MMU_RomGetW(u32 a) { return be_read16(MMU_RomBuffer + (a - MMU_RomBase)); }
u32 MMU_RomGetB(u32 a) { return MMU_RomBuffer[a - MMU_RomBase]; }
void MMU_RomPut(u32, u32) { MMU_BusError(); }
u8* MMU_RomHostPtr(u32 a) { return MMU_RomBuffer + (a - MMU_RomBase); }
u32 MMU_RomCheck(u32 a, u32 size) { return a - MMU_RomBase + size < MMU_RomSize ? 1 : 0; }

// ---- I/O page and unmapped space ----
u32 MMU_IoGetL(u32 a) { return MMU_IOGet(a, 0); }
u32 MMU_IoGetW(u32 a) { return MMU_IOGet(a, 1); }
u32 MMU_IoGetB(u32 a) { return MMU_IOGet(a, 2); }
void MMU_IoPutL(u32 a, u32 v) { MMU_IOPut(a, 0, v); }
void MMU_IoPutW(u32 a, u32 v) { MMU_IOPut(a, 1, v & 0xffff); }
void MMU_IoPutB(u32 a, u32 v) { MMU_IOPut(a, 2, v & 0xff); }
u8* MMU_IoHostPtr(u32) { return nullptr; }
u32 MMU_IoCheck(u32 a, u32 size) { return a - 0xff0000 + size <= 0xefffff ? 1 : 0; }

// ---- Cartridge window ----
u32 CART_GetL(u32 a) { return be_read32(CART_Buffer + (a - 0xfa0000)); }
u32 CART_GetW(u32 a) { return be_read16(CART_Buffer + (a - 0xfa0000)); }
u32 CART_GetB(u32 a) { return CART_Buffer[a - 0xfa0000]; }
void CART_PutL(u32 a, u32 v) { be_write32(CART_Buffer + (a - 0xfa0000), v); }
void CART_PutW(u32 a, u32 v) { be_write16(CART_Buffer + (a - 0xfa0000), v); }
void CART_PutB(u32 a, u32 v) { CART_Buffer[a - 0xfa0000] = u8(v); }
u8* CART_HostPtr(u32 a) { return CART_Buffer + (a - 0xfa0000); }
u32 CART_Check(u32 a, u32 size) { return a - 0xfa0000 + size <= 0x1ffff ? 1 : 0; }

// The words for an image whose version bytes name no TOS we know.
std::string no_tos_image(const u8* version) {
  char text[64];
  std::snprintf(text, sizeof text, "is no TOS image (version bytes %02X %02X)", version[0], version[1]);
  return text;
}

// Only a regular file: a FIFO chosen as the TOS would otherwise block the
// program in its open. `why` says what is wrong with the name when it fails.
bool read_file(const std::string& path, std::FILE*& f, std::string& why) {
  const int fd = FILES_OpenRegular(path.c_str(), O_RDONLY, why);
  f = fd < 0 ? nullptr : fdopen(fd, "rb");
  if (fd >= 0 && !f) {
    why = std::string("can't be opened (") + std::strerror(errno) + ")";
    close(fd);
  }
  return f != nullptr;
}

}  // namespace

const MMU_Bank MMU_RamBank = {MMU_RamGetL, MMU_RamGetW, MMU_RamGetB, MMU_RamPutL,
                              MMU_RamPutW, MMU_RamPutB, MMU_RamHostPtr, MMU_RamCheck};
const MMU_Bank MMU_RomBank = {MMU_RomGetL, MMU_RomGetW, MMU_RomGetB, MMU_RomPut,
                              MMU_RomPut,  MMU_RomPut,  MMU_RomHostPtr, MMU_RomCheck};
const MMU_Bank MMU_IoBank = {MMU_IoGetL, MMU_IoGetW, MMU_IoGetB,    MMU_IoPutL,
                             MMU_IoPutW, MMU_IoPutB, MMU_IoHostPtr, MMU_IoCheck};
const MMU_Bank CART_Bank = {CART_GetL, CART_GetW, CART_GetB,    CART_PutL,
                            CART_PutW, CART_PutB, CART_HostPtr, CART_Check};

void MMU_ResetBanks() {
  for (auto& b : MMU_bankTable) b = &MMU_IoBank;
  m68k_jump_guard_off = 0;
}

void MMU_MapBanks(const MMU_Bank* rec, u32 first, u32 count) {
  for (u32 i = 0; i < count; ++i) MMU_bankTable[(first + i) & 0xff] = rec;
}

void MMU_DetectTOSVersion() {
  MMU_TosVersion = 0;
  switch (MMU_ReadW(MMU_RomBase + 2)) {
    case 0x0100: MMU_TosVersion = 10; break;
    case 0x0102: MMU_TosVersion = 12; break;
    case 0x0104: MMU_TosVersion = 14; break;
    case 0x0162: MMU_TosVersion = 16; break;
    case 0x0205: MMU_TosVersion = 25; break;
    case 0x0206: MMU_TosVersion = 26; break;
    default: break;
  }
}

u32 MMU_LoadTOS(const std::string& path, std::string* why) {
  // Everything is read and checked before anything changes: a file that is
  // refused leaves the loaded TOS, its banks and the machine as they were.
  std::string reason;
  auto refuse = [&](std::string text) {
    if (why) *why = std::move(text);
    return 0u;
  };
  // Read-only: a write-protected image is as good as any other.
  std::FILE* f;
  if (!read_file(path, f, reason)) return refuse(reason);
  u8 header[MMU_TosHeaderSize];
  if (std::fread(header, 1, sizeof header, f) != sizeof header) {
    std::fclose(f);
    return refuse("is too short for a TOS image");
  }
  const u32 v = u32(header[2]) * 10 + header[3];
  u32 size, base;
  if (v == 10 || v == 12 || v == 14) {
    size = 0x30000;
    base = 0xfc0000;
  } else if (v == 108 || v == 25 || v == 26) {
    size = 0x40000;
    base = 0xe00000;
  } else {
    std::fclose(f);
    return refuse(no_tos_image(header + 2));
  }
  u8* buffer = alloc_guarded(size);
  if (!buffer) APP_Fatal(6);
  std::rewind(f);
  const size_t got = std::fread(buffer, 1, size, f);
  const bool failed = std::ferror(f) != 0;
  if (std::fclose(f) != 0 || failed) {
    delete[] buffer;
    return refuse(std::string("can't be read (") + std::strerror(errno) + ")");
  }
  // A cut image would run into whatever stands in place of its missing
  // part: only the whole ROM is taken.
  if (got < size) {
    delete[] buffer;
    char text[96];
    std::snprintf(text, sizeof text,
                  "is too short for its version (TOS %X.%02X needs %u bytes, the file has %zu)",
                  header[2], header[3], size, got);
    return refuse(text);
  }
  delete[] MMU_RomBuffer;
  MMU_RomBuffer = buffer;
  MMU_RomSize = size;
  MMU_RomBase = base;
  MMU_IsEmuTOS = header[44] == 'E' ? 1 : 0;
  MMU_TosPath = path;
  MENU_UpdateChecks();
  // Neither layout's banks may keep pointing at the ROM record: with the
  // other layout their offsets would fall outside the new buffer.
  for (u32 b = 0xfc; b <= 0xfe; ++b)
    if (MMU_bankTable[b] == &MMU_RomBank) MMU_bankTable[b] = &MMU_IoBank;
  for (u32 b = 0xe0; b <= 0xe3; ++b)
    if (MMU_bankTable[b] == &MMU_RomBank) MMU_bankTable[b] = &MMU_IoBank;
  if (base == 0xfc0000)
    MMU_MapBanks(&MMU_RomBank, 0xfc, 3);
  else
    MMU_MapBanks(&MMU_RomBank, 0xe0, 4);
  MMU_DetectTOSVersion();
  return 1;
}

namespace {
// The emulator's hard-disk driver is a program file: it starts with the
// program header's magic word.
bool is_driver_image(const u8* window, size_t length) {
  return length >= 0x44 && be_read16(window) == 0x601a;
}

constexpr const char* cart_name = "cart.img";

}  // namespace

u32 CART_Load(const char* name) {
  APP_Folder = {};
  APP_GetAppFolder();
  const std::string path = APP_Folder.path + "/" + name;
  std::memset(CART_Buffer, 0xff, CART_Size);
  if (!FILES_Exists(path.c_str())) return 0;
  std::FILE* f;
  std::string why;
  if (!read_file(path, f, why)) {
    // There is a file of that name, so the user meant a cartridge.
    DLG_SetAlertText((path + " " + why).c_str());
    DLG_Alert(16, 1);
    return 0;
  }
  const size_t got = std::fread(CART_Buffer, 1, CART_Size, f);
  if (is_driver_image(CART_Buffer, got)) {
    for (u32 i = 0; i < 40; ++i) MMU_WriteB(0xfa0000 + i, MMU_ReadB(0xfa001c + i));
    CART_PortConfig = 1;
    std::puts("HDD.SYS driver found and loaded at 0xfa0000");
  } else {
    std::puts("Cartridge found and loaded at 0xfa0000");
    CART_PortConfig = 2;
  }
  return std::fclose(f) == 0 ? 1 : 0;
}

std::string CART_ImagePath() { return APP_Folder.path + "/" + cart_name; }

void MMU_ClearRAM() {
  if (MMU_RamBase && MMU_RamSize > 9) std::memset(MMU_RamBase + 9, 0, MMU_RamSize - 9);
}

namespace {
// The RAM sizes a start tries in turn: the one the option asks for, then
// ever smaller ones while the host has no room.
constexpr int ram_sizes_tried = 5;
u32 ram_size_tried(int i) {
  static const u32 sizes[] = {0x400000, 0x200000, 0x100000, 0x80000};
  return i == 0 ? (PREFS_Ram14MB ? 0xe00000 : 0x400000) : sizes[i - 1];
}
}  // namespace

u32 MMU_StartRamSize() {
  for (int i = 0; i < ram_sizes_tried; ++i)
    if (ram_size_tried(i) <= MMU_HostRamLimit) return ram_size_tried(i);
  return 0;
}

void MMU_Init() {
  MMU_SpareWord = 0;
  MMU_ResetBanks();

  void* reserve = std::malloc(0x60000);
  delete[] MMU_RamBase;
  MMU_RamBase = nullptr;
  for (int i = 0; i < ram_sizes_tried && !MMU_RamBase; ++i) {
    const u32 size = ram_size_tried(i);
    if (size > MMU_HostRamLimit) continue;
    MMU_RamBase = alloc_guarded(size);
    if (MMU_RamBase) MMU_RamSize = size;
  }
  if (!MMU_RamBase) APP_Fatal(2);
  std::memset(MMU_RamBase, 0, MMU_RamSize);
  switch (MMU_RamSize) {
    case 0xe00000: std::puts("14Mb ST RAM"); break;
    case 0x400000: std::puts("4Mb ST RAM"); break;
    case 0x200000: std::puts("2Mb ST RAM"); break;
    case 0x100000: std::puts("1Mb ST RAM"); break;
    default: std::puts("512Ko ST RAM"); break;
  }
  std::free(reserve);

  MMU_TosVersion = 0;
  // The automatic state comes back on the TOS it was saved with, while that
  // image is there and loads; else the folder's tos.img, as every start.
  const std::string state = APP_AutoStatePath();
  if (!PREFS_StateTos.empty() && PREFS_AutoSaveOnQuit && FILES_Exists(state.c_str())) {
    std::string why;
    if (!MMU_LoadTOS(PREFS_StateTos, &why))
      std::printf("The saved state's TOS %s %s: starting with tos.img\n", PREFS_StateTos.c_str(),
                  why.c_str());
  }
  while (MMU_TosVersion == 0) {
    // The alert that asks for another image says why this one was refused,
    // in the words of a TOS refused anywhere else.
    const std::string path = APP_Folder.path + "/tos.img";
    std::string why;
    if (MMU_LoadTOS(path, &why)) {
      if (MMU_TosVersion != 0) break;
      why = no_tos_image(MMU_RomBuffer + 2);
    }
    if (!DLG_AskForTos(path + " " + why)) HOST_Exit(1);
    NAV_Reply reply;
    NAV_GetFile(reply, 1);
    if (reply.chosen) {
      if (!MMU_LoadTOS(reply.path)) HOST_Exit(1);
      MMU_DetectTOSVersion();
    }
  }

  MMU_MapBanks(&MMU_RamBank, 0, MMU_RamSize >> 16);
  if (!CART_Buffer) CART_Buffer = alloc_guarded(CART_Size);
  if (!CART_Buffer) APP_Fatal(2);
  MMU_MapBanks(&CART_Bank, 0xfa, 2);
  CART_Load(cart_name);
  SCREEN_DrawStatusLine();
}
