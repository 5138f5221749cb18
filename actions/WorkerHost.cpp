#include "actions/WorkerHost.h"

#include <cstdio>

namespace varnel {

namespace {

std::string Megabytes(double bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", bytes / 1e6);
  return text;
}

std::string WhatIsDone(const TProgress& progress) {
  switch (progress.Kind) {
    case pkDownload: {
      std::string label = "Downloading files... " + Megabytes(static_cast<double>(progress.Done));
      if (progress.Total >= 0) label += " of " + Megabytes(static_cast<double>(progress.Total));
      label += " MB";
      if (progress.BytesPerSecond > 0) label += ", " + Megabytes(progress.BytesPerSecond) + " MB/s";
      return label;
    }
    case pkExtract:
      return "Unpacking files... " + std::to_string(progress.Done) + " of " +
             std::to_string(progress.Total);
    case pkDelete:
      return "Deleting files...";
    case pkReconnect:
      return "Reconnecting (" + std::to_string(progress.Done) + " of " +
             std::to_string(progress.Total) + ")...";
  }
  return {};
}

}  // namespace

std::string ProgressLabel(const TProgress& progress) {
  const std::string label = WhatIsDone(progress);
  return progress.Item.empty() ? label : progress.Item + ": " + label;
}

}  // namespace varnel
