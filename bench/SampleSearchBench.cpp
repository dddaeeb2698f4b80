// The missing-files window's folder search: eight names looked for in one walk of a tree of
// 100,000 files (1,000 folders three levels deep, a link back to the root in the middle), as
// the window runs it (every level, a cancel flag, progress told). The tree is made once in a
// temporary folder; its entries are in the page cache after the first walk, so the figure is a
// warm walk's.
//
//   bench_sample_search [--benchmark_repetitions=N]
#include "files/SampleSearch.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <atomic>

namespace mt {
namespace {

constexpr int kFanOut = 10;          // folders in each folder, three levels down
constexpr int kFilesPerFolder = 100; // in each of the 1,000 deepest folders

struct Tree {
    QTemporaryDir dir;
    bool made = false;

    Tree() {
        QDir root(dir.path());
        for (int i = 0; i < kFanOut * kFanOut * kFanOut; ++i) {
            const QString folder = QStringLiteral("%1/%2/%3")
                                       .arg(i / (kFanOut * kFanOut))
                                       .arg(i / kFanOut % kFanOut)
                                       .arg(i % kFanOut);
            if (!root.mkpath(folder)) {
                return;
            }
            for (int f = 0; f < kFilesPerFolder; ++f) {
                QFile file(root.filePath(folder + QStringLiteral("/s%1.wav").arg(f + i * 100)));
                if (!file.open(QIODevice::WriteOnly)) {
                    return;
                }
            }
        }
        made = QFile::link(root.path(), root.filePath(QStringLiteral("5/5/loop")));
    }
};

void SearchEightNames(benchmark::State& state) {
    static const Tree tree;
    if (!tree.made) {
        state.SkipWithError("the tree could not be made");
        return;
    }
    // Four that are there (near the root's end of the walk and at its far end), four not.
    std::vector<WantedSample> wanted;
    for (const char* name : {"s0.wav", "s50050.wav", "s99999.wav", "s12345.wav", "kick.wav",
                             "snare.wav", "hat.wav", "s100000.wav"}) {
        wanted.push_back({QString::fromLatin1(name), -1});
    }
    const std::atomic<bool> cancel{false};
    std::atomic<qint64> seen{0};
    SampleSearchOptions options;
    options.cancel = &cancel;
    options.progress = [&seen](qint64 entries) { seen = entries; };
    for (auto _ : state) {
        const std::vector<QStringList> found = SearchSamples(tree.dir.path(), wanted, options);
        if (found[0].size() != 1 || found[3].size() != 1 || !found[4].isEmpty()) {
            state.SkipWithError("the search found something else");
        }
    }
    state.counters["entries"] = static_cast<double>(seen.load());
    state.SetItemsProcessed(state.iterations() * seen.load());
}
BENCHMARK(SearchEightNames)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace mt

BENCHMARK_MAIN();
