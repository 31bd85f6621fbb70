#pragma once
// Synchronising marks, routes and tracks with the chart server: the account
// signs in first when needed, the changes since the account's last
// synchronisation are posted to "cgi-bin/sync.cgi" on a progress job, and the
// server's answer is applied. Every failure shows "Sync Failed" with the
// reason; a failed synchronisation changes no object and leaves the time
// file as it was, so the next one sends the same objects again.
//
// Files in <application support>/syncdata (0700): "file.tssync" (0600, the
// request and then the reply; removed on every path) and one time file per
// account: the 8-byte float time at which its last good synchronisation started.
#include <cstddef>
#include <string>

class UIViewControllerWithDialog;

constexpr const char* kSyncProgram = "cgi-bin/sync.cgi";
constexpr const char* kSyncFolder = "syncdata";
constexpr const char* kSyncRequestFile = "file.tssync";
constexpr size_t kMaxSyncRequestBytes = 100000000;

// "time." + the user name made file-safe + "-" + the 8 hex digits of the
// 32-bit FNV-1a hash of the whole name (long names that share their safe
// start still get files of their own).
std::string SyncTimeFileName(const std::string& user);
// The time a time file holds: 0 unless it is 8 bytes of a finite time no
// later than `now` + 60 s.
double ParseSyncTime(const void* bytes, size_t size, double now);

// Runs one synchronisation; its dialogs open over `host` (the main window's
// dialog host), or in windows of their own without one.
void SyncOverlays(UIViewControllerWithDialog* host);
