// Host commands in tests: the FAT tools that make and read disk images, and
// the headless runner.
#pragma once

#include <string>

struct ShellResult {
  int status;  // the command's exit status, -1 when it didn't exit normally
  std::string out;  // standard output and standard error, in their order
};

// Runs `command` with /bin/sh, mtools' geometry check switched off (our
// images have no partition table).
ShellResult shell(const std::string& command);

// `path` quoted for the shell.
std::string shell_quote(const std::string& path);

// The FAT tools (when the build found them: FAT_TOOLS is defined). Each
// returns what the tool printed when it failed, or an empty string.
#ifdef FAT_TOOLS
// A new FAT16 volume of `kib` KB with 512-byte sectors and 4 of them a
// cluster, without a partition table.
std::string fat_new_volume(const std::string& image, unsigned kib);
std::string fat_make_dir(const std::string& image, const std::string& dir);
// A new 720 KB floppy named `label` (its serial number mtools' own).
std::string fat_new_floppy(const std::string& image, const std::string& label);
// Copies the host file `from` onto the image as `to` (as "AUTO/X.PRG").
std::string fat_copy_in(const std::string& image, const std::string& from, const std::string& to);
// The bytes of the image's file `name` (empty and failed when missing).
ShellResult fat_read(const std::string& image, const std::string& name);
// The root directory's names, one a line ("::/NAME.EXT", "::/DIR/").
ShellResult fat_list(const std::string& image);
// What fsck.fat finds wrong with the volume, read only (empty when clean).
std::string fat_check(const std::string& image);
#endif
