#pragma once
// Where a remembered password is kept: the desktop's secret store (the
// Secret Service over D-Bus) when the application was built with it. Without
// one, or when none answers, nothing is kept and every read finds nothing;
// the password then never touches the disk.
#include <functional>
#include <string>

class ISecretStore
{
public:
    using ReadDone = std::function<void(bool found, const std::string& password)>;

    virtual ~ISecretStore() = default;
    // `done` runs later on the main thread (or at once), with found false
    // when nothing is stored or the store does not answer.
    virtual void ReadPassword(const std::string& user, ReadDone done) = 0;
    virtual void WritePassword(const std::string& user, const std::string& password) = 0;
    virtual void DeletePassword(const std::string& user) = 0;
};

// The store in use.
ISecretStore& GetSecretStore();
// Tests install their own; null puts the desktop's back. Returns the one before (null: the desktop's).
ISecretStore* SetSecretStore(ISecretStore* store);
