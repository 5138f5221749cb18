// The indexed lookups must give exactly what a scan of every line in order gives, failures
// included. Catalogues are generated from a small alphabet so that duplicates, empty names
// and names that also occur as other lines are common.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "catalog/RepositoryLines.h"
#include "platform/Exception.h"
#include "platform/Text.h"

namespace varnel {
namespace {

// The lookup as a plain scan over every line, with no early exit.
std::string ScanField(const TRepositoryLines& lines, const std::string& name, int k) {
  std::string result;
  for (int i = 0; i < lines.Count(); ++i) {
    if (lines.Get(i) == name) result = lines.Get(i + k);
  }
  return result;
}

TListEntry ScanListEntry(const TRepositoryLines& lines, const std::string& name) {
  TListEntry entry;
  for (int i = 0; i < lines.Count(); ++i) {
    if (lines.Get(i) != name) continue;
    entry.matched = true;
    entry.description = lines.Get(i + kDescriptionField);
    if (Utf16Length(lines.Get(i + kArchiveUrlField)) < kMinArchiveUrlLength) entry.noArchive = true;
  }
  return entry;
}

template <typename F>
std::string Outcome(F&& lookup) {
  try {
    return "ok:" + lookup();
  } catch (const EStringListError& e) {
    return "error:" + e.Message();
  }
}

std::string Describe(const TListEntry& e) {
  return std::to_string(e.matched) + "|" + e.description + "|" + std::to_string(e.noArchive);
}

TEST(LookupEquivalenceTest, IndexedLookupsMatchTheFullScan) {
  const std::vector<std::string> alphabet = {"", "A", "B", "C", "none", "http://x", "a", "A "};
  std::mt19937 random(20261208);
  for (int round = 0; round < 300; ++round) {
    int count = static_cast<int>(random() % 45);
    std::string text;
    for (int i = 0; i < count; ++i) text += alphabet[random() % alphabet.size()] + "\n";
    TRepositoryLines lines;
    lines.SetText(text);
    ASSERT_EQ(lines.Count(), count);
    for (const std::string& name : alphabet) {
      for (int k = -2; k <= 6; ++k) {
        ASSERT_EQ(Outcome([&] { return lines.FindRecordField(name, k); }),
                  Outcome([&] { return ScanField(lines, name, k); }))
            << "round " << round << " name '" << name << "' k " << k;
      }
      ASSERT_EQ(Outcome([&] { return Describe(lines.FindListEntry(name)); }),
                Outcome([&] { return Describe(ScanListEntry(lines, name)); }))
          << "round " << round << " name '" << name << "'";
    }
  }
}

TEST(LookupEquivalenceTest, CataloguesEndingMidRecord) {
  // 30, 31 and 32 lines: the last record is complete, has only its icon line, or only its
  // icon and name lines.
  for (int count : {30, 31, 32}) {
    std::string text;
    for (int i = 0; i < count; ++i) {
      // Built by appending: GCC 12 warns wrongly about "literal" + std::string at -O2.
      text += i % 10 == 1 ? 'P' : 'f';
      text += std::to_string(i % 10 == 1 ? i / 10 : i) + "\r\n";
    }
    TRepositoryLines lines;
    lines.SetText(text);
    ASSERT_EQ(lines.Count(), count);
    for (int record = 0; record * 10 + 1 < count; ++record) {
      std::string name = std::string(1, 'P').append(std::to_string(record));
      for (int k = kArchiveUrlField; k <= kWebPageUrlField; ++k) {
        EXPECT_EQ(Outcome([&] { return lines.FindRecordField(name, k); }),
                  Outcome([&] { return ScanField(lines, name, k); }))
            << count << " lines, " << name << " k " << k;
      }
    }
    if (count == 32) {
      EXPECT_EQ(Outcome([&] { return lines.FindRecordField("P3", kArchiveUrlField); }),
                "error:List index out of bounds (32)");
    }
  }
}

}  // namespace
}  // namespace varnel
