// The host files the machine opens by name and the files it writes. A file
// is opened only when it is a regular file (a FIFO in its place does not
// block the program, a device is never opened), and what is wrong with a
// name comes back as words for a message. A file the machine writes whole
// (a saved state, a screenshot) never replaces the user's file with a part
// of the new one, and never meets another file through a guessable
// temporary name.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <optional>
#include <string>

#include "common/types.h"

// Opens the regular file at `path`, following symbolic links, with `flags`
// (O_RDONLY or O_RDWR, plus O_NOFOLLOW to refuse a link, O_CREAT to create
// a missing file with 0666 less the umask); the descriptor,
// or -1 with `why` set to what the path is, as words that follow it in a
// message: "does not exist", "is a directory", "is a FIFO", "is a symbolic
// link loop", "is a symbolic link to nothing", "can't be opened (Permission
// denied)", ...
int FILES_OpenRegular(const char* path, int flags, std::string& why);

// What is at `path`, following symbolic links, when something is there and
// it is no regular file, in the words FILES_OpenRegular gives for it ("is a
// directory", "is a FIFO", "is a device", "is a symbolic link loop", ...),
// without opening it; empty for a regular file and where nothing is (no
// file, a link to nothing).
std::string FILES_NotRegular(const char* path);

// Writes all `size` bytes at the descriptor's position; false (errno set) on
// a failure or a short write.
bool FILES_WriteAll(int fd, const u8* data, size_t size);

// Whether `path` names anything at all, a broken or looping symbolic link
// included.
bool FILES_Exists(const char* path);

// A file by device and inode: the same file whatever names or links lead to it.
struct FILES_Id {
  u64 device, inode;
  bool operator==(const FILES_Id&) const = default;
};
// The file at `path` (through symbolic links: none for a link to nothing or
// where nothing is), the one open as `fd`, or the one `st` describes.
std::optional<FILES_Id> FILES_IdOf(const char* path);
inline std::optional<FILES_Id> FILES_IdOf(const std::string& path) { return FILES_IdOf(path.c_str()); }
std::optional<FILES_Id> FILES_IdOf(int fd);
inline FILES_Id FILES_IdOf(const struct stat& st) { return {u64(st.st_dev), u64(st.st_ino)}; }
// What lies at a path itself (a symbolic link's own entry, not its
// target's), kept open without being read or waited for (a folder, a FIFO,
// a device node alike): while it is held, no new file can be given its
// inode, so whatever is written into it, it is still what lies at the path
// when device, inode and kind are the same there (and, for a symbolic
// link, those of the file it leads to), or when the path leads to a file it
// holds (moved, and a link to it put in its place).
class FILES_HeldEntry {
 public:
  FILES_HeldEntry() = default;
  FILES_HeldEntry(const FILES_HeldEntry&) = delete;
  FILES_HeldEntry& operator=(const FILES_HeldEntry&) = delete;
  ~FILES_HeldEntry() { LetGo(); }
  // Holds what lies at `path` now, instead of what was held; nothing where
  // nothing is.
  void Hold(const char* path);
  void LetGo();
  // Whether what is held lies at `path` now.
  bool IsAt(const char* path) const;
  // Holds the symbolic link at `path` again, as the link alone: what it
  // leads to now was saved there where it led nowhere, and is not what was
  // held, nor is whatever replaces it. The link is at its place whatever it
  // leads to; that file is remembered for LeadsToFilled.
  void HoldFilled(const char* path);
  bool Filled() const { return filled_; }
  // Whether `path` leads (through its links) to the file HoldFilled took.
  bool LeadsToFilled(const char* path) const;
  // Whether anything is held (wherever it lies now).
  bool Held() const { return held_; }
  // Closes what no name links any more (removed, or replaced by a rename),
  // so that its space is freed: it can't be under a name again, and a new
  // file that gets its inode is another. Still held as gone: IsAt says no.
  void LetGoOfGone();

 private:
  bool held_ = false;
  bool gone_ = false, target_gone_ = false;  // LetGoOfGone closed them
  int fd_ = -1;
  FILES_Id id_{};
  u32 kind_ = 0;
  // What a symbolic link led to, held the same way; none for any other
  // entry.
  bool has_target_ = false;
  int target_fd_ = -1;
  FILES_Id target_id_{};
  bool filled_ = false;  // the target is HoldFilled's
};
// Whether two paths name one place: the same file name in the same folder
// (by device and inode), whatever is there, nothing included.
bool FILES_SamePlace(const char* a, const char* b);
// Whether `path` is the place `name` names or one its symbolic links lead
// through (each link's target taken from the link's folder), up to the file
// or to the place where nothing is: whatever is put at such a place is what
// `name` then opens.
bool FILES_LeadsThrough(const char* name, const char* path);
// Whether opening `name` passes through the place `path` names: `name`
// itself, a folder on its way, or a symbolic link it follows (or a folder
// on that link's way). Whatever is moved from such a place, `name` no
// longer opens what it opened.
bool FILES_PassesThrough(const char* name, const char* path);
// Whether `a` and `b` both lead (through their symbolic links) to one file
// that is there: a save at either replaces what the other opens.
bool FILES_SameEnd(const char* a, const char* b);

// Writes `size` bytes as the whole new content of `path`: into a temporary
// file of a unique name beside the file, flushed to the disk, then renamed
// over it. Through a symbolic link the link's target is replaced and the
// link kept. An existing file keeps its permissions (and, where we may, its
// owner); a new one gets 0666 less the umask. False with `error` set when
// a step failed; the file at `path` is then as it was.
bool FILES_WriteWhole(const char* path, const u8* data, size_t size, std::string& error);

// Creates a file of a unique name in `folder` ("PREFIX-XXXXXX.SUFFIX") for
// reading and writing, and removes its name again at once: the open
// descriptor keeps the data until it is closed, and no file is left behind
// however the program ends. -1 with `error` set on failure.
int FILES_AnonymousFile(const std::string& folder, const char* prefix, const char* suffix,
                        std::string& error);

// Renames the file at `path` (or the folder, or the symbolic link itself)
// to "PATH (WHY)", or "PATH (WHY 2)" and so on, the first such name that is
// free: nothing is replaced. The new name, or an empty string with `error`
// set when it could not be renamed.
std::string FILES_SetAside(const std::string& path, const char* why, std::string& error);
