#include "actions/ExtractArchive.h"

#include <cmath>

#include "platform/CancelSignal.h"

namespace varnel {

long long RoundHalfToEven(double n) {
  double whole = std::floor(n);
  double rest = n - whole;
  auto lower = static_cast<long long>(whole);
  if (rest < 0.5) return lower;
  if (rest > 0.5) return lower + 1;
  return lower % 2 == 0 ? lower : lower + 1;
}

std::string ShowExtractProgress(const std::string& fileName, double progress) {
  return " Extracting " + fileName + " (" + std::to_string(RoundHalfToEven(progress)) + "%)";
}

void ExtractArchive(IFileSystem& fileSystem, const std::string& zipPath,
                    const std::string& destinationFolder, IPrompt& prompt,
                    const TStatusWriter& statusWriter, const TExtractExtras& extras) {
  TZipArchiver zip(fileSystem, prompt);
  int entriesDone = 0;
  zip.OnFileProgress = [&](TBaseArchiver* sender, const std::string& fileName, double progress,
                           TZipProcessOperation, TZipProgressPhase phase, bool& cancel) {
    if (extras.onFileProgress) extras.onFileProgress(fileName, progress, phase);
    statusWriter(ShowExtractProgress(fileName, progress));
    if (phase == ppEnd && extras.onEntryDone) {
      extras.onEntryDone(++entriesDone, sender->SelectedCount());
    }
    if (extras.cancel && extras.cancel->Cancelled()) cancel = true;
  };
  zip.FileName = zipPath;
  zip.BaseDir = destinationFolder;
  zip.ExtractCorruptedFiles = extras.extractCorruptedFiles;
  zip.DecodeAhead = !extras.oneThread;
  zip.OpenArchive(0);
  zip.ExtractFiles("*.*", 10431, "");
  zip.CloseArchive();
}

}  // namespace varnel
