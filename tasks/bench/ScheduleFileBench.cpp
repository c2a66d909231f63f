// Loading and saving schedule files: 10,000 tasks in counted text, 1,000 tasks sealed.
// Run with: cmake --build build --target schedule_file_bench && build/bench/schedule_file_bench
#include "tasks/manager/TaskManager.h"
#include "tasks/model/ActionDeleteFile.h"
#include "tasks/model/ActionEncryptFile.h"
#include "tasks/model/ActionSendEmail.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <memory>

namespace {

// A list shaped like a user's: a third of each kind, with realistic texts.
struct TaskList {
    CTaskManager manager;
    std::vector<std::unique_ptr<CAction>> tasks;

    explicit TaskList(int count) {
        for (int i = 0; i < count; ++i) {
            std::unique_ptr<CAction> task;
            switch (i % 3) {
            case 0: {
                auto del =
                    std::make_unique<CActionDeleteFile>("/home/user/Documents/projects/" + std::to_string(i));
                del->m_csMask = "|*.tmp|*.bak|";
                del->m_nDelType = 3;
                task = std::move(del);
                break;
            }
            case 1: {
                auto enc = std::make_unique<CActionEncryptFile>("/home/user/Pictures/" + std::to_string(i));
                enc->m_csMask = "|*.jpg|*.png|";
                enc->m_csKeyFile = "/home/user/.local/share/Quillmark/keys/main.qmk";
                enc->m_csDestFolder = "/media/backup/encrypted";
                task = std::move(enc);
                break;
            }
            default: {
                auto mail = std::make_unique<CActionSendEmail>();
                mail->m_csSendTo = "someone@example.org";
                mail->m_csServer = "smtp.example.org";
                mail->m_csSubject = "Weekly report " + std::to_string(i);
                mail->m_csMessage = std::string(400, 'm');
                task = std::move(mail);
                break;
            }
            }
            task->m_csName = "Task number " + std::to_string(i);
            task->m_nId = i + 1;
            task->m_nRunType = 1;
            task->m_vHours = {8, 12, 18};
            task->m_vDays = {2, 3, 4, 5, 6};
            auto& list = i % 3 == 0   ? manager.m_lstDelete
                         : i % 3 == 1 ? manager.m_lstEncrypt
                                      : manager.m_lstSendMail;
            list.push_back(task.get());
            tasks.push_back(std::move(task));
        }
    }
};

std::string SaveBytes(CTaskManager& manager) {
    std::string bytes, error;
    if (!manager.WriteScheduleBytes(bytes, error))
        throw std::runtime_error(error);
    return bytes;
}

void BM_Save(benchmark::State& state, int count, const char* password) {
    CAction::m_csPassword = password;
    TaskList list(count);
    for (auto _ : state) {
        std::string bytes = SaveBytes(list.manager);
        benchmark::DoNotOptimize(bytes);
    }
    CAction::m_csPassword.clear();
}

void BM_Load(benchmark::State& state, int count, const char* password) {
    CAction::m_csPassword = password;
    TaskList list(count);
    const std::string bytes = SaveBytes(list.manager);
    for (auto _ : state) {
        CTaskManager manager;
        std::string error;
        if (!manager.ReadScheduleBytes(bytes, error))
            state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(manager.m_lstDelete.data());
    }
    state.counters["bytes"] = static_cast<double>(bytes.size());
    CAction::m_csPassword.clear();
}

// The same through a real file: the save includes the temporary file, fsync and rename.
void BM_SaveFile(benchmark::State& state) {
    TaskList list(10000);
    const std::string path = std::filesystem::temp_directory_path() / "qm-bench-schedule.qms";
    for (auto _ : state) {
        std::string error;
        if (!list.manager.WriteScheduleFile(path, error))
            state.SkipWithError(error.c_str());
    }
    std::filesystem::remove(path);
}

void BM_LoadFile(benchmark::State& state) {
    TaskList list(10000);
    const std::string path = std::filesystem::temp_directory_path() / "qm-bench-schedule.qms";
    std::string error;
    if (!list.manager.WriteScheduleFile(path, error))
        state.SkipWithError(error.c_str());
    for (auto _ : state) {
        CTaskManager manager;
        if (!manager.ReadScheduleFile(path, error))
            state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(manager.m_lstDelete.data());
    }
    std::filesystem::remove(path);
}

} // namespace

BENCHMARK(BM_SaveFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadFile)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Save, counted_10000, 10000, "")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Load, counted_10000, 10000, "")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Save, sealed_1000, 1000, "document password")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Load, sealed_1000, 1000, "document password")->Unit(benchmark::kMillisecond);
