// The extraction driver: selection by mask and attributes, the processing loop with its
// progress events, and the decision after an entry failed.
#include <mutex>
#include <optional>

#include "platform/Paths.h"
#include "platform/ScopeGuard.h"
#include "zip/ZipArchiver.h"
#include "zip/ZipDecoder.h"
#include "zip/ZipDirManager.h"
#include "zip/ZipMasks.h"

namespace varnel {

namespace {

// One extraction at a time in the whole process. The thread holding it may enter again, as
// when a progress handler runs an extraction of its own.
std::recursive_mutex& ProcessingLock() {
  static std::recursive_mutex lock;
  return lock;
}

std::string FileNamePart(const std::string& name) {
  size_t cut = name.find_last_of("/\\");
  return cut == std::string::npos ? name : name.substr(cut + 1);
}

std::string FolderPart(std::string name) {
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  return LowerName(ExtractFilePath(name));
}

}  // namespace

void TBaseArchiver::DoOnFileProgress(const std::string& fileName, TZipProcessOperation operation,
                                     double progress, TZipProgressPhase phase, bool& cancel) {
  if (OnFileProgress) {
    OnFileProgress(this, fileName, progress, operation, phase, cancel);
  } else {
    cancel = false;
  }
}

void TBaseArchiver::DoOnOverallProgress(TZipProcessOperation operation, TZipProgressPhase phase,
                                        double progress, bool& cancel) {
  if (OnOverallProgress) {
    OnOverallProgress(this, progress, operation, phase, cancel);
  } else {
    cancel = false;
  }
}

void TBaseArchiver::DoOnProcessFileFailure(const std::string& fileName,
                                           TZipProcessOperation operation, const EZipException& e,
                                           TZipAction& action) {
  action = fxaIgnore;
  if (OnProcessFileFailure) {
    OnProcessFileFailure(this, fileName, operation, e.NativeError(), e.ErrorCode(), e.Message(),
                         action);
    return;
  }
  if (e.NativeError() == 45) {
    action = fxaAbort;
    return;
  }
  TModalResult answer =
      e.NativeError() == 61
          ? prompt_.FileFailureDlg(e.Message(), mbAbort | mbIgnore, e.NativeError(), e.Message())
          : prompt_.FileFailureDlg(e.Message() + ". File processing error, possibly disk is full",
                                   mbAbort | mbRetry | mbIgnore, e.NativeError(), e.Message());
  action = answer == mrRetry ? fxaRetry : answer == mrIgnore ? fxaIgnore : fxaAbort;
}

void TBaseArchiver::ExtractFiles(const std::string& fileMask, uint32_t searchAttr,
                                 const std::string& exclusionMask) {
  if (!active_) throw EZipException(13, {}, Name);
  SelectItems(fileMask, searchAttr, exclusionMask);
  ProcessItems();
}

void TBaseArchiver::SelectItems(const std::string& fileMask, uint32_t searchAttr,
                                const std::string& exclusionMask) {
  for (TZipDirItem& item : dir_->Items) item.Selected = false;
  std::string mask = fileMask;
  if (mask.size() >= 2 && mask[1] == ':' && Options.StorePath != spFullPathWithDrive) {
    mask.erase(0, 2);
  }
  for (char& c : mask) {
    if (c == '\\') c = '/';
  }
  std::string maskFolder = FolderPart(mask);
  for (TZipDirItem& item : dir_->Items) {
    std::string name = item.Name;
    if (!name.empty() && (name.back() == '/' || name.back() == '\\')) name.pop_back();
    if (!Options.Recurse && FolderPart(name) != maskFolder) continue;
    bool match = MatchesMask(name, mask) || MatchesMask(FileNamePart(name), mask);
    if (!match || MatchesMask(name, exclusionMask)) continue;
    if ((item.ExternalAttr & 0x1E & ~searchAttr) != 0) continue;
    item.Selected = true;
  }
}

void TBaseArchiver::ProcessItems() {
  std::lock_guard<std::recursive_mutex> hold(ProcessingLock());
  processedCount_ = 0;
  selectedCount_ = 0;
  Cancel = false;
  TRestore<bool> processing(processingActive_, true);
  localTime_.Reload();
  knownFolder_.clear();
  newFileFolder_.clear();
  // The decode thread and the folders known live for the run.
  TScopeExit endRun([this] {
    decodeThread_.reset();
    knownFolder_.clear();
    newFileFolder_.clear();
  });
  for (const TZipDirItem& item : dir_->Items) selectedCount_ += item.Selected ? 1 : 0;

  DoOnOverallProgress(poExtract, ppStart, 0.0, Cancel);
  if (Cancel) return;
  TZipAction action = fxaIgnore;
  for (int i = 0; i < ItemCount(); ++i) {
    TZipDirItem& item = dir_->Items[static_cast<size_t>(i)];
    if (!item.Selected) continue;
    item.PendingOperation = poExtract;
    do {
      action = fxaIgnore;
      std::optional<EZipException> failure;
      // On Linux names keep "/" as their separator.
      std::string entryName = item.Name;
      try {
        bool confirm = true;
        if (OnConfirmProcessFile) OnConfirmProcessFile(this, entryName, poExtract, confirm);
        if (!confirm) break;
        std::string base = BaseDir;
        if (base.empty()) {
          if (currentDir_.empty()) currentDir_ = fileSystem_.CurrentFolder();
          base = currentDir_;
        }
        std::string destDir = IncludeTrailingPathDelimiter(base);
        DoOnFileProgress(item.Name, poExtract, 0.0, ppStart, Cancel);
        if (Cancel) break;
        failure = ExtractEntry(i, entryName, destDir);
        if (!failure) {
          bool cancelled = Cancel;
          DoOnFileProgress(item.Name, poExtract, 100.0, ppEnd, Cancel);
          Cancel = Cancel || cancelled;
          if (Cancel) break;
          ++processedCount_;
        }
      } catch (const EZipException& e) {
        DoOnProcessFileFailure(entryName, poExtract, e, action);
      }
      if (failure) DoOnProcessFileFailure(entryName, poExtract, *failure, action);
    } while (action == fxaRetry);
    if (action == fxaAbort || Cancel) break;
  }
  bool cancelled = Cancel;
  DoOnOverallProgress(poExtract, ppEnd, 100.0, Cancel);
  Cancel = Cancel || cancelled;
}

}  // namespace varnel
