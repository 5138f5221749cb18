// Unpacks every entry of a ZIP archive into a folder, the way the commands install programs
// and the catalogue: one archive component per call, released before the call returns.
#pragma once

#include <functional>
#include <string>

#include "platform/FileSystem.h"
#include "platform/Prompt.h"
#include "zip/ZipArchiver.h"

namespace varnel {

class TCancelSignal;

// Receives the whole text for status panel 0.
using TStatusWriter = std::function<void(const std::string& panelText)>;

// What the command-line driver and the background commands add to the plain extraction.
struct TExtractExtras {
  bool extractCorruptedFiles = false;  // keep entries that fail the size or CRC-32 check
  bool oneThread = false;  // decode every entry on the calling thread, none ahead of the writing
  // Once signalled, the extraction stops at its next progress report and returns normally,
  // as after any cancel; the caller tells that apart by the signal.
  const TCancelSignal* cancel = nullptr;
  // After each entry unpacked: entries done so far, entries selected.
  std::function<void(int done, int selected)> onEntryDone;
  // Sees every file progress report besides the status text.
  std::function<void(const std::string& fileName, double progress, TZipProgressPhase phase)>
      onFileProgress;
};

// Opens zipPath (mode 0) and extracts "*.*" with attribute filter 10431 into
// destinationFolder through fileSystem, writing each file's progress to the status panel. Per-entry
// questions go to prompt; failures the component does not decide itself raise.
void ExtractArchive(IFileSystem& fileSystem, const std::string& zipPath,
                    const std::string& destinationFolder, IPrompt& prompt,
                    const TStatusWriter& statusWriter, const TExtractExtras& extras = {});

// n rounded to the nearest integer, halves to the even neighbour (12.5 -> 12, 13.5 -> 14).
long long RoundHalfToEven(double n);

// The status text of one file progress report: " Extracting " + name + " (" + n + "%)".
std::string ShowExtractProgress(const std::string& fileName, double progress);

}  // namespace varnel
