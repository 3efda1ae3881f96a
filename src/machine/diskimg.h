// Floppy images in drives A and B: insertion and ejection, the geometry from
// the boot sector or the image's size, and MSA images (run-length compressed
// tracks) expanded to plain images before they are inserted.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "common/files.h"
#include "common/types.h"

struct DISKIMG_Drive {
  i32 headTrack;  // the track under the head, DISKIMG_HeadUnknown when not known
  i32 sides;
  i32 tracks;
  i32 sectorsPerTrack;
  i32 bytesPerSector;
};

// A head whose track nothing tells (a state saved before the states kept
// the heads): the next command to its drive takes it to stand where the ST
// holds it to be, on the track register's track.
constexpr i32 DISKIMG_HeadUnknown = -1;

extern DISKIMG_Drive DISKIMG_Drives[2];
extern u32 DISKIMG_InsertedMask;    // bit 0 drive A, bit 1 drive B
extern int DISKIMG_Files[2];        // the open image's descriptor, -1 for none
extern u32 DISKIMG_WriteProtect[2]; // per drive, 0 or 0x40 (the controller's status bit)
// Full paths of the last images inserted, as length-prefixed strings of up
// to 255 characters ("nothing" before the first insertion).
extern u8 DISKIMG_NameA[256];
extern u8 DISKIMG_NameB[256];
extern u32 DISKIMG_LastSize;        // size of the image last inserted
extern u64 DISKIMG_ImageSize[2];    // size of each drive's open image
// 1 while the drive holds an image that no toggle may unprotect (an MSA
// expansion or a gzip image's unpacked copy, which is never written back, a
// file opened read-only, or an image without a geometry).
extern u32 DISKIMG_AlwaysProtected[2];
// Non-zero while an MSA image is being expanded: the host polls its events
// once a track side but acts on none until the expansion is over.
extern u32 DISKIMG_Expanding;

// Why the image in each drive went in write-protected: asked so, the copy of
// a compressed or MSA image, a file we may only read, a file another drive
// or another program writes, a geometry without sectors a track.
enum class DISKIMG_Protection : u8 { None, Asked, Copy, ReadOnlyFile, InUse, NoGeometry };
extern DISKIMG_Protection DISKIMG_WhyProtected[2];

// Puts every drive back to empty (closing open images, forgetting the
// floppies that wait) and the names to "nothing".
void DISKIMG_Reset();
// 1 inserted, 0 refused (an alert names the file and says why). drive is
// 'A' or 'B' (either case). With readOnly the file is only read and the
// image stays write-protected whatever the option says. A compressed image
// goes in as the copy the host unpacks (HOST_UnpackImage), write-protected;
// its own path is the name kept. A file opened for writing is locked
// (flock, exclusive) for as long as it is in the drive: one that the other
// drive or another program holds so goes in write-protected, and an alert
// says why, so that two writers, each with its own idea of the disk's
// directory, never write one image.
u32 DISKIMG_Insert(const char* path, char drive, bool readOnly = false);
// Whether the file at path would go into a drive (what the insertion checks:
// a regular file, an MSA or compressed image that expands, more than 200,000
// bytes), without touching the drives; false with why, as words that follow
// the file's name.
bool DISKIMG_CheckImage(const char* path, std::string& why);
// The caution alert of an image that went into drive d write-protected
// although the ST could have written it: names the drive and the image,
// says why (`why`, else the drive's own reason: a file we may only read, or
// another writer: the other drive, this machine's hard disk C or D, whose
// image it is and which alone writes it, or another program) and what lets
// the ST write on it.
void DISKIMG_TellProtected(u32 d, const std::string& path, const std::string& why = {});
// What an insertion of the plain image at path for writing would find now
// (its permissions and its lock, tried as the insertion tries them): None
// when it would write it; Copy (a compressed image), ReadOnlyFile or InUse
// (another drive or program holds its lock) when it would only read it. An
// MSA image, known by its first bytes, the caller knows goes in as a copy.
DISKIMG_Protection DISKIMG_WriteCheck(const char* path);
// Whether drive d holds its image open for writing, with the image's lock:
// it writes it, or would once it has a geometry (NoGeometry).
bool DISKIMG_Writer(u32 d);
// 1 if an image was ejected. The disk then slides out past the drive's
// write-protect sensor (DISKIMG_Sensor).
u32 DISKIMG_Eject(char drive);

// The drive's write-protect sensor, a light barrier that the disk's
// write-protect window lets through: a disk passing it, going in or coming
// out, blocks it ("not protected"); an empty drive, once the disk is out,
// lets it through ("protected"); a disk in place reads its own level. The
// ST goes by the changes of that level to know the disk changed (it reads
// the boot sector again at its next access): a disk put in before it saw
// one is, to it, the disk it read before, and it writes that disk's
// directory onto it. So an eject shows the sliding level and then the empty
// level, and another disk goes in only after both (DISKIMG_MayInsert); a
// disk going in is there at once for the controller and shows the sliding
// level before its own. The last change of level the ST sees is then always
// made with the new disk in, whatever the two disks' protection. The
// controller refuses writes by the disk's own protection
// (DISKIMG_WriteProtect), never by the sliding level.
enum class DISKIMG_Sensor : u8 { Settled, SlidingOut, Empty, SlidingIn };
// Each phase but the settled one lasts this many frames of the running
// machine: twice the longest the ST takes to sample a drive (EmuTOS reads
// the line of one drive every 8th frame, the two in turn, and skips a
// sample while it works the floppy), so that it sees every phase.
constexpr u32 DISKIMG_PhaseFrames = 32;
// From an eject until another disk may go in.
constexpr u32 DISKIMG_SwapFrames = 2 * DISKIMG_PhaseFrames;
// Per drive, the phase and the frames left in it (0 when settled).
extern DISKIMG_Sensor DISKIMG_SensorPhase[2];
extern u32 DISKIMG_SensorFrames[2];
// The write-protect line of drive d as the controller's status shows it
// (0 or 0x40).
u32 DISKIMG_SensorLine(u32 d);
// Whether a disk may go into drive d now: it is empty, and the ST has been
// shown the disk out (settled). Every way the user's disk goes in asks (a
// restore puts back only the disk its own ST knows).
bool DISKIMG_MayInsert(u32 d);
// Once an emulated frame, at its end: the phases run on.
void DISKIMG_FrameEnded();
// The ST started (again) and has read no disk yet: every drive is settled,
// and a disk waiting may go in at once. The menu's resets need not call
// it: a disk waiting then only waits the rest of its phases.
void DISKIMG_StRestarted();
// The file each drive's image came from, by device and inode (for a
// compressed or MSA image, the file it was unpacked from); zero for an
// empty drive.
extern FILES_Id DISKIMG_Source[2];
// A compressed or MSA image's own file, kept open while its copy is in the
// drive (read only, without a lock), so that no other file takes its device
// and inode once the user deletes it; -1 for none.
extern int DISKIMG_PackedFiles[2];
// The floppy dropped on each drive while it held another disk, by its path,
// waiting for the ST to see the drive empty (the host puts it here and takes
// it into the drive); empty when none waits. It is as much the drive's as
// the disk in it: nothing else of the machine's writes over it.
extern std::string DISKIMG_Waiting[2];
// Whether drive d holds the image of the file at path (the same file, by
// whatever name).
bool DISKIMG_Holds(u32 d, const char* path);
// The name drive d knows its disk by (its full path, which a saved state
// keeps), and a new one once the file went under another name with the
// folder it lies in: a state saved next names the disk where it is.
std::string DISKIMG_NameOf(u32 d);
void DISKIMG_Moved(u32 d, const char* path);
// 0 when the boot sector gave a usable geometry, 1 when the size must be guessed.
u32 DISKIMG_ReadBootSector(u32 drive);
// Geometry from the image's size alone.
void DISKIMG_GuessGeometry(DISKIMG_Drive& d, u64 size);
// For a file open as fd: the descriptor of its expansion (>= 0) when it is an
// MSA image, DISKIMG_NotMSA when it is not, DISKIMG_ExpandFailed when it is
// malformed or the expanded file can't be written (why, when given, then
// says which, as words that follow the file's name). The expansion is a
// file of the application's folder that has no name left: closing it (an
// eject, the program's end) is all it takes to remove it.
constexpr int DISKIMG_NotMSA = -1;
constexpr int DISKIMG_ExpandFailed = -2;
int DISKIMG_ExpandMSA(char drive, int fd, std::string* why = nullptr);
// The menu's write-protection toggle: both drives (an always-protected
// image stays protected).
void DISKIMG_SetWriteProtect(u32 protect);

// Tells one image from another: its size (at most 32 bits of it) and a hash
// of its bytes (the first 4 MB of a larger file).
struct DISKIMG_Digest {
  u32 size, hash;
  bool operator==(const DISKIMG_Digest&) const = default;
};
DISKIMG_Digest DISKIMG_DigestOf(int fd, u64 size);
// The digest and the first sector (zeros past a shorter image) of the image
// a drive would hold of the file at path: a compressed or MSA image's
// expansion, any other file as it is; false with why (words that follow
// the file's name) when it holds none (the file can't be read, unpacked or
// expanded).
bool DISKIMG_DigestOfFile(const char* path, DISKIMG_Digest& digest, u8* bootSector, std::string& why);

// Whether a boot sector describes a disk of sectors of 512 bytes in
// clusters (what the ST formats and writes), and a geometry one a floppy
// drive can hold.
bool DISKIMG_IsFloppyBootSector(const u8* sector);
bool DISKIMG_IsFloppyGeometry(i32 sides, i32 tracks, i32 sectorsPerTrack);

// ---- MSA decoding (no files) ----

struct MSA_Header {
  u32 sectorsPerTrack;
  u32 sides;  // 1 or 2
  u32 firstTrack;
  u32 lastTrack;
};
enum class MSA_Result { Ok, NotMSA, Malformed };
// The largest MSA file we read.
constexpr size_t MSA_MaxFileSize = 8u << 20;
// Expands a whole MSA file into a plain image of (last track + 1) x sides x
// sectors x 512 bytes; tracks before the first track stay zero. Every record
// must expand to exactly one track side. trackSide, when given, is called
// before each track side (sides from 0) is read.
MSA_Result MSA_Expand(const u8* data, size_t size, std::vector<u8>& image, MSA_Header* header,
                      void (*trackSide)(u32 track, u32 side) = nullptr);
