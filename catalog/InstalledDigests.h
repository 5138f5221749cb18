// What each installed program was unpacked from: the SHA-256 of its archive, which tells an
// installed program the catalogue now offers another archive for. DataDir keeps the digests in
// one state file, ".varnel-installed", a line "<64 hexadecimal digits> <name>" per program. An
// install also puts a marker, ".varnel-installing" holding the digest, at the top of the tree it
// swaps in, so that the digest changes with the folder in the swap itself; the state file takes
// it in right after and the marker goes. A marker still there (a crash came in between) counts
// over the state file, and the next start folds it in. Plain functions; any thread: the state
// file is replaced by a rename, so a reader sees the old one or the new one whole.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace varnel {

class TRepositoryLines;

inline constexpr const char* kInstalledDigestsFile = ".varnel-installed";
inline constexpr const char* kInstallMarker = ".varnel-installing";

// Program name -> the SHA-256 of the archive its folder was unpacked from.
using TInstalledDigests = std::map<std::string, std::string>;

// The state file's records; none when it is missing. Lines that don't read are skipped.
TInstalledDigests ReadInstalledDigests(IFileSystem& fileSystem, const std::string& dataDir);
// Writes the records beside the state file and renames them over it.
void WriteInstalledDigests(IFileSystem& fileSystem, const std::string& dataDir,
                           const TInstalledDigests& digests);
// The digest name's folder was unpacked from: its marker's, else the record's; nothing when it
// is not known (a program installed before digests were kept).
std::optional<std::string> InstalledDigest(IFileSystem& fileSystem, const std::string& dataDir,
                                           const TInstalledDigests& digests,
                                           const std::string& name);
// True when the catalogue offers name another archive than the one its folder holds: both
// digests are known and differ. A program without either counts as current, as does one whose
// record's integrity line can't be read.
bool IsOutdated(IFileSystem& fileSystem, const std::string& dataDir,
                const TInstalledDigests& digests, const TRepositoryLines& catalogue,
                const std::string& name);
// The installed programs IsOutdated holds for, by name.
std::vector<std::string> OutdatedPrograms(IFileSystem& fileSystem, const std::string& dataDir,
                                          const TInstalledDigests& digests,
                                          const TRepositoryLines& catalogue);
// Takes the digests of markers an interrupted install left into the state file and removes
// the markers. REQUIRES: the instance lock is held.
void RecoverInstalledDigests(IFileSystem& fileSystem, const std::string& dataDir);

}  // namespace varnel
