// Catalogue load and lookup cost against the catalogue's size. The full scan is the lookup
// as a plain pass over every line, for comparison with the indexed one.
#include <benchmark/benchmark.h>

#include <map>
#include <memory>

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
      benchmark::DoNotOptimize(ReadIconFile(JoinPath(catalogue.DataDir(), lines.Get(i))));
    }
  }
}

void BM_FindListEntry(benchmark::State& state) {
  const int programs = static_cast<int>(state.range(0));
  TRepositoryLines lines;
  lines.LoadFromFile(Catalogue(programs).CataloguePath());
  int p = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(lines.FindListEntry(TGeneratedCatalogue::Name(p)));
    p = (p + 7919) % programs;
  }
}

void BM_FindByFullScan(benchmark::State& state) {
  const int programs = static_cast<int>(state.range(0));
  TRepositoryLines lines;
  lines.LoadFromFile(Catalogue(programs).CataloguePath());
  int p = 0;
  for (auto _ : state) {
    const std::string name = TGeneratedCatalogue::Name(p);
    std::string description;
    for (int i = 0; i < lines.Count(); ++i) {
      if (lines.Get(i) == name) description = lines.Get(i + kDescriptionField);
    }
    benchmark::DoNotOptimize(description);
    p = (p + 7919) % programs;
  }
}

}  // namespace

BENCHMARK(BM_LoadLines)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadLinesAndIcons)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindListEntry)->Arg(1000)->Arg(10000)->Arg(50000);
BENCHMARK(BM_FindByFullScan)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMicrosecond);

}  // namespace varnel::bench
