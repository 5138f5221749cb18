#include "catalog/RepositoryLines.h"

#include <functional>

#include "platform/Exception.h"
#include "platform/Streams.h"
#include "platform/Text.h"

namespace varnel {

std::string ReadToEnd(TStream& stream) {
  std::string bytes(static_cast<size_t>(stream.Size() - stream.Position()), '\0');
  stream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  return bytes;
}

std::string ReadWholeFile(const std::string& path) {
  TFileStream file(path, fmOpenRead | fmShareDenyWrite);
  return ReadToEnd(file);
}

std::string DecodeCatalogueText(std::string_view bytes) {
  auto startsWith = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
  if (startsWith("\xFF\xFE")) return Utf16BytesToUtf8(bytes.substr(2), false);
  if (startsWith("\xFE\xFF")) return Utf16BytesToUtf8(bytes.substr(2), true);
  if (startsWith("\xEF\xBB\xBF")) {
    std::string_view utf8 = bytes.substr(3);
    // Invalid sequences become U+FFFD, as the decoding of every other encoding does.
    return IsValidUtf8(utf8) ? std::string(utf8) : Utf16ToUtf8(Utf8ToUtf16(utf8));
  }
  return Cp1252ToUtf8(bytes);
}

std::vector<std::string> SplitCatalogueLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size() && text[pos] != '\0') {
    size_t end = text.find_first_of(std::string_view("\r\n\0", 3), pos);
    if (end == std::string_view::npos) end = text.size();
    lines.emplace_back(text.substr(pos, end - pos));
    pos = end;
    if (pos < text.size() && text[pos] == '\r') ++pos;
    if (pos < text.size() && text[pos] == '\n') ++pos;
  }
  return lines;
}

void TRepositoryLines::Clear() {
  index_.clear();
  lines_.clear();
}

void TRepositoryLines::LoadFromFile(const std::string& path) {
  SetText(DecodeCatalogueText(ReadWholeFile(path)));
}

void TRepositoryLines::SetText(std::string_view text) {
  std::vector<std::string> lines = SplitCatalogueLines(text);
  Clear();
  lines_ = std::move(lines);
  BuildIndex();
}

namespace {

uint32_t HashOf(std::string_view text) {
  return static_cast<uint32_t>(std::hash<std::string_view>{}(text));
}

}  // namespace

void TRepositoryLines::BuildIndex() {
  const int count = Count();
  size_t capacity = 16;
  while (capacity < 2 * lines_.size()) capacity *= 2;
  index_.assign(capacity, TOccurrences{});
  const size_t mask = capacity - 1;
  for (int i = 0; i < count; ++i) {
    const std::string& line = lines_[static_cast<size_t>(i)];
    const uint32_t hash = HashOf(line);
    size_t slot = hash & mask;
    while (index_[slot].first != -1 &&
           (index_[slot].hash != hash || lines_[static_cast<size_t>(index_[slot].first)] != line)) {
      slot = (slot + 1) & mask;
    }
    TOccurrences& at = index_[slot];
    if (at.first == -1) at = TOccurrences{hash, i, i, false};
    at.last = i;
    if (i + 1 < count && Utf16Length(lines_[static_cast<size_t>(i) + 1]) < kMinArchiveUrlLength) {
      at.anyShortNextLine = true;
    }
  }
}

const std::string& TRepositoryLines::Get(int index) const {
  if (index < 0 || index >= Count()) throw EStringListError(index);
  return lines_[static_cast<size_t>(index)];
}

const TRepositoryLines::TOccurrences* TRepositoryLines::Find(const std::string& name) const {
  if (index_.empty()) return nullptr;
  const uint32_t hash = HashOf(name);
  const size_t mask = index_.size() - 1;
  for (size_t slot = hash & mask; index_[slot].first != -1; slot = (slot + 1) & mask) {
    const TOccurrences& at = index_[slot];
    if (at.hash == hash && lines_[static_cast<size_t>(at.first)] == name) return &at;
  }
  return nullptr;
}

std::optional<long long> TRepositoryLines::FirstBadFieldIndex(const std::string& name,
                                                              const TOccurrences& at, int k) const {
  const long long count = Count();
  // Matches come in increasing order, so the first one to fail is either the first match
  // (reaching below 0) or the first match at or after count - k (reaching past the end).
  if (at.first + static_cast<long long>(k) < 0) return at.first + static_cast<long long>(k);
  if (at.last + static_cast<long long>(k) < count) return std::nullopt;
  long long from = count - k;
  if (from < at.first) from = at.first;
  for (long long i = from; i <= at.last; ++i) {
    if (lines_[static_cast<size_t>(i)] == name) return i + k;
  }
  return std::nullopt;
}

std::string TRepositoryLines::FindRecordField(const std::string& name, int k) const {
  const TOccurrences* at = Find(name);
  if (at == nullptr) return {};
  if (auto bad = FirstBadFieldIndex(name, *at, k)) throw EStringListError(*bad);
  return lines_[static_cast<size_t>(at->last + k)];
}

TListEntry TRepositoryLines::FindListEntry(const std::string& name) const {
  TListEntry entry;
  const TOccurrences* at = Find(name);
  if (at == nullptr) return entry;
  // The scan reads the description line before the archive line of each match, and the
  // description line lies further on, so it is the one that runs past the end first.
  if (auto bad = FirstBadFieldIndex(name, *at, kDescriptionField)) throw EStringListError(*bad);
  entry.matched = true;
  entry.description = lines_[static_cast<size_t>(at->last + kDescriptionField)];
  entry.noArchive = at->anyShortNextLine;
  return entry;
}

std::optional<std::string> TRepositoryLines::FindArchiveSha256(const std::string& name) const {
  std::string line;
  // A last record of six to nine lines still works fully: its missing integrity line is no hash.
  try {
    line = FindRecordField(name, kIntegrityField);
  } catch (const EStringListError&) {
    return std::nullopt;
  }
  try {
    return ParseIntegrityLine(line);
  } catch (const EIntegrityLineError&) {
    throw EIntegrityLineError("The catalogue's record of \"" + name +
                              "\" has a malformed integrity line (not \"sha256:\" and 64 "
                              "hexadecimal digits), so its archive can't be checked and is not "
                              "installed");
  }
}

std::optional<std::string> ParseIntegrityLine(std::string_view line) {
  constexpr std::string_view kPrefix = "sha256:";
  constexpr size_t kDigits = 64;
  if (!line.starts_with(kPrefix)) return std::nullopt;
  const std::string_view digits = line.substr(kPrefix.size());
  if (digits.size() != kDigits ||
      digits.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos) {
    throw EIntegrityLineError("The integrity line is not \"sha256:\" and 64 hexadecimal digits");
  }
  return AsciiLower(digits);
}

}  // namespace varnel
