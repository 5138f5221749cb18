// The window's side of the catalogue: LoadRepository into the list (icons read, items made),
// the paint of one item and a keystroke in the filter, against the catalogue's size. Runs on
// the offscreen platform.
#include <benchmark/benchmark.h>
#include <QApplication>
#include <QImage>
#include <QPainter>

#include "app/FilterEdit.h"
#include "app/ListBox.h"
#include "app/MainUnit.h"
#include "bench/catalog/CatalogueGenerator.h"
#include "catalog/ListDrawing.h"

namespace varnel::bench {

namespace {

class TSilentDialogs : public IDialogs {
 public:
  void SetOwner(QWidget*) override {}
  void ShowError(const std::string&, const std::string&) override { ++errors; }
  bool Confirm(const std::string&, const std::string&) override { return true; }
  TModalResult MessageDlg(const std::string&, TMsgDlgType, unsigned) override { return mrAbort; }
  bool PasswordQuery(const std::string&, const std::string&, std::string&) override {
    return false;
  }
  int errors = 0;
};

// Nothing is started or opened while benchmarking.
class TIdleShell : public IShell {
 public:
  void Open(const std::string&) override {}
  void Explore(const std::string&) override {}
  void OpenUrl(const std::string&) override {}
};

void BM_LoadRepository(benchmark::State& state) {
  TGeneratedCatalogue catalogue(static_cast<int>(state.range(0)));
  TSilentDialogs dialogs;
  TIdleShell shell;
  TForm1 window(catalogue.AppDir(), "http://127.0.0.1:1/", "", dialogs, shell, "Bench");
  for (auto _ : state) window.LoadRepository();
  state.counters["items"] = window.L1->count();
  if (dialogs.errors != 0) state.SkipWithError("the load raised an error box");
}

void BM_PaintItem(benchmark::State& state) {
  const int programs = static_cast<int>(state.range(0));
  TGeneratedCatalogue catalogue(programs);
  TSilentDialogs dialogs;
  TIdleShell shell;
  TForm1 window(catalogue.AppDir(), "http://127.0.0.1:1/", "", dialogs, shell, "Bench");
  QImage canvas(300, kItemHeight, QImage::Format_ARGB32_Premultiplied);
  QPainter painter(&canvas);
  const QRect rect(0, 0, 300, kItemHeight);
  // Icons are decoded on their first paint; the figure is that of a repaint.
  for (int i = 0; i < programs; ++i) window.L1DrawItem(painter, i, rect, QStyle::State_None);
  int index = 0;
  for (auto _ : state) {
    window.L1DrawItem(painter, index, rect, QStyle::State_None);
    index = (index + 7919) % programs;
  }
}

// One keystroke in the filter field: the list is filtered again and its visible rows repaint.
// Typing and deleting a last character take turns. The first keystroke, which also reads
// every program's description, is timed apart with Arg(1).
void BM_FilterKeystroke(benchmark::State& state) {
  TGeneratedCatalogue catalogue(static_cast<int>(state.range(0)));
  const bool first = state.range(1) == 1;
  TSilentDialogs dialogs;
  TIdleShell shell;
  TForm1 window(catalogue.AppDir(), "http://127.0.0.1:1/", "", dialogs, shell, "Bench");
  window.show();
  window.Showfilter1->trigger();
  QApplication::processEvents();
  const QString texts[] = {"ram 1", "ram 12"};
  int turn = 0;
  for (auto _ : state) {
    if (first) {
      state.PauseTiming();
      window.LoadRepository();  // new items: their descriptions are read afresh
      window.Filter->clear();
      window.L1->viewport()->repaint();
      state.ResumeTiming();
    }
    window.Filter->setText(texts[turn ^= 1]);
    window.L1->viewport()->repaint();
  }
  state.counters["shown"] = window.L1->count();
}

}  // namespace

BENCHMARK(BM_FilterKeystroke)
    ->Args({1000, 0})
    ->Args({10000, 0})
    ->Args({50000, 0})
    ->Args({50000, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadRepository)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintItem)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMicrosecond);

}  // namespace varnel::bench

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
