// The task manager against the tools a user would use instead:
//   BuildList over 100,000 files in 1,000 folders vs `find TREE -type f -iname '*.txt'`;
//   ExecuteTask of an encrypt task over 1,000 files of 1 MiB vs EncryptFileTo on each file.
// Each pair runs side by side; the ratio is printed as the counter "ratio" of the second one.
// Run with: cmake --build build --target task_manager_bench && build/bench/task_manager_bench
#include "corecrypt/EncryptedFile.h"
#include "corecrypt/KeyFile.h"
#include "tasks/manager/TaskManager.h"
#include "tasks/model/ActionEncryptFile.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

double Seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string Scratch(const char* name) {
    const char* base = std::getenv("TMPDIR");
    const fs::path folder = fs::path(base ? base : "/tmp") / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder.string();
}

// 1,000 folders of 100 files; half of them ".txt", some with upper-case extensions.
const std::string& ListingTree() {
    static const std::string tree = [] {
        const std::string root = Scratch("qm-bench-listing");
        for (int d = 0; d < 1000; ++d) {
            const std::string folder = root + "/d" + std::to_string(d / 100) + "/f" + std::to_string(d);
            fs::create_directories(folder);
            for (int f = 0; f < 100; ++f) {
                const char* ext = f % 2 ? ".bin" : (f % 10 == 0 ? ".TXT" : ".txt");
                std::ofstream(folder + "/file" + std::to_string(f) + ext);
            }
        }
        return root;
    }();
    return tree;
}

void BM_BuildListVsFind(benchmark::State& state) {
    const std::string& tree = ListingTree();
    CActionEncryptFile task(tree);
    task.m_csMask = "|*.txt|";
    task.m_bSubfolders = 1;
    task.m_csEncPassword = "pw";
    double ours = 0, find = 0;
    std::size_t listed = 0;
    for (auto _ : state) {
        find += Seconds([&] {
            if (std::system(("find '" + tree + "' -type f -iname '*.txt' > /dev/null").c_str()) != 0)
                state.SkipWithError("find failed");
        });
        ours += Seconds([&] {
            CTaskManager manager;
            manager.AddTask(&task);
            manager.BuildList(0);
            listed = manager.m_mapFiles.size();
        });
    }
    state.counters["files"] = static_cast<double>(listed);
    state.counters["find_s"] = find / state.iterations();
    state.counters["buildlist_s"] = ours / state.iterations();
    state.counters["ratio"] = ours / find;
}

void BM_ExecuteTaskVsEncryptFileTo(benchmark::State& state) {
    const std::string root = Scratch("qm-bench-encrypt");
    const std::string sources = root + "/src";
    fs::create_directories(sources);
    std::string block(1 << 20, '\0');
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>((i * 2654435761u) >> 13);
    std::vector<std::string> files;
    for (int i = 0; i < 1000; ++i) {
        files.push_back(sources + "/file" + std::to_string(i) + ".dat");
        block[0] = static_cast<char>(i);
        std::ofstream(files.back(), std::ios::binary) << block;
    }
    const std::string key = root + "/bench.qmk";
    char error[512] = {};
    if (!CreateKeyFile(key.c_str(), error, sizeof error)) {
        state.SkipWithError(error);
        return;
    }
    const std::string direct = root + "/direct";
    const std::string viaTask = root + "/task";
    double ours = 0, engine = 0;
    for (auto _ : state) {
        fs::remove_all(direct);
        fs::remove_all(viaTask);
        fs::create_directories(direct);
        fs::create_directories(viaTask);
        engine += Seconds([&] {
            for (const std::string& file : files) {
                const std::string out = direct + "/" + fs::path(file).filename().string() + ".qmp";
                if (!EncryptFileTo(file.c_str(), out.c_str(), key.c_str(), 1, 0, 1, error, sizeof error, 0,
                                   0))
                    state.SkipWithError(error);
            }
        });
        ours += Seconds([&] {
            CActionEncryptFile task(sources);
            task.m_csMask = "|*.dat|";
            task.m_csKeyFile = key;
            task.m_csDestFolder = viaTask;
            CTaskManager manager;
            manager.AddTask(&task);
            CALLBACKSTRUCT_ record;
            manager.ExecuteTask(&task, &record);
            if (record.nErrors)
                state.SkipWithError("the task reported errors");
        });
    }
    state.counters["encryptfileto_s"] = engine / state.iterations();
    state.counters["executetask_s"] = ours / state.iterations();
    state.counters["ratio"] = ours / engine;
    fs::remove_all(root);
}

} // namespace

BENCHMARK(BM_BuildListVsFind)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExecuteTaskVsEncryptFileTo)->Iterations(1)->Unit(benchmark::kMillisecond);
