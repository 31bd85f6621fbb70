#pragma once
// Installing a map package: the local copies of the files it names, beside
// the package file, are brought into agreement with its manifest block by
// block. Blocks whose local bytes already sum to their check value are kept;
// the others are fetched from the package's server over plain http, checked
// against the manifest and written. So the same operation installs a new map
// and updates an installed one, fetching only changed megabytes.
#include "charts/packages/PackageManifest.h"
#include "foundation/threads/WorkerThread.h"
#include "foundation/web/WebServer.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

class CPackageWorker : public CWorkerThread
{
public:
    class Job;

    // `failure` is shared with whoever watches: set on the first bad block,
    // and set from outside to stop the install (nothing more is handed out).
    CPackageWorker(CPackageManifest manifest, std::string folder, CWebProgress* progress,
                   std::atomic<bool>* failure);
    ~CPackageWorker() override;

    // Runs the install in the calling thread with four workers; true when
    // every block is good. `error` gets the failures' texts, each once.
    bool Run(std::string& error);

    const std::string& Folder() const { return m_folder; }

protected:
    std::unique_ptr<JobData> CreateJobData(int threadIndex) override;
    bool OnStart() override;

private:
    friend class Job;
    struct Block
    {
        size_t file = 0;
        int64_t offset = 0;
        int32_t length = 0;
        uint32_t check = 0;
    };
    // Under the pool lock.
    bool NextBlock(Block& block);
    void SetFailure();
    // Makes the folder of a local copy when it resolves inside the package's folder.
    void MakeFolderFor(const std::string& localPath);
    // Whether the local copy's folder, links followed, is inside the package's folder.
    bool IsInsideFolder(const std::string& localPath) const;
    bool Failed() const { return m_failure->load(); }
    static bool ConnectHook(void* arg);

    CPackageManifest m_manifest;
    std::string m_folder;     // with a trailing '/'
    std::string m_realFolder; // resolved, without a trailing '/'
    std::string m_host;
    int m_port = 0;
    CWebProgress* m_progress;
    CWebProgress m_ownProgress;
    std::atomic<bool>* m_failure;
    std::atomic<bool> m_ownFailure{false};

    // Hand-out state, under the pool lock.
    size_t m_file = 0;
    int64_t m_nextOffset = 0;
    bool m_allGood = true;
    std::vector<Job*> m_jobs;
};

// Installs the package at `path` into its own folder. `progress` (may be
// null) gets the bytes handed out and the total; `failure` (may be null) is
// the shared failure and cancel flag. False with a text in `error` when the
// package cannot be read ("package damaged" for a bad manifest), when a block
// cannot be fetched, is damaged or cannot be written; false with no text when
// `failure` was set from outside (cancelled).
bool PackageInstall(const std::string& path, CWebProgress* progress, std::atomic<bool>* failure,
                    std::string& error);
