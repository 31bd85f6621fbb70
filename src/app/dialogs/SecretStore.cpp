#include "app/dialogs/SecretStore.h"

#ifdef TESSA_HAVE_QTKEYCHAIN
#include <QObject>
#include <qt6keychain/keychain.h>
#endif

namespace {

constexpr const char* kService = "Tessaroute chart server";

#ifdef TESSA_HAVE_QTKEYCHAIN
// Each request is a job that deletes itself when it has finished; a desktop
// without a secret service makes the job fail, which reads as "nothing kept".
class CDesktopSecretStore : public ISecretStore
{
public:
    void ReadPassword(const std::string& user, ReadDone done) override
    {
        auto* job = new QKeychain::ReadPasswordJob(kService);
        job->setAutoDelete(true);
        job->setKey(QString::fromStdString(user));
        QObject::connect(job, &QKeychain::Job::finished, [done](QKeychain::Job* finished) {
            auto* read = static_cast<QKeychain::ReadPasswordJob*>(finished);
            if (read->error() != QKeychain::NoError)
                done(false, std::string());
            else
                done(true, read->textData().toStdString());
        });
        job->start();
    }
    void WritePassword(const std::string& user, const std::string& password) override
    {
        auto* job = new QKeychain::WritePasswordJob(kService);
        job->setAutoDelete(true);
        job->setKey(QString::fromStdString(user));
        job->setTextData(QString::fromStdString(password));
        job->start();
    }
    void DeletePassword(const std::string& user) override
    {
        auto* job = new QKeychain::DeletePasswordJob(kService);
        job->setAutoDelete(true);
        job->setKey(QString::fromStdString(user));
        job->start();
    }
};
#else
class CDesktopSecretStore : public ISecretStore
{
public:
    void ReadPassword(const std::string&, ReadDone done) override { done(false, std::string()); }
    void WritePassword(const std::string&, const std::string&) override {}
    void DeletePassword(const std::string&) override {}
};
#endif

ISecretStore* gInstalled = nullptr;

} // namespace

ISecretStore& GetSecretStore()
{
    static CDesktopSecretStore desktop;
    (void)kService;
    return gInstalled ? *gInstalled : desktop;
}

ISecretStore* SetSecretStore(ISecretStore* store)
{
    ISecretStore* before = gInstalled;
    gInstalled = store;
    return before;
}
