#include "zip/ZipException.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <utility>

namespace varnel {

namespace {

constexpr std::array<const char*, 40> kMessages = {
    "Unknown error",
    "Index out of bounds",
    "Invalid compression mode. Mode must be in [0-9] range",
    "Unexpected nil pointer",
    "Invalid size or check sum of file or unsupported compression format",
    "File name is blank. Specify appropriate file name",
    "File \"%s\" not found",
    "Archive is not open",
    "SFXStub property is not specified",
    "Cannot create file \"%s\"",
    "Cannot create directory \"%s\"",
    "Internal error. Update is not started",
    "Cannot open file \"%s\"",
    "Cannot proceed when update is not ended. Preceding EndUpdate call is required.",
    "Cannot delete file \"%s\"",
    "In-memory archive can be created only",
    "File is open in read-only mode",
    "Invalid compressed size, rfs.size = %d, count = %d",
    "Invalid archive file.",
    "Cannot create output file. Probably file is locked by another process. FileName = '%s'.",
    "Archive is open. You should close it beore performing this operation.",
    "Unable to create directory",
    "Cannot find Zip64 directory end record",
    "Cannot compress file '%s'. Zip64 mode is not enabled",
    "Cannot open archive file. Opening aborted or invalid file",
    "Write to stream error",
    "Cannot place SFX stub on volume. Volume size limit is too small",
    "Archive is damaged. Open failed",
    "MakeSFX is not allowed for splitted or spanned archives. Set SFXStub before archive "
    "creation instead of MakeSFX",
    "Archive already has SFX stub",
    "Multi-volume archive is not allowed for custom stream",
    "Multi-spanned archive is not allowed for modification. Use BeginUpdate/EndUpdate methods "
    "to add files several times",
    "Deflate64 compression method is not supported",
    "MakeSFX error",
    "Hashed list of file names is invalid",
    "Cannot delete folder \"%s\"",
    "File name is too long: \r\n\"%s\"",
    "Multiple transactions are not supported for multi-volume archives",
    "Invalid InitVector index = %d. Index should be >= 0 and < %d",
    "Disk is full. There is not enough free space on disk.",
};

// (raise-site code, message index); the first pair with the code wins.
constexpr std::pair<int, int> kCodes[] = {
    {0, 0},   {1, 1},   {2, 1},   {3, 1},   {4, 1},   {7, 1},   {16, 1},  {21, 1},  {24, 1},
    {5, 2},   {6, 3},   {8, 4},   {9, 5},   {10, 5},  {29, 5},  {11, 6},  {12, 6},  {15, 6},
    {18, 6},  {30, 6},  {31, 6},  {38, 6},  {42, 6},  {53, 6},  {54, 6},  {13, 7},  {14, 7},
    {17, 8},  {19, 9},  {23, 9},  {20, 10}, {22, 11}, {25, 11}, {33, 12}, {26, 13}, {27, 14},
    {28, 15}, {32, 16}, {34, 17}, {35, 18}, {36, 19}, {37, 20}, {39, 21}, {40, 22}, {41, 23},
    {43, 23}, {44, 24}, {45, 24}, {46, 25}, {47, 26}, {48, 27}, {57, 27}, {49, 28}, {50, 29},
    {51, 30}, {52, 31}, {55, 32}, {56, 33}, {58, 34}, {59, 34}, {60, 35}, {61, 36}, {62, 37},
    {63, 38}, {64, 38}, {65, 39}, {66, 39},
};

// Appends pattern to out with its "%s" / "%d" places filled by args in order.
void Fill(const char* pattern, const std::vector<std::string>& args, std::string& out) {
  size_t next = 0;
  for (const char* p = pattern; *p;) {
    const char* mark = std::strchr(p, '%');
    if (mark == nullptr) {
      out.append(p);
      return;
    }
    out.append(p, mark);
    if (mark[1] == 's' || mark[1] == 'd') {
      if (next < args.size()) out += args[next++];
      p = mark + 2;
    } else {
      out += '%';
      p = mark + 1;
    }
  }
}

// Built in one string: a failed entry makes one of these, and an archive may hold thousands.
std::string BuildMessage(int nativeError, const std::vector<std::string>& args,
                         const std::string& componentName) {
  std::string text;
  text.reserve(componentName.size() + 128);
  if (!componentName.empty()) text.append(componentName).append(": ");
  Fill(ZipErrorMessage(ZipErrorCodeFor(nativeError)), args, text);
  char digits[16];
  std::snprintf(digits, sizeof digits, "%05d", nativeError);
  return text.append(" - Native error: ").append(digits);
}

}  // namespace

int ZipErrorCodeFor(int nativeError) {
  for (const auto& [code, index] : kCodes) {
    if (code == nativeError) return index;
  }
  return 0;
}

const char* ZipErrorMessage(int errorCode) {
  if (errorCode < 0 || errorCode >= static_cast<int>(kMessages.size())) return kMessages[0];
  return kMessages[static_cast<size_t>(errorCode)];
}

EZipException::EZipException(int nativeError, const std::vector<std::string>& args,
                             const std::string& componentName)
    : Exception(BuildMessage(nativeError, args, componentName)),
      nativeError_(nativeError),
      errorCode_(ZipErrorCodeFor(nativeError)) {}

}  // namespace varnel
