// Floppy images compressed with gzip: the name tests that recognise ".gz" and
// ".zip" images, the unpacking of a ".gz" image into "tempgzip.st" in the
// application's folder (which the floppy code can then open like any other
// image), and the path conversion the unpacking starts from. Zip archives are
// recognised but not unpacked. The disk-insertion path does not use this
// unit yet.
#pragma once

#include <string>
#include <string_view>

#include "common/types.h"

// The unpacking buffer: an image unpacks to at most one byte less.
constexpr u32 DISKIMG_GzBufferSize = 1000000;
constexpr const char* DISKIMG_GzTempName = "tempgzip.st";

// Whether a file name ends in ".gz" or ".zip", in any case; the suffix alone
// is no name.
bool DISKIMG_NameIsGz(std::string_view name);
bool DISKIMG_NameIsZip(std::string_view name);
// The same tests on the file name of a path.
bool DISKIMG_SpecIsGz(const std::string& path);
bool DISKIMG_SpecIsZip(const std::string& path);

// The absolute path of `spec` with every symbolic link resolved, into `out`;
// for a file that does not exist yet, its folder's such path and its name.
// Returns 0, or the errno value of the failure (the folder missing, a link
// loop, no permission).
i32 DISKIMG_SpecToPosixPath(const std::string& spec, std::string& out);

// Unpacks the gzip image `spec` into "tempgzip.st" in the application's
// folder, which it replaces whole, and returns that file's path. Returns an
// empty string, and leaves the folder as it was, when the name is not ".gz",
// the file is no gzip stream (zlib would read a plain file as it is), the
// stream is damaged or cut short, or the image is larger than 999,999
// bytes; also, with the old "tempgzip.st" gone, when the new one cannot be
// written.
std::string DISKIMG_UnpackCompressed(const std::string& spec);
