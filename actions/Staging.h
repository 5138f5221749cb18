// Where a command downloads and unpacks before it touches DataDir: a job folder of its own under
// DataDir + ".varnel-staging/", so that every rename stays on DataDir's file system, also when
// data/ is a link to another disk. Once the extraction has succeeded, the unpacked tree takes
// the program folder's place, or its files the catalogue's, and a failure on the way puts back
// what was moved. The staging folder owns the job folder and deletes it when it goes. Used on
// the worker thread.
#pragma once

#include <string>

#include "platform/Exception.h"
#include "platform/FileSystem.h"

namespace varnel {

// What a failed replacement moved could not all be put back; the message says where it is.
VARNEL_EXCEPTION(ERollbackError, Exception);

class TStagingFolder {
 public:
  // The file system must outlive the staging folder. Raises EInOutError when the job folder
  // can't be made on DataDir's file system.
  TStagingFolder(IFileSystem& fileSystem, const std::string& dataDir);
  ~TStagingFolder();
  TStagingFolder(const TStagingFolder&) = delete;
  TStagingFolder& operator=(const TStagingFolder&) = delete;

  // Where the archive is downloaded: a name no other command uses.
  std::string ArchivePath() const;
  // The folder the archive is unpacked into, ending in "/"; the extraction creates it.
  std::string Tree() const;
  // Puts the unpacked tree in the place of programFolder. Where there is none yet, the tree is
  // renamed into place. Otherwise the old version's files that the tree lacks move into it and
  // the two folders are exchanged in one step; where the file system can't exchange, the old
  // folder moves aside into the job folder and the tree into its place. The old version is
  // deleted with the staging folder, so a program running from it keeps its files. A failure
  // puts every moved file back. A program folder that is a link is replaced as a link: its
  // target is not ours to take files from. Nothing changes when the archive made no tree.
  void ReplaceFolder(const std::string& programFolder);
  // Where the command puts files of the program's own (reserved names) that MoveFilesInto
  // moves into dataDir with the archive's files; ends in "/", made on first use.
  std::string OwnFiles();
  // Moves every file of the tree over its namesake below dataDir, then the program's own
  // files, then lastFile (at the top) last; the files replaced move aside into the job folder
  // and come back on a failure. Names the program keeps in dataDir for itself are taken from
  // OwnFiles() only, never from the archive.
  void MoveFilesInto(const std::string& dataDir, const std::string& lastFile);

 private:
  class TUndoLog;

  // Undoes log; where that fails, the job folder is kept and ERollbackError raised.
  void Restore(TUndoLog& log);

  IFileSystem& fileSystem_;
  std::string root_;  // DataDir + ".varnel-staging/"
  std::string path_;  // the job folder, ending in "/"
  int asideCount_ = 0;
};

// Deletes what unfinished commands left (a crash, a power cut, an older version): the job
// folders in DataDir's staging folder, AppDir + ".staging/" and AppDir + "temp.zip". A job
// folder kept by a failed rollback stays. REQUIRES: the instance lock is held.
void RemoveStagingLeftovers(IFileSystem& fileSystem, const std::string& appDir,
                            const std::string& dataDir);

}  // namespace varnel
