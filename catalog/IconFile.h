// Reading a program's icon file at catalogue load. Only the icon file header is checked
// here; the images are decoded when the list first draws the icon.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Exception.h"
#include "platform/FileSystem.h"

namespace varnel {

// An icon file whose header is not that of an icon: "Icon image is not valid".
VARNEL_EXCEPTION(EInvalidGraphic, Exception);

// The size of the icon file header: reserved word, type word, image count (little-endian).
inline constexpr size_t kIconHeaderSize = 6;

// Far above any real icon file; a catalogue naming a huge file must not fill the memory.
inline constexpr int64_t kMaxIconFileSize = 16 << 20;

// Reads the whole file (others may read it meanwhile, not write). Raises EFOpenError when it
// cannot be opened and EInvalidGraphic when it is not a regular file, is shorter than the
// header, its type is above 1, or it is larger than kMaxIconFileSize.
std::string ReadIconFile(IFileSystem& fileSystem, const std::string& path);
// The header test of ReadIconFile on bytes already read.
void CheckIconHeader(std::string_view bytes);

}  // namespace varnel
