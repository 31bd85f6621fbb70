#pragma once
// A secret store in memory that answers at once; installed while it lives.
#include "app/dialogs/SecretStore.h"

#include <map>
#include <string>

namespace tessatest {

class FakeSecretStore : public ISecretStore
{
public:
    FakeSecretStore() { m_before = SetSecretStore(this); }
    ~FakeSecretStore() override { SetSecretStore(m_before); }
    FakeSecretStore(const FakeSecretStore&) = delete;
    FakeSecretStore& operator=(const FakeSecretStore&) = delete;

    void ReadPassword(const std::string& user, ReadDone done) override
    {
        auto found = kept.find(user);
        done(found != kept.end(), found != kept.end() ? found->second : std::string());
    }
    void WritePassword(const std::string& user, const std::string& password) override
    {
        kept[user] = password;
    }
    void DeletePassword(const std::string& user) override { kept.erase(user); }

    std::map<std::string, std::string> kept;

private:
    ISecretStore* m_before = nullptr;
};

} // namespace tessatest
