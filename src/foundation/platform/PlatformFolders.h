#pragma once
// Where this system keeps its files on Linux: the XDG folders of the user
// (through QStandardPaths), a private temporary folder, and the read-only
// resources of the installation or of the build tree.
#include <string>
#include <vector>

// ~/.local/share/tessaroute (application support data). Not created here.
std::string GetPlatformDataFolder();
// ~/Documents/Tessaroute. Not created here.
std::string GetPlatformDocumentsFolder();
// ~/.cache/tessaroute. Not created here.
std::string GetPlatformCachesFolder();
// A folder of mode 0700 made once per process under $TMPDIR (or /tmp) with
// mkdtemp, so other users can neither read nor plant files in it. "" when it
// cannot be made.
std::string GetPlatformTempFolder();
// Removes the private temporary folders this process made, with all they hold;
// links inside are removed, never followed, and a folder that was replaced or
// that a parent process made is left alone. The application calls it at
// shutdown once the data connection's capture is closed; any other process
// (tests, fuzzers) has it called at exit. A later GetPlatformTempFolder makes
// a new folder.
void RemovePlatformTempFolders();
// Removes the private temporary folders left by processes that ended without
// removing them (a kill, a power cut): only folders that name their maker in
// an owner file, whose maker is gone, owned by this user; links are never
// followed. Returns how many were removed.
int SweepDeadTempFolders();
// Removes the atomic writer's temporary files a killed save left in `folder`
// (not below it): only regular files of this user whose names have exactly
// the writer's form (IsAtomicWriterTempName), never a link or another name.
// A folder that is a link is not entered. Call while holding the data
// folder's lock.
int SweepWriterLeftovers(const std::string& folder);
// What a killed process left wherever the application writes: the writer's
// temporary files in the data folder and every folder below it, in the
// documents folder and in its map-store folder ("MVT") and below, and the
// private temporary folders of processes that are gone (SweepDeadTempFolders).
// Links are never followed. Call once at start-up while holding the data
// folder's lock. Returns how many files and folders were removed.
int SweepApplicationFolders();

// An exclusive lock on "<folder>/.lock", held while the object lives: one
// process per data folder, whatever the hand-over socket does.
class CDataFolderLock
{
public:
    enum class Result {
        Held,      // this process holds the lock
        Busy,      // another process holds it
        NoLocking, // the file system has no locks: nothing stops a second copy
        Failed,    // no lock can be had; `error` says why
    };

    CDataFolderLock() = default;
    ~CDataFolderLock();
    CDataFolderLock(const CDataFolderLock&) = delete;
    CDataFolderLock& operator=(const CDataFolderLock&) = delete;
    // Makes the folder when needed. Something in the lock file's way (a
    // folder, a link, a file this user cannot open) is replaced when the
    // folder allows it and no process holds it; a folder that is not empty
    // is kept aside as ".lock.old" (or ".lock.old-N"). `error` says why for
    // Busy, NoLocking and Failed, and what was kept aside for Held.
    Result Take(const std::string& folder, std::string& error);

private:
    Result TakeIn(int dir, const std::string& folder, std::string& error);

    int m_fd = -1;
};

// The folders searched for resources, in order: the installation's
// <exe dir>/../share/tessaroute, the build tree's generated resources, the
// source tree's resources. Only folders that exist are listed.
std::vector<std::string> GetResourceSearchFolders();

// Tests: puts the data, documents, caches and temp folders below `root`
// (root/data/tessaroute, root/Documents/Tessaroute, root/cache/tessaroute,
// root/tmp); "" returns to the real folders.
void SetFolderRootForTesting(const std::string& root);
// Tests: replaces the resource search folders; an empty list restores them.
void SetResourceFoldersForTesting(const std::vector<std::string>& folders);
