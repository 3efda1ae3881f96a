#include "common/files.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>

namespace {

std::string kind_of(mode_t mode) {
  if (S_ISDIR(mode)) return "is a directory";
  if (S_ISFIFO(mode)) return "is a FIFO";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device";
  if (S_ISSOCK(mode)) return "is a socket";
  return "is not a regular file";
}

std::string open_error(int error) {
  switch (error) {
    case ENOENT: return "does not exist";
    case EISDIR: return "is a directory";
    case ELOOP: return "is a symbolic link loop";
    default: return std::string("can't be opened (") + std::strerror(error) + ")";
  }
}

std::string folder_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

int FILES_OpenRegular(const char* path, int flags, std::string& why) {
  // What is no regular file is told without being opened: a device acts on
  // an open (a serial port raises its lines, a tape rewinds), and a program
  // waiting to write into a FIFO would take it for its reader. A link not to
  // be followed is left to the open, which names it.
  struct stat st;
  if (((flags & O_NOFOLLOW) ? lstat(path, &st) : stat(path, &st)) == 0 && !S_ISREG(st.st_mode) &&
      !S_ISLNK(st.st_mode)) {
    why = kind_of(st.st_mode);
    return -1;
  }
  // Without O_NONBLOCK, opening a FIFO waits for its other end (one put in
  // the file's place since).
  const int fd = open(path, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0) {
    const int error = errno;
    if (errno == ELOOP && (flags & O_NOFOLLOW))
      why = "is a symbolic link";
    else if (errno == ENOENT && (flags & O_CREAT))
      why = "can't be created (its folder does not exist)";
    else if (errno == ENOENT && FILES_Exists(path))
      why = "is a symbolic link to nothing";
    else
      why = open_error(errno);
    errno = error;  // the caller may ask why, too
    return -1;
  }
  if (fstat(fd, &st) != 0) {
    why = open_error(errno);
  } else if (!S_ISREG(st.st_mode)) {
    why = kind_of(st.st_mode);
  } else {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
  }
  close(fd);
  return -1;
}

std::string FILES_NotRegular(const char* path) {
  struct stat st;
  if (stat(path, &st) == 0) return S_ISREG(st.st_mode) ? std::string() : kind_of(st.st_mode);
  return errno == ENOENT ? std::string() : open_error(errno);
}

bool FILES_WriteAll(int fd, const u8* data, size_t size) {
  while (size > 0) {
    const ssize_t put = write(fd, data, size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      if (put == 0) errno = EIO;
      return false;
    }
    data += put;
    size -= size_t(put);
  }
  return true;
}

bool FILES_Exists(const char* path) {
  struct stat st;
  return lstat(path, &st) == 0;
}

std::optional<FILES_Id> FILES_IdOf(const char* path) {
  struct stat st;
  if (stat(path, &st) != 0) return std::nullopt;
  return FILES_IdOf(st);
}

namespace {

// Opens `path` (the entry itself, or what it leads to) to be held, into
// `fd`, and tells what it is. Out of descriptors, it is still told, known
// by device, inode and kind alone, which keeps it from being written over
// at the risk of taking a new file given its inode for it. False where
// nothing is.
bool open_held(const char* path, bool follow, int& fd, struct stat& st) {
  fd = open(path, O_PATH | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW));
  if (fd >= 0 && fstat(fd, &st) == 0) return true;
  if (fd >= 0) close(fd);
  fd = -1;
  return (follow ? stat(path, &st) : lstat(path, &st)) == 0;
}

}  // namespace

void FILES_HeldEntry::Hold(const char* path) {
  LetGo();
  struct stat st;
  if (!open_held(path, false, fd_, st)) return;
  held_ = true;
  id_ = FILES_IdOf(st);
  kind_ = u32(st.st_mode & S_IFMT);
  // A symbolic link is also what it leads to: a file saved through it since
  // replaces that, not the link. A link to nothing leads nowhere.
  if (!S_ISLNK(st.st_mode) || !open_held(path, true, target_fd_, st)) return;
  has_target_ = true;
  target_id_ = FILES_IdOf(st);
}

void FILES_HeldEntry::LetGo() {
  if (fd_ >= 0) close(fd_);
  if (target_fd_ >= 0) close(target_fd_);
  fd_ = target_fd_ = -1;
  held_ = has_target_ = filled_ = gone_ = target_gone_ = false;
}

void FILES_HeldEntry::LetGoOfGone() {
  const auto unlinked = [](int& fd, bool& gone) {
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || st.st_nlink != 0) return;
    close(fd);
    fd = -1;
    gone = true;
  };
  unlinked(fd_, gone_);
  unlinked(target_fd_, target_gone_);
}

bool FILES_HeldEntry::IsAt(const char* path) const {
  if (!held_) return false;
  struct stat st;
  const bool leads = stat(path, &st) == 0;
  const FILES_Id reached = leads ? FILES_IdOf(st) : FILES_Id{};
  const u32 kind = leads ? u32(st.st_mode & S_IFMT) : 0;
  // What a save at the path would replace is the held file (moved, with a
  // link to it put in its place): still that one, whatever leads to it.
  // Known by what it was alone (held out of descriptors), it is taken for
  // that one too rather than written over. The state saved where a held
  // link led nowhere is no held file: reached but through that link, it is
  // what replaced the link.
  const bool at_target = has_target_ && !filled_ && !target_gone_ && reached == target_id_;
  if (leads && ((!gone_ && reached == id_ && kind == kind_) || at_target)) return true;
  // Gone, it is nowhere; a link that was is still known by what it led to.
  if (gone_) return false;
  if (lstat(path, &st) != 0 || FILES_IdOf(st) != id_ || u32(st.st_mode & S_IFMT) != kind_) return false;
  // One no longer linked anywhere is not there, whatever the file system
  // numbers a new file.
  struct stat own;
  if (fd_ >= 0 && (fstat(fd_, &own) != 0 || own.st_nlink == 0)) return false;
  // A link that leads to another file than it did: what it led to was
  // replaced (a link held alone stands for nothing it leads to). One that
  // leads nowhere now is still the link it was.
  return !has_target_ || filled_ || !leads || at_target;
}

void FILES_HeldEntry::HoldFilled(const char* path) {
  Hold(path);
  filled_ = has_target_;
}

bool FILES_HeldEntry::LeadsToFilled(const char* path) const {
  struct stat st;
  return filled_ && !target_gone_ && stat(path, &st) == 0 && FILES_IdOf(st) == target_id_;
}

bool FILES_SamePlace(const char* a, const char* b) {
  const std::filesystem::path pa(a), pb(b);
  if (pa.filename() != pb.filename() || pa.filename().empty()) return false;
  const auto folder_a = FILES_IdOf(pa.has_parent_path() ? pa.parent_path().c_str() : ".");
  return folder_a && folder_a == FILES_IdOf(pb.has_parent_path() ? pb.parent_path().c_str() : ".");
}

bool FILES_LeadsThrough(const char* name, const char* path) {
  std::filesystem::path place(name);
  // As many links as the kernel follows: a loop leads nowhere further.
  for (int link = 0; link <= 40; ++link) {
    if (FILES_SamePlace(path, place.c_str())) return true;
    std::error_code error;
    const std::filesystem::path target = std::filesystem::read_symlink(place, error);
    if (error) return false;
    place = target.is_absolute() ? target : place.parent_path() / target;
  }
  return false;
}

bool FILES_PassesThrough(const char* name, const char* path) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path whole = fs::absolute(name, error);
  if (error) return false;
  // Walked a part at a time, as the kernel does: a link's target takes its
  // place among the parts still to walk. `at` holds no link, so ".." in a
  // target is its folder.
  const fs::path parts = whole.relative_path();
  std::deque<fs::path> ahead(parts.begin(), parts.end());
  fs::path at = whole.root_path();
  for (int links = 0; !ahead.empty();) {
    const fs::path part = ahead.front();
    ahead.pop_front();
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      at = at.parent_path();
      continue;
    }
    const fs::path next = at / part;
    if (FILES_SamePlace(path, next.c_str())) return true;
    const fs::path target = fs::read_symlink(next, error);
    if (error) {
      at = next;
      continue;
    }
    // As many links as the kernel follows: a loop leads nowhere further.
    if (++links > 40) return false;
    const fs::path rest = target.relative_path();
    ahead.insert(ahead.begin(), rest.begin(), rest.end());
    if (target.is_absolute()) at = target.root_path();
  }
  return false;
}

bool FILES_SameEnd(const char* a, const char* b) {
  std::error_code error_a, error_b;
  const std::filesystem::path end_a = std::filesystem::canonical(a, error_a),
                              end_b = std::filesystem::canonical(b, error_b);
  // Known by its folder and name, not by how the path reads: a folder also
  // mounted elsewhere is one folder.
  return !error_a && !error_b && FILES_SamePlace(end_a.c_str(), end_b.c_str());
}

std::optional<FILES_Id> FILES_IdOf(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0) return std::nullopt;
  return FILES_IdOf(st);
}

bool FILES_WriteWhole(const char* path, const u8* data, size_t size, std::string& error) {
  // The file to replace: through symbolic links, their final target.
  std::string target = path;
  struct stat st;
  const bool exists = stat(path, &st) == 0;
  if (exists) {
    char resolved[PATH_MAX];
    if (!S_ISREG(st.st_mode)) {
      error = target + " " + kind_of(st.st_mode);
      return false;
    }
    if (!realpath(path, resolved)) {
      error = target + " " + open_error(errno);
      return false;
    }
    target = resolved;
  } else if (errno != ENOENT) {
    error = target + " " + open_error(errno);
    return false;
  } else if (FILES_Exists(path)) {
    error = target + " is a symbolic link to nothing";
    return false;
  }

  std::string temp = target + ".XXXXXX";
  const int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    error = "can't create a file beside " + target + " (" + std::strerror(errno) + ")";
    return false;
  }
  mode_t mode;
  if (exists) {
    mode = st.st_mode & 07777;
    // Only a privileged writer may hand the file back to its owner; anyone
    // else keeps it.
    if (fchown(fd, st.st_uid, st.st_gid) != 0) errno = 0;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  int failure = 0;
  if (fchmod(fd, mode) != 0 || !FILES_WriteAll(fd, data, size) || fsync(fd) != 0)
    failure = errno ? errno : EIO;
  if (close(fd) != 0 && !failure) failure = errno;
  if (!failure && rename(temp.c_str(), target.c_str()) != 0) failure = errno;
  if (failure) {
    error = "can't write " + target + " (" + std::strerror(failure) + ")";
    unlink(temp.c_str());
    return false;
  }
  // The rename reaches the disk with its folder.
  const int dir = open(folder_of(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}

int FILES_AnonymousFile(const std::string& folder, const char* prefix, const char* suffix,
                        std::string& error) {
  std::string name = folder + "/" + prefix + "-XXXXXX" + suffix;
  const int fd = mkostemps(name.data(), int(std::strlen(suffix)), O_CLOEXEC);
  if (fd < 0) {
    error = "can't create a file in " + folder + ": " + std::strerror(errno);
    return -1;
  }
  unlink(name.c_str());
  return fd;
}

std::string FILES_SetAside(const std::string& path, const char* why, std::string& error) {
  for (u32 n = 1; n < 100; ++n) {
    std::string aside = path + " (" + why;
    if (n > 1) aside += ' ' + std::to_string(n);
    aside += ')';
    // A new name for the same file, then the old name goes: a file already
    // there under the new name is never replaced.
    if (link(path.c_str(), aside.c_str()) == 0) {
      unlink(path.c_str());
      return aside;
    }
    if (errno == EEXIST) continue;
    // A folder, which takes no second name, or a file system without links:
    // a rename that may not replace anything (a folder renamed would replace
    // an empty one).
    if (renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0) return aside;
    if (errno == EEXIST) continue;
    int failure = errno;
    // A file system that can't promise that: the name is looked at first.
    if (failure == EINVAL || failure == ENOSYS) {
      if (FILES_Exists(aside.c_str())) continue;
      if (rename(path.c_str(), aside.c_str()) == 0) return aside;
      failure = errno;
    }
    error = "can't rename " + path + " (" + std::strerror(failure) + ")";
    return std::string();
  }
  error = "can't rename " + path + ": every name for it is taken";
  return std::string();
}
