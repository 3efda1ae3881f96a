#include "support/shell.h"

#include <sys/wait.h>

#include <cstdio>

ShellResult shell(const std::string& command) {
  ShellResult r{-1, {}};
  const std::string cmd = "MTOOLS_SKIP_CHECK=1 " + command + " 2>&1";
  std::FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int status = pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::string shell_quote(const std::string& path) {
  std::string q = "'";
  for (char c : path) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

#ifdef FAT_TOOLS
namespace {
std::string failure(const ShellResult& r) {
  return r.status == 0 ? std::string() : r.out.empty() ? std::string("failed") : r.out;
}
}  // namespace

std::string fat_new_volume(const std::string& image, unsigned kib) {
  return failure(shell(std::string(MKFS_FAT) + " -C -F 16 -S 512 -s 4 -n STDISK " +
                       shell_quote(image) + " " + std::to_string(kib) + " > /dev/null"));
}

std::string fat_make_dir(const std::string& image, const std::string& dir) {
  return failure(shell(std::string(MTOOLS_MMD) + " -i " + shell_quote(image) + " ::" + dir));
}

std::string fat_new_floppy(const std::string& image, const std::string& label) {
  return failure(shell(std::string(MTOOLS_MFORMAT) + " -C -f 720 -v " + shell_quote(label) +
                       " -i " + shell_quote(image) + " ::"));
}

std::string fat_copy_in(const std::string& image, const std::string& from, const std::string& to) {
  return failure(shell(std::string(MTOOLS_MCOPY) + " -o -i " + shell_quote(image) + " " +
                       shell_quote(from) + " " + shell_quote("::" + to)));
}

ShellResult fat_read(const std::string& image, const std::string& name) {
  return shell(std::string(MTOOLS_MTYPE) + " -i " + shell_quote(image) + " " +
               shell_quote("::" + name));
}

std::string fat_check(const std::string& image) {
  return failure(shell(std::string(FSCK_FAT) + " -n " + shell_quote(image) + " > /dev/null"));
}

ShellResult fat_list(const std::string& image) {
  return shell(std::string(MTOOLS_MDIR) + " -b -i " + shell_quote(image) + " ::");
}
#endif
