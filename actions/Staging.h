// Where an install or a catalogue update is unpacked before it touches DataDir: a fresh folder
// under AppDir + ".staging/", on the same file system as DataDir, so that what was unpacked
// moves into place by rename only once the extraction has succeeded. The staging folder owns
// everything in it and deletes it when it goes. Used on the worker thread.
#pragma once

#include <string>

#include "platform/FileSystem.h"

namespace varnel {

class TStagingFolder {
 public:
  // The file system must outlive the staging folder.
  TStagingFolder(IFileSystem& fileSystem, const std::string& appDir);
  ~TStagingFolder();
  TStagingFolder(const TStagingFolder&) = delete;
  TStagingFolder& operator=(const TStagingFolder&) = delete;

  // The folder the archive is unpacked into, ending in "/"; the extraction creates it.
  std::string Tree() const;
  // Puts the unpacked tree in the place of programFolder. Where there is none yet, the tree is
  // renamed into place. Otherwise the old version's files that the tree lacks are copied into
  // it and the two folders are exchanged in one step; the old version is deleted with the
  // staging folder, so a program running from it keeps its files. Nothing changes when the
  // archive made no tree.
  void ReplaceFolder(const std::string& programFolder);
  // Moves every file of the tree over its namesake below dataDir, lastFile (at the top) last.
  void MoveFilesInto(const std::string& dataDir, const std::string& lastFile);

 private:
  IFileSystem& fileSystem_;
  std::string path_;
};

// Deletes what unfinished commands left in AppDir + ".staging/" (a crash, a power cut).
void RemoveStagingLeftovers(IFileSystem& fileSystem, const std::string& appDir);

}  // namespace varnel
