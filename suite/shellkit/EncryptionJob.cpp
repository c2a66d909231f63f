#include "shellkit/EncryptionJob.h"

#include "corecrypt/Archive.h"
#include "corecrypt/EncryptedFile.h"
#include "corecrypt/Paths.h"
#include "corecrypt/Wipe.h"
#include "misckit/Registry.h"
#include "uikit/CallbackStruct.h"

#include <cstdio>

namespace shellkit {
namespace {

struct ArchiveProgress {
    const EncryptionProgress* progress;
    int total;
};

void ArchiveStep(CALLBACKSTRUCT_* record) {
    auto* p = static_cast<ArchiveProgress*>(record->pDialog);
    if (p && *p->progress && !(*p->progress)(record->csCurrent, record->nCurrent, p->total))
        record->Cancel();
}

void WipeOriginals(const EncryptionPlan& plan, const std::vector<std::string>& files,
                   EncryptionOutcome& outcome) {
    for (const auto& file : files) {
        char error[512] = "";
        if (!WipeFile(file.c_str(), error, sizeof error, plan.wipeRounds, 0))
            outcome.failures.push_back(file + ": encrypted, but not wiped: " + error);
    }
}

} // namespace

EncryptionOutcome RunEncryption(const EncryptionPlan& plan, const EncryptionProgress& progress) {
    EncryptionOutcome outcome;
    const CQMRegistry settings;
    std::vector<corecrypt::ArchiveSource> files;
    std::string error;
    if (!corecrypt::CollectArchiveSources(plan.sources, settings.GetRecDirs(), files, error)) {
        outcome.failures.push_back(error);
        return outcome;
    }
    std::vector<std::string> originals;
    for (const auto& f : files)
        originals.push_back(f.path);
    const int total = static_cast<int>(files.size());

    if (plan.toArchive) {
        const bool existed = corecrypt::PathExists(plan.archive);
        ArchiveProgress context{&progress, total};
        CALLBACKSTRUCT_ record;
        record.pfnCallBack = &ArchiveStep;
        record.pDialog = &context;
        corecrypt::ArchiveAddOptions options;
        options.overwrite = settings.GetInOverwrite();
        options.compress = plan.compress;
        options.extensionsNotCompressed = settings.GetExtsNotCompress();
        options.recurse = settings.GetRecDirs();
        options.algorithmMode = plan.algorithmMode;
        options.progress = &record;
        int added = 0;
        const bool ok = corecrypt::AddToArchive(plan.archive, plan.sources, plan.key, plan.keyFile, options,
                                                error, &added);
        outcome.cancelled = record.bStopped || !record.ShouldContinue();
        if (!ok) {
            outcome.failures.push_back(plan.archive + ": " + error);
            if (!existed)
                std::remove(plan.archive.c_str()); // nothing half-made stays behind
            return outcome;
        }
        outcome.written.push_back(plan.archive);
        if (plan.wipe)
            WipeOriginals(plan, originals, outcome);
        return outcome;
    }

    int done = 0;
    std::vector<std::string> encrypted;
    std::vector<std::string> created; // new files, not ones that replaced an older encrypted file
    for (const auto& file : originals) {
        if (progress && !progress(file, done, total)) {
            outcome.cancelled = true;
            break;
        }
        ++done;
        const std::string destination = file + ".qmp";
        const bool existed = corecrypt::PathExists(destination);
        if (existed && !settings.GetOutOverwrite()) {
            outcome.failures.push_back(file + ": the encrypted file " + destination + " already exists");
            continue;
        }
        if (!corecrypt::EncryptFile(file, destination, plan.key, plan.keyFile, plan.algorithmMode,
                                    plan.compress, error)) {
            outcome.failures.push_back(file + ": " + error);
            continue;
        }
        outcome.written.push_back(destination);
        encrypted.push_back(file);
        if (!existed)
            created.push_back(destination);
    }
    if (outcome.cancelled) {
        for (const auto& path : created)
            std::remove(path.c_str());
        outcome.written.clear();
        return outcome;
    }
    if (progress)
        progress(std::string(), done, total);
    if (plan.wipe)
        WipeOriginals(plan, encrypted, outcome);
    return outcome;
}

} // namespace shellkit
