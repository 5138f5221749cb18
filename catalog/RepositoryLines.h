// The catalogue in memory: the lines of "software.dat" in file order, and the lookup by name
// that every command and the list drawing use. The owner (the main window) keeps it alive for
// as long as anything reads it; only a load changes it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Exception.h"

namespace varnel {

// Distances of the looked-up fields from a program's name line.
inline constexpr int kArchiveUrlField = 1;
inline constexpr int kExecutablePathField = 2;
inline constexpr int kDescriptionField = 3;
inline constexpr int kWebPageUrlField = 4;
// The first of the four spare lines: "sha256:" and the archive's digest, or anything else.
inline constexpr int kIntegrityField = 5;
// Lines per program record; the icon line opens a record and the name follows it.
inline constexpr int kRecordLines = 10;
// An archive line shorter than this (in UTF-16 code units) means the program has no archive.
inline constexpr size_t kMinArchiveUrlLength = 5;

// What the list shows under a program's name.
struct TListEntry {
  bool matched = false;     // some line equals the name
  std::string description;  // from the last matching line
  bool noArchive = false;   // any matching line has a short archive line
};

class TRepositoryLines {
 public:
  TRepositoryLines() = default;
  TRepositoryLines(const TRepositoryLines&) = delete;
  TRepositoryLines& operator=(const TRepositoryLines&) = delete;

  void Clear();
  // Reads the whole file: the byte-order mark picks UTF-16 LE/BE or UTF-8, anything else is
  // Windows-1252. CR, LF, CR LF and LF CR end lines; U+0000 ends the text. Raises EFOpenError
  // (or a read error); the list is unchanged when it fails.
  void LoadFromFile(const std::string& path);
  // Replaces the lines by the lines of already decoded UTF-8 text, cut as LoadFromFile does.
  void SetText(std::string_view text);

  int Count() const { return static_cast<int>(lines_.size()); }
  // EStringListError "List index out of bounds (%d)" outside 0 .. Count() - 1.
  const std::string& Get(int index) const;

  // The line k places after the last line equal to name; "" when no line equals it.
  // Raises EStringListError for the first matching line whose field line lies outside the
  // list, exactly as a scan of every line in order would.
  std::string FindRecordField(const std::string& name, int k) const;
  // The description and archive test of the list drawing, with FindRecordField's rules:
  // the description of the last match, "no archive" when any match has a short archive line.
  TListEntry FindListEntry(const std::string& name) const;
  // The archive digest of the record found for name (64 lower-case hexadecimal digits), or
  // nothing when its integrity line does not start with "sha256:" or lies past the end of the
  // list. Raises EIntegrityLineError naming the program for a malformed "sha256:" line: what
  // can't be checked must not be installed.
  std::optional<std::string> FindArchiveSha256(const std::string& name) const;

 private:
  // Where a distinct line occurs. The index is an open-addressing table of these, keyed by
  // the text of lines_[first], so a lookup costs the same however long the catalogue is.
  struct TOccurrences {
    uint32_t hash = 0;
    int first = -1;  // -1: a free slot
    int last = -1;
    bool anyShortNextLine = false;  // some occurrence is followed by a line of < 5 characters
  };

  void BuildIndex();
  const TOccurrences* Find(const std::string& name) const;
  // The index the full scan would fail on for matches of name reaching k lines on.
  std::optional<long long> FirstBadFieldIndex(const std::string& name, const TOccurrences& at,
                                              int k) const;

  std::vector<std::string> lines_;
  std::vector<TOccurrences> index_;  // size a power of two, at most half full
};

class TStream;

// An integrity line that starts with "sha256:" but holds no digest.
VARNEL_EXCEPTION(EIntegrityLineError, Exception);

// The digest an integrity line holds, in lower case, when the line is exactly "sha256:" and 64
// hexadecimal digits of either case. Nothing for a line that does not start with "sha256:";
// raises EIntegrityLineError for one that does and is anything else (63 digits, a trailing
// blank), which must not turn the check off.
std::optional<std::string> ParseIntegrityLine(std::string_view line);

// The whole content of a file opened for reading while others may read it too.
std::string ReadWholeFile(const std::string& path);
// Everything from the stream's position to its end.
std::string ReadToEnd(TStream& stream);
// Cuts decoded text into lines: a line ends at CR, LF or U+0000; after it one CR and then one
// LF are skipped; U+0000 ends the text; a final line break adds no empty line.
std::vector<std::string> SplitCatalogueLines(std::string_view text);
// Decodes the bytes of a catalogue file to UTF-8 by its byte-order mark.
std::string DecodeCatalogueText(std::string_view bytes);

}  // namespace varnel
