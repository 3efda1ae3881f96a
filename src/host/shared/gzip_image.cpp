// gzip floppy images: suffix tests, the path of a file that may not exist
// yet, and the unpacking through zlib into the application's folder.
#include "host/shared/gzip_image.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "common/files.h"
#include "host/app.h"

namespace fs = std::filesystem;

namespace {

bool has_suffix(std::string_view name, std::string_view suffix) {
  if (name.size() <= suffix.size()) return false;
  const std::string_view tail = name.substr(name.size() - suffix.size());
  return std::equal(tail.begin(), tail.end(), suffix.begin(),
                    [](char a, char b) { return std::toupper(u8(a)) == b; });
}

std::string file_name(const std::string& path) { return fs::path(path).filename().string(); }

// The whole decompressed stream, read in pieces of 256 bytes, when it is a
// complete gzip stream shorter than the buffer; otherwise why not.
bool read_gzip(gzFile gz, std::vector<u8>& buffer, size_t& size, std::string& why) {
  if (gzdirect(gz) != 0) {
    why = "is no gzip-compressed image";
    return false;
  }
  size = 0;
  while (size < buffer.size()) {
    const unsigned want = unsigned(std::min<size_t>(256, buffer.size() - size));
    const int n = gzread(gz, buffer.data() + size, want);
    if (n <= 0) break;  // the end, or an error gzerror reports
    size += size_t(n);
  }
  int err = Z_OK;
  gzerror(gz, &err);
  if (err != Z_OK) {
    why = "is a damaged or cut gzip image";
    return false;
  }
  if (size >= buffer.size()) {
    why = "unpacks to more than 999,999 bytes";
    return false;
  }
  return true;
}

}  // namespace

bool DISKIMG_NameIsGz(std::string_view name) { return has_suffix(name, ".GZ"); }
bool DISKIMG_NameIsZip(std::string_view name) { return has_suffix(name, ".ZIP"); }
bool DISKIMG_SpecIsGz(const std::string& path) { return DISKIMG_NameIsGz(file_name(path)); }
bool DISKIMG_SpecIsZip(const std::string& path) { return DISKIMG_NameIsZip(file_name(path)); }

i32 DISKIMG_SpecToPosixPath(const std::string& spec, std::string& out) {
  std::error_code ec;
  const fs::path p = fs::absolute(spec, ec);
  if (ec) return ec.value();
  fs::path resolved = fs::canonical(p, ec);
  if (ec == std::errc::no_such_file_or_directory) {
    // Not there yet: the folder must be.
    resolved = fs::canonical(p.parent_path(), ec);
    if (ec) return ec.value();
    resolved /= p.filename();
  } else if (ec) {
    return ec.value();
  }
  out = resolved.string();
  return 0;
}

int DISKIMG_UnpackCompressed(const std::string& image, std::string& why, int* packed) {
  if (!DISKIMG_SpecIsGz(image)) {
    why = "is no .gz image";
    return -1;
  }
  std::string path;
  const i32 err = DISKIMG_SpecToPosixPath(image, path);
  if (err != 0) {
    why = std::string("can't be found (") + std::strerror(err) + ")";
    return -1;
  }
  const int fd = FILES_OpenRegular(path.c_str(), O_RDONLY, why);
  if (fd < 0) return -1;
  // zlib closes the descriptor it reads: a caller that keeps the file gets
  // another of it.
  const int kept = packed ? fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1;
  const auto fail = [&] {
    if (kept >= 0) close(kept);
    return -1;
  };
  gzFile gz = packed && kept < 0 ? nullptr : gzdopen(fd, "rb");
  if (!gz) {
    close(fd);
    why = "can't be read";
    return fail();
  }
  std::vector<u8> buffer(DISKIMG_GzBufferSize);
  size_t size = 0;
  const bool unpacked = read_gzip(gz, buffer, size, why);
  gzclose(gz);
  if (!unpacked) return fail();
  // A file of a unique name whose name goes at once, as an MSA expansion's:
  // no file of the user's is replaced, and nothing is left behind.
  std::string reason;
  const int out = FILES_AnonymousFile(APP_Folder.path, DISKIMG_GzTempPrefix, ".st", reason);
  if (out < 0) {
    why = "can't be unpacked: " + reason;
    return fail();
  }
  if (!FILES_WriteAll(out, buffer.data(), size) || lseek(out, 0, SEEK_SET) != 0) {
    why = std::string("can't be unpacked (") + std::strerror(errno) + ")";
    close(out);
    return fail();
  }
  if (packed) *packed = kept;
  return out;
}

bool HOST_UnpacksByName(const char* path) { return DISKIMG_SpecIsGz(path); }

int HOST_UnpackImage(const char* path, std::string& why, int* packed) {
  if (!HOST_UnpacksByName(path)) return HOST_NotPacked;
  const int fd = DISKIMG_UnpackCompressed(path, why, packed);
  return fd >= 0 ? fd : HOST_UnpackFailed;
}
