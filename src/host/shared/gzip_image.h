// Floppy images compressed with gzip: the name tests that recognise ".gz" and
// ".zip" images, the unpacking of a ".gz" image into an anonymous file of the
// application's folder (which the floppy code then opens like any other
// image: HOST_UnpackImage, host/app.h), and the path conversion the
// unpacking starts from. Zip archives are recognised but not unpacked.
#pragma once

#include <string>
#include <string_view>

#include "common/types.h"

// The unpacking buffer: an image unpacks to at most one byte less.
constexpr u32 DISKIMG_GzBufferSize = 1000000;
// The unpacked copy is a file "tempgzip-XXXXXX.st" whose name is removed at
// once: it never meets a file of the user's.
constexpr const char* DISKIMG_GzTempPrefix = "tempgzip";

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

// Unpacks the gzip image `image` into an anonymous file of the application's
// folder and returns its descriptor, open for reading and writing at its
// start; closing it removes the file. Returns -1, with `why` saying what went
// wrong as words that follow the file's name, when the name is not ".gz",
// the file is no gzip stream (zlib would read a plain file as it is), the
// stream is damaged or cut short, the image is larger than 999,999 bytes, or
// the copy can't be written (a full disk); nothing is left in the folder
// then. With `packed`, an unpacked image also leaves there a read-only
// descriptor of the gzip file itself, which the caller closes.
int DISKIMG_UnpackCompressed(const std::string& image, std::string& why, int* packed = nullptr);
