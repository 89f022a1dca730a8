// Cost of taking a scan's found-file lines in: the model alone, and with
// every update handed to the UI thread (UiHandOff against a blocking queued
// Qt call). The UI thread is the main thread running the event loop; the
// benchmarks run on a worker thread, as a scan does.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "scan_model.h"
#include "ui_hand_off.h"

namespace {

using tobrin::shell::ScanModel;
using tobrin::shell::ScanObserver;

constexpr int kLines = 1'000'000;
constexpr int kFolders = 100'000;

// 1,000,000 lines over 100,000 folders reached in scattered order, every
// tenth spelled in upper case, one in fifty an orphan.
const std::vector<std::string>& Lines() {
    static const std::vector<std::string> lines = [] {
        std::vector<std::string> made;
        made.reserve(kLines);
        for (int i = 0; i < kLines; ++i) {
            const int f = static_cast<int>((static_cast<long long>(i) * 7919) % kFolders);
            std::string folder = "C:\\Data\\Group" + std::to_string(f / 1000) + "\\Folder" +
                                 std::to_string(f) + "\\";
            if (i % 10 == 0)
                folder = "C:\\DATA\\GROUP" + std::to_string(f / 1000) + "\\FOLDER" +
                         std::to_string(f) + "\\";
            if (i % 50 == 0) folder = "NULL";
            made.push_back("IMG_" + std::to_string(i) + ".jpg|" + folder + "|" +
                           std::to_string(1000 + i * 37 % 5'000'000) + "|3/14/2021 9:26:53|" +
                           std::to_string(i) + "|" + std::to_string(i % 101) + "%");
        }
        return made;
    }();
    return lines;
}

std::string g_shown;  // the text a window would show, written on the UI thread only

void ShowStatistics(const ScanModel& model) {
    g_shown = tobrin::shell::BuildScanInfoText(model.CurrentFields(), model.SizeSum(),
                                               model.RecordsReceived());
}

struct NoUi : ScanObserver {
    void FolderAdded(const ScanModel&) override {}
    void LineCounted(const ScanModel&) override {}
};

struct HandOffUi : ScanObserver {
    explicit HandOffUi(tobrin::shell::UiHandOff& hand_off) : hand_off(hand_off) {}
    void FolderAdded(const ScanModel&) override {
        hand_off.Apply([] {});
    }
    void LineCounted(const ScanModel& model) override {
        hand_off.Apply([&model] { ShowStatistics(model); });
    }
    tobrin::shell::UiHandOff& hand_off;
};

struct BlockingQueuedUi : ScanObserver {
    explicit BlockingQueuedUi(QObject& receiver) : receiver(receiver) {}
    void FolderAdded(const ScanModel&) override {
        QMetaObject::invokeMethod(
            &receiver, [] {}, Qt::BlockingQueuedConnection);
    }
    void LineCounted(const ScanModel& model) override {
        QMetaObject::invokeMethod(
            &receiver, [&model] { ShowStatistics(model); }, Qt::BlockingQueuedConnection);
    }
    QObject& receiver;
};

tobrin::shell::UiHandOff* g_hand_off = nullptr;
QObject* g_receiver = nullptr;

double ResidentMb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / 1e6;
}

void RunIntake(benchmark::State& state, ScanObserver& observer) {
    const auto& lines = Lines();
    for (auto _ : state) {
        ScanModel model;
        model.filter().SetAllFiles(true);
        const double before = ResidentMb();
        for (const auto& line : lines) TakeInLine(model, line, observer);
        state.counters["model_MB"] = ResidentMb() - before;
        state.counters["folders"] = static_cast<double>(model.Folders().size());
    }
    state.SetItemsProcessed(state.iterations() * kLines);
}

void BM_TakeInLine(benchmark::State& state) {
    NoUi observer;
    RunIntake(state, observer);
}

void BM_TakeInLineWithHandOff(benchmark::State& state) {
    HandOffUi observer(*g_hand_off);
    RunIntake(state, observer);
}

void BM_TakeInLineWithBlockingQueued(benchmark::State& state) {
    BlockingQueuedUi observer(*g_receiver);
    RunIntake(state, observer);
}

void BM_HandOffEmptyUpdate(benchmark::State& state) {
    for (auto _ : state) g_hand_off->Apply([] {});
    state.SetItemsProcessed(state.iterations());
}

void BM_BlockingQueuedEmptyUpdate(benchmark::State& state) {
    for (auto _ : state) {
        QMetaObject::invokeMethod(
            g_receiver, [] {}, Qt::BlockingQueuedConnection);
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_TakeInLine)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TakeInLineWithHandOff)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TakeInLineWithBlockingQueued)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_HandOffEmptyUpdate)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_BlockingQueuedEmptyUpdate)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    QCoreApplication app(argc, argv);
    tobrin::shell::UiHandOff hand_off;
    QObject receiver;
    g_hand_off = &hand_off;
    g_receiver = &receiver;
    Lines();
    std::thread worker([&app] {
        benchmark::RunSpecifiedBenchmarks();
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    const int result = app.exec();
    worker.join();
    benchmark::Shutdown();
    return result;
}
