#include "charts/packages/PackageInstaller.h"

#include "charts/ChartFileUse.h"
#include "foundation/util/Files.h"
#include "foundation/util/FormatString.h"
#include "foundation/util/Paths.h"
#include "foundation/util/StringUtil.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string RealPath(const std::string& path)
{
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

bool IsSameOrInside(const std::string& path, const std::string& root)
{
    return !root.empty() && path.compare(0, root.size(), root) == 0 &&
           (path.size() == root.size() || path[root.size()] == '/' || root == "/");
}

// Whether `path` (which need not exist yet) ends up inside `realRoot` once
// links are followed: its nearest existing ancestor must resolve inside.
bool ResolvesInside(std::string path, const std::string& realRoot)
{
    while (!path.empty()) {
        struct stat st;
        if (::lstat(path.c_str(), &st) == 0) {
            const std::string real = RealPath(path);
            return !real.empty() && IsSameOrInside(real, realRoot);
        }
        const size_t slash = path.rfind('/');
        if (slash == std::string::npos || slash == 0)
            return false;
        path.resize(slash);
    }
    return false;
}

} // namespace

class CPackageWorker::Job : public CWorkerThread::JobData
{
public:
    explicit Job(CPackageWorker& worker) : m_worker(worker), m_buffer(new uint8_t[kPackageBlockSize])
    {
        // Plain http, as the package names it: its host never comes from the user.
        m_web = std::make_unique<CWebServer>(worker.m_host.c_str(), false, worker.m_port);
        m_web->SetConnectHook(&CPackageWorker::ConnectHook, &worker);
    }
    ~Job() override { CloseFile(false); }

    bool GetJob() override;
    void DoJob() override;

    const std::string& Error() const { return m_error; }

private:
    void CloseFile(bool deleteIfModified);
    bool OpenFile(size_t index);
    // Before the first change to the open file: no reader may have it mapped.
    bool BeginRewrite();
    void Fail(const std::string& text)
    {
        m_result = false;
        AppendToCommaList(m_error, text);
    }

    CPackageWorker& m_worker;
    std::unique_ptr<uint8_t[]> m_buffer;
    std::unique_ptr<CWebServer> m_web;
    int m_fd = -1;
    size_t m_fileIndex = SIZE_MAX;
    std::string m_localPath;
    std::string m_remotePath;
    bool m_modified = false;
    bool m_rewriting = false;
    CFileId m_fileId;
    bool m_result = true;
    bool m_hasBlock = false;
    Block m_block;
    std::string m_error;
};

CPackageWorker::CPackageWorker(CPackageManifest manifest, std::string folder, CWebProgress* progress,
                               std::atomic<bool>* failure)
    : CWorkerThread(1, 4), m_manifest(std::move(manifest)), m_folder(std::move(folder)),
      m_progress(progress ? progress : &m_ownProgress), m_failure(failure ? failure : &m_ownFailure)
{
    if (m_folder.empty() || m_folder.back() != '/')
        m_folder += '/';
    if (!SplitPackageHost(m_manifest.header.host, m_host, m_port)) {
        m_host.clear(); // a client without a base address fails every read with a text
        m_port = 0;
    }
}

CPackageWorker::~CPackageWorker()
{
    StopAndJoin();
}

std::unique_ptr<CWorkerThread::JobData> CPackageWorker::CreateJobData(int)
{
    auto job = std::make_unique<Job>(*this);
    m_jobs.push_back(job.get());
    return job;
}

bool CPackageWorker::OnStart()
{
    return !Failed();
}

bool CPackageWorker::ConnectHook(void* arg)
{
    return !static_cast<CPackageWorker*>(arg)->Failed();
}

void CPackageWorker::MakeFolderFor(const std::string& localPath)
{
    const std::string folder = PathDirectory(localPath);
    if (ResolvesInside(folder, m_realFolder))
        CreateDirectoryPath(folder);
}

bool CPackageWorker::IsInsideFolder(const std::string& localPath) const
{
    const std::string real = RealPath(PathDirectory(localPath));
    return !real.empty() && IsSameOrInside(real, m_realFolder);
}

void CPackageWorker::SetFailure()
{
    m_failure->store(true);
}

bool CPackageWorker::NextBlock(Block& block)
{
    while (m_file < m_manifest.entries.size()) {
        const CPackageEntry& entry = m_manifest.entries[m_file];
        int64_t size = static_cast<int64_t>(entry.size);
        if (m_nextOffset < size) {
            block.file = m_file;
            block.offset = m_nextOffset;
            int64_t left = size - m_nextOffset;
            block.length = static_cast<int32_t>(left < kPackageBlockSize ? left : kPackageBlockSize);
            block.check = entry.checks[static_cast<size_t>(m_nextOffset / kPackageBlockSize)];
            m_nextOffset += block.length;
            m_progress->done.fetch_add(block.length);
            return true;
        }
        ++m_file;
        m_nextOffset = 0;
        if (m_file < m_manifest.entries.size()) {
            MakeFolderFor(m_folder + m_manifest.entries[m_file].name);
        }
    }
    return false;
}

bool CPackageWorker::Run(std::string& error)
{
    error.clear();
    m_progress->total.store(static_cast<int64_t>(m_manifest.header.total));
    m_progress->done.store(0);
    // Every file is written inside the package's folder as it resolves now:
    // a link planted below it must not carry a write elsewhere.
    m_realFolder = RealPath(m_folder);
    if (m_realFolder.empty()) {
        error = m_folder + ": " + strerror(errno);
        return false;
    }
    if (!m_manifest.entries.empty())
        MakeFolderFor(m_folder + m_manifest.entries[0].name);
    RunUntilIdle();
    for (Job* job : m_jobs)
        if (!job->Error().empty())
            AppendToCommaList(error, job->Error());
    // A cancel from outside leaves no text: nobody needs to be told.
    return m_allGood && !Failed();
}

void CPackageWorker::Job::CloseFile(bool deleteIfModified)
{
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
    if (m_rewriting) {
        EndChartFileRewrite(m_fileId);
        m_rewriting = false;
    }
    if (deleteIfModified && m_modified && !m_localPath.empty())
        unlink(m_localPath.c_str());
    m_modified = false;
    m_fileIndex = SIZE_MAX;
}

bool CPackageWorker::Job::OpenFile(size_t index)
{
    CloseFile(false);
    const CPackageEntry& entry = m_worker.m_manifest.entries[index];
    m_fileIndex = index;
    m_localPath = m_worker.m_folder + entry.name;
    m_remotePath = m_worker.m_manifest.header.folder;
    if (m_remotePath.empty() || m_remotePath.back() != '/')
        m_remotePath += '/';
    m_remotePath += entry.name;
    if (m_remotePath.front() != '/')
        m_remotePath.insert(m_remotePath.begin(), '/');

    if (!m_worker.IsInsideFolder(m_localPath)) {
        Fail(m_localPath + ": outside the package's folder");
        return false;
    }
    // O_NOFOLLOW: a link planted in the package folder must not redirect writes.
    const int flags = O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW;
    // A file this install creates counts as modified: a failure removes it,
    // so an empty copy never makes the package look installed.
    m_fd = open(m_localPath.c_str(), flags | O_EXCL, 0666);
    if (m_fd >= 0) {
        m_modified = true;
        return true;
    }
    m_fd = open(m_localPath.c_str(), flags, 0666);
    if (m_fd < 0) {
        struct stat st;
        if (lstat(m_localPath.c_str(), &st) == 0) {
            // Something else is in the way (a link, an empty folder): replace it.
            if (S_ISDIR(st.st_mode))
                rmdir(m_localPath.c_str());
            else
                unlink(m_localPath.c_str());
            m_fd = open(m_localPath.c_str(), flags | O_EXCL, 0666);
            m_modified = m_fd >= 0;
        }
    }
    if (m_fd < 0) {
        Fail(m_localPath + ": " + strerror(errno));
        return false;
    }
    return true;
}

bool CPackageWorker::Job::BeginRewrite()
{
    if (m_rewriting)
        return true;
    m_fileId = FileIdOfDescriptor(m_fd);
    if (!BeginChartFileRewrite(m_fileId)) {
        Fail(m_localPath + ": the map is open and cannot be updated now");
        return false;
    }
    m_rewriting = true;
    return true;
}

bool CPackageWorker::Job::GetJob()
{
    CPackageWorker& w = m_worker;
    w.m_allGood = w.m_allGood && m_result;
    m_result = true;
    m_hasBlock = false;
    if (!w.m_allGood)
        w.SetFailure();
    if (w.Failed()) {
        CloseFile(true);
        return false;
    }
    if (!w.NextBlock(m_block)) {
        CloseFile(false);
        return false;
    }
    if (m_block.file != m_fileIndex && !OpenFile(m_block.file)) {
        // Reported by the next take, which sets the failure flag.
        return true;
    }
    m_hasBlock = true;
    return true;
}

void CPackageWorker::Job::DoJob()
{
    if (!m_hasBlock || m_fd < 0) {
        m_result = false;
        return;
    }
    const CPackageEntry& entry = m_worker.m_manifest.entries[m_block.file];
    uint8_t* buffer = m_buffer.get();
    ssize_t got = pread(m_fd, buffer, static_cast<size_t>(m_block.length), m_block.offset);
    bool good = got == m_block.length && PackageBlockSum(buffer, static_cast<size_t>(got)) == m_block.check;
    if (!good) {
        int32_t read = m_web->ReadRange(m_remotePath.c_str(), m_block.offset, m_block.length, buffer);
        if (read != m_block.length) {
            std::string text = m_web->GetErrorText();
            if (text.empty())
                FormatLongString(text, "%s: the server sent too few bytes", entry.name.c_str());
            // A cancel leaves no text: the caller reports it.
            if (!m_worker.Failed())
                Fail(text);
            else
                m_result = false;
            return;
        }
        if (PackageBlockSum(buffer, static_cast<size_t>(read)) != m_block.check) {
            std::string text;
            FormatLongString(text, "The downloaded data of %s is damaged (block at byte %lld)",
                             entry.name.c_str(), static_cast<long long>(m_block.offset));
            Fail(text);
            return;
        }
        // Only now does the local copy change; a failure before this point
        // leaves it as it was.
        if (!BeginRewrite())
            return;
        m_modified = true;
        size_t written = 0;
        while (written < static_cast<size_t>(read)) {
            ssize_t n = pwrite(m_fd, buffer + written, static_cast<size_t>(read) - written,
                               m_block.offset + static_cast<int64_t>(written));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                Fail(m_localPath + ": " + strerror(n < 0 ? errno : ENOSPC));
                return;
            }
            written += static_cast<size_t>(n);
        }
    }
    // The file's last block: a local copy that was longer keeps no stale tail.
    if (m_block.offset + m_block.length == static_cast<int64_t>(entry.size)) {
        struct stat st;
        if (fstat(m_fd, &st) == 0 && st.st_size > static_cast<off_t>(entry.size)) {
            if (!BeginRewrite())
                return;
            m_modified = true;
            if (ftruncate(m_fd, static_cast<off_t>(entry.size)) != 0) {
                Fail(m_localPath + ": " + strerror(errno));
                return;
            }
        }
    }
    m_result = true;
}

bool PackageInstall(const std::string& path, CWebProgress* progress, std::atomic<bool>* failure,
                    std::string& error)
{
    CPackageManifest manifest;
    if (!ReadPackageManifestFile(path, manifest, error))
        return false;
    std::unique_ptr<CPackageWorker> worker =
        MakeWorkerPool<CPackageWorker>(std::move(manifest), PathDirectory(path), progress, failure);
    return worker->Run(error);
}
