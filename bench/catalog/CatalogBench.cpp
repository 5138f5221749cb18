// Catalogue load and lookup cost against the catalogue's size. The full scan is the lookup
// as a plain pass over every line, for comparison with the indexed one.
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <vector>

#include "bench/catalog/CatalogueGenerator.h"
#include "catalog/IconFile.h"
#include "catalog/RepositoryLines.h"
#include "platform/Paths.h"

namespace varnel::bench {

namespace {

TGeneratedCatalogue& Catalogue(int programs) {
  static std::map<int, std::unique_ptr<TGeneratedCatalogue>> made;
  auto& slot = made[programs];
  if (!slot) slot = std::make_unique<TGeneratedCatalogue>(programs);
  return *slot;
}

void BM_LoadLines(benchmark::State& state) {
  TGeneratedCatalogue& catalogue = Catalogue(static_cast<int>(state.range(0)));
  TRepositoryLines lines;
  for (auto _ : state) lines.LoadFromFile(catalogue.CataloguePath());
  state.counters["lines"] = lines.Count();
}

void BM_LoadLinesAndIcons(benchmark::State& state) {
  TGeneratedCatalogue& catalogue = Catalogue(static_cast<int>(state.range(0)));
  TRepositoryLines lines;
  for (auto _ : state) {
    lines.LoadFromFile(catalogue.CataloguePath());
    for (int i = 0; i < lines.Count(); i += kRecordLines) {
      benchmark::DoNotOptimize(
          ReadIconFile(SystemFileSystem(), JoinPath(catalogue.DataDir(), lines.Get(i))));
    }
  }
}

// One lookup per iteration; step 1 walks neighbours as a repaint of the visible items does,
// a large prime step spreads the lookups over the whole catalogue.
template <typename Lookup>
void RunLookups(benchmark::State& state, int step, Lookup lookup) {
  const int programs = static_cast<int>(state.range(0));
  TRepositoryLines lines;
  lines.LoadFromFile(Catalogue(programs).CataloguePath());
  std::vector<std::string> names;
  for (int p = 0; p < programs; ++p) names.push_back(TGeneratedCatalogue::Name(p));
  size_t p = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(lookup(lines, names[p]));
    p = (p + static_cast<size_t>(step)) % names.size();
  }
}

TListEntry IndexedLookup(const TRepositoryLines& lines, const std::string& name) {
  return lines.FindListEntry(name);
}

std::string FullScan(const TRepositoryLines& lines, const std::string& name) {
  std::string description;
  for (int i = 0; i < lines.Count(); ++i) {
    if (lines.Get(i) == name) description = lines.Get(i + kDescriptionField);
  }
  return description;
}

void BM_FindListEntryNeighbours(benchmark::State& state) {
  RunLookups(state, 1, IndexedLookup);
}
void BM_FindListEntrySpread(benchmark::State& state) {
  RunLookups(state, 7919, IndexedLookup);
}
void BM_FindByFullScan(benchmark::State& state) {
  RunLookups(state, 7919, FullScan);
}

}  // namespace

BENCHMARK(BM_LoadLines)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadLinesAndIcons)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindListEntryNeighbours)->Arg(1000)->Arg(10000)->Arg(50000);
BENCHMARK(BM_FindListEntrySpread)->Arg(1000)->Arg(10000)->Arg(50000);
BENCHMARK(BM_FindByFullScan)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMicrosecond);

}  // namespace varnel::bench
