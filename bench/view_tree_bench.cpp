// Benchmarks of building and serialising view trees: the home-screen widget's tree for
// one entry, and each presentation of the Live Activity. Each tree is built through its
// configuration the way the bundle main loop builds it, then written as the JSON text
// that goes into a protocol answer (texts looked up in the extension bundle's tables).
//
// Besides the time per tree, each benchmark reports what one tree costs the heap
// (operator new is counted, see allocation_counter.h): `allocs` and `alloc_bytes` for
// build and serialise together, `build_allocs` and `build_bytes` for building alone,
// and `json_bytes`, the size of the text produced.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "activity/tul_widget_live_activity.h"
#include "allocation_counter.h"
#include "bench_preset.h"
#include "platform/ui/localizer.h"
#include "platform/ui/tree_json.h"
#include "platform/widgetkit/view_content.h"
#include "widget/tul_widget.h"

namespace {

using Context = tul::TulWidgetLiveActivity::Context;
using foundation::JSONTextWriter;

const ui::Localizer& localizer() {
  static const ui::Localizer instance{ui::Bundle(TUL_EXTENSION_BUNDLE_DIR), "en"};
  return instance;
}

const Context& activityContext() {
  static const Context context{tul::TulWidgetAttributes{"Practice"},
                               tul::TulWidgetAttributes::ContentState{132, 3, 4, "Étude für Bossa", true, false}};
  return context;
}

// One tree: how to build it, and how to write what was built, as the protocol server
// writes it into an answer.
struct Tree {
  std::function<std::vector<ui::View>()> build;
  std::function<void(JSONTextWriter&, const std::vector<ui::View>&)> write;
};

void single(JSONTextWriter& out, const std::vector<ui::View>& views) { ui::writeJSON(out, views.front(), localizer()); }

Tree widgetEntry() {
  return {[] {
            static const auto configuration = tul::TulWidget().body();
            static const tul::SimpleEntry entry{
                foundation::Date(foundation::Date::TimePoint(std::chrono::seconds(1'796'000'000))),
                bench::benchPreset()};
            return std::vector<ui::View>{widgetkit::toView(configuration.content()(entry))};
          },
          single};
}

const tul::TulWidgetLiveActivity::Configuration& activity() {
  static const auto configuration = tul::TulWidgetLiveActivity().body();
  return configuration;
}

Tree lockScreen() {
  return {[] { return std::vector<ui::View>{activity().lockScreen(activityContext())}; }, single};
}

Tree expanded() {
  return {[] {
            std::vector<ui::View> views;
            for (const auto& region : activity().dynamicIsland(activityContext()).expanded()) {
              views.push_back(region.content());
            }
            return views;
          },
          [](JSONTextWriter& out, const std::vector<ui::View>& views) {
            out.beginArray();
            for (const auto& view : views) ui::writeJSON(out, view, localizer());
            out.endArray();
          }};
}

Tree compactLeading() {
  return {[] { return std::vector<ui::View>{activity().dynamicIsland(activityContext()).compactLeading()}; }, single};
}

Tree compactTrailing() {
  return {[] { return std::vector<ui::View>{activity().dynamicIsland(activityContext()).compactTrailing()}; }, single};
}

Tree minimal() {
  return {[] { return std::vector<ui::View>{activity().dynamicIsland(activityContext()).minimal()}; }, single};
}

// The extension bundle's string table must be there, or every text would show its key.
void checkBundle() {
  static const bool checked = [] {
    const auto table = localizer().bundle->stringsTable(ui::Bundle::kDefaultTable, "en");
    if (!table || !*table) {
      std::fprintf(stderr, "view_tree_bench: no string table in %s\n", TUL_EXTENSION_BUNDLE_DIR);
      std::exit(1);
    }
    return true;
  }();
  (void)checked;
}

void buildAndWrite(benchmark::State& state, const Tree& tree) {
  checkBundle();
  // The server reuses one writer, whose buffer keeps its size between answers.
  JSONTextWriter out;
  // Once untimed: fills the process-wide caches (string tables, shared images) and the
  // writer's buffer, then counts exactly one tree's allocations.
  tree.write(out, tree.build());
  out.clear();
  const auto start = bench::allocationsSoFar();
  auto views = tree.build();
  const auto built = bench::allocationsSoFar() - start;
  tree.write(out, views);
  const std::size_t jsonBytes = out.text().size();
  views.clear();
  const auto total = bench::allocationsSoFar() - start;

  for (auto _ : state) {
    out.clear();
    tree.write(out, tree.build());
    benchmark::DoNotOptimize(out.text().data());
  }
  state.counters["allocs"] = static_cast<double>(total.allocations);
  state.counters["alloc_bytes"] = static_cast<double>(total.bytes);
  state.counters["build_allocs"] = static_cast<double>(built.allocations);
  state.counters["build_bytes"] = static_cast<double>(built.bytes);
  state.counters["json_bytes"] = static_cast<double>(jsonBytes);
}

}  // namespace

BENCHMARK_CAPTURE(buildAndWrite, widget_entry, widgetEntry())->Name("tree/widget_entry");
BENCHMARK_CAPTURE(buildAndWrite, lock_screen, lockScreen())->Name("tree/lock-screen");
BENCHMARK_CAPTURE(buildAndWrite, expanded, expanded())->Name("tree/expanded");
BENCHMARK_CAPTURE(buildAndWrite, compact_leading, compactLeading())->Name("tree/compact-leading");
BENCHMARK_CAPTURE(buildAndWrite, compact_trailing, compactTrailing())->Name("tree/compact-trailing");
BENCHMARK_CAPTURE(buildAndWrite, minimal, minimal())->Name("tree/minimal");

BENCHMARK_MAIN();
