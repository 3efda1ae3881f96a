#include "host/shared/gzip_image.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <vector>

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

// Written beside the target under a unique name and renamed over it: an old
// file is replaced whole or not at all, and a link in its place is replaced,
// never followed.
bool write_whole(const std::string& path, const u8* data, size_t size) {
  std::string temp = path + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = true;
  for (size_t done = 0; ok && done < size;) {
    const ssize_t n = write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += size_t(n);
  }
  ok = close(fd) == 0 && ok;
  ok = ok && std::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) unlink(temp.c_str());
  return ok;
}

// The whole decompressed stream when it is a complete gzip stream of at most
// `limit` bytes, read in pieces of 256 bytes; nothing otherwise.
bool read_gzip(gzFile gz, std::vector<u8>& buffer, size_t& size) {
  if (gzdirect(gz) != 0) return false;  // not compressed
  size = 0;
  while (size < buffer.size()) {
    const unsigned want = unsigned(std::min<size_t>(256, buffer.size() - size));
    const int n = gzread(gz, buffer.data() + size, want);
    if (n < 0) return false;
    if (n == 0) break;
    size += size_t(n);
  }
  int err = Z_OK;
  gzerror(gz, &err);
  return err == Z_OK && size < buffer.size();
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

std::string DISKIMG_UnpackCompressed(const std::string& spec) {
  if (!DISKIMG_SpecIsGz(spec)) return {};  // zip archives are recognised, not unpacked
  std::string path;
  std::error_code ec;
  if (DISKIMG_SpecToPosixPath(spec, path) != 0 || !fs::is_regular_file(path, ec)) return {};
  gzFile gz = gzopen(path.c_str(), "rb");
  if (!gz) return {};
  std::vector<u8> buffer(DISKIMG_GzBufferSize);
  size_t size = 0;
  const bool unpacked = read_gzip(gz, buffer, size);
  gzclose(gz);
  if (!unpacked) return {};
  const std::string temp = (fs::path(APP_Folder.path) / DISKIMG_GzTempName).string();
  return write_whole(temp, buffer.data(), size) ? temp : std::string();
}
