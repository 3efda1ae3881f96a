// A full disk in miniature: a file system of `bytes` mounted on `folder`
// where the process may mount one (as root), else a limit on the size of
// each file the process writes. room() ends the shortage; the destructor
// takes the file system away (lazily, as files may still be open on it).
#pragma once

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

#include "support/file_size_limit.h"

class FullDisk {
 public:
  FullDisk(const std::string& folder, rlim_t bytes) : folder_(folder) {
    const std::string size = "size=" + std::to_string(bytes);
    mounted_ = mount("tmpfs", folder.c_str(), "tmpfs", 0, size.c_str()) == 0;
    if (!mounted_) limit_.emplace(bytes);
  }
  ~FullDisk() {
    if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
  }
  FullDisk(const FullDisk&) = delete;
  FullDisk& operator=(const FullDisk&) = delete;

  // What a write past the room fails with, as strerror says it.
  std::string reason() const { return std::strerror(mounted_ ? ENOSPC : EFBIG); }
  void room() {
    if (mounted_) mount("tmpfs", folder_.c_str(), "tmpfs", MS_REMOUNT, "size=64m");
    limit_.reset();
  }

 private:
  std::string folder_;
  bool mounted_;
  std::optional<FileSizeLimit> limit_;
};
