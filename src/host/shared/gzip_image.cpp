// gzip floppy images: suffix tests, the path of a file that may not exist
// yet, and the unpacking through zlib into the application's folder.
#include "host/shared/gzip_image.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
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
// complete gzip stream shorter than the buffer; false otherwise.
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
  std::string why;
  const int fd = DISKIMG_SpecToPosixPath(spec, path) == 0 ? FILES_OpenRegular(path.c_str(), O_RDONLY, why) : -1;
  if (fd < 0) return {};
  gzFile gz = gzdopen(fd, "rb");
  if (!gz) {
    close(fd);
    return {};
  }
  std::vector<u8> buffer(DISKIMG_GzBufferSize);
  size_t size = 0;
  const bool unpacked = read_gzip(gz, buffer, size);
  gzclose(gz);
  if (!unpacked) return {};
  // The old file goes first, so that a link in its place is replaced, never
  // followed; the new one is written whole or not at all.
  const std::string temp = (fs::path(APP_Folder.path) / DISKIMG_GzTempName).string();
  unlink(temp.c_str());
  std::string error;
  return FILES_WriteWhole(temp.c_str(), buffer.data(), size, error) ? temp : std::string();
}
