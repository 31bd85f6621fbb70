#include "app/dialogs/Account.h"

#include "app/dialogs/SecretStore.h"
#include "app/dialogs/account_login.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/jobs/ProgressJobs.h"
#include "foundation/web/ChartServer.h"
#include "foundation/web/WebBinaryCGI.h"

#include <memory>

namespace {

// What the job leaves for the main thread; read only after the job ended.
struct CSignInOutcome
{
    bool exchanged = false;
    CSignInReply reply;
    std::string error;
};

bool ContinueUnlessCancelled(void* arg)
{
    return !static_cast<CProgressDialogData*>(arg)->IsCancelled();
}

} // namespace

void CAccount::Persistant::Exchange()
{
    ExchangeString("user_name", userName);
    ExchangeBool("save_password", savePassword);
}

CAccount::Persistant& CAccount::Settings()
{
    static Persistant settings;
    return settings;
}

CAccount& CAccount::Get()
{
    static CAccount account;
    return account;
}

CAccount::CAccount()
{
    Settings();
}

void CAccount::SetUserName(const std::string& name)
{
    if (Settings().userName == name)
        return;
    Settings().userName = name;
    Settings().SetModified();
}

void CAccount::SetSavePassword(bool save)
{
    if (Settings().savePassword == save)
        return;
    Settings().savePassword = save;
    Settings().SetModified();
}

std::string CAccount::ServerProblem()
{
    if (!CChartServer::IsSet())
        return "No chart server is set";
    if (!CChartServer::Get().secure)
        return "The chart server needs an https address: account details are never sent over http.";
    return std::string();
}

bool CAccount::ReadSignInReply(CTypeSerializer& reply, CSignInReply& out)
{
    CSignInReply read;
    bool ok = reply.Exchange(read.status) && reply.Exchange(read.accountNumber) &&
              reply.ReadString(read.accessKey) && reply.ReadString(read.message);
    if (ok)
        out = std::move(read);
    return ok;
}

bool CAccount::ApplySignInReply(bool exchanged, const CSignInReply& reply, std::string& message)
{
    message.clear();
    bool ok = exchanged && reply.status == 0 && !reply.accessKey.empty();
    if (!ok) {
        if (exchanged)
            message = reply.status != 0 ? (reply.message.empty() ? "The user name or the password is wrong."
                                                                 : reply.message)
                                        : "Invalid response from server";
        // A wrong password is never kept, neither here nor in the store.
        m_password.clear();
        return false;
    }
    m_accountNumber = reply.accountNumber;
    m_accessKey = reply.accessKey;
    m_signedIn = true;
    if (GetSavePassword())
        GetSecretStore().WritePassword(GetUserName(), m_password);
    else
        GetSecretStore().DeletePassword(GetUserName());
    return true;
}

void CAccount::SignIn(QWidget* parent, std::function<void(bool ok, const std::string& message)> done)
{
    const std::string problem = ServerProblem();
    if (!problem.empty()) {
        done(false, problem);
        return;
    }
    if (m_busy) {
        done(false, std::string());
        return;
    }
    m_busy = true;
    const CWebAddress server = CChartServer::Get();
    auto outcome = std::make_shared<CSignInOutcome>();
    CCallback storage;
    PushProgressCallback(storage, CCallback([this, outcome, done](int32_t code) {
                             m_busy = false;
                             std::string message;
                             bool ok = false;
                             if (code == 0) {
                                 ok = ApplySignInReply(outcome->exchanged, outcome->reply, message);
                                 if (!outcome->exchanged)
                                     message = outcome->error.empty() ? "The server could not be reached."
                                                                      : outcome->error;
                             }
                             done(ok, message);
                             return code;
                         }));
    RunWithProgressDialog(
        parent, "Signing in...",
        [server, user = GetUserName(), password = m_password, outcome](CProgressDialogData& d) {
            CWebBinaryCGI cgi(server.host.c_str(), kProgram, true, server.port);
            cgi.Web().SetProgressCallback(ContinueUnlessCancelled, &d);
            uint32_t op = kOpSignIn;
            cgi.Exchange(op);
            cgi.WriteString(user);
            cgi.WriteString(password);
            if (!cgi.Execute()) {
                outcome->error = cgi.Web().GetErrorText();
                return;
            }
            outcome->exchanged = ReadSignInReply(cgi.Reply(), outcome->reply);
            if (!outcome->exchanged)
                outcome->error = "Invalid response from server";
        });
    RunDialogCallbacksUntil(storage);
}

void CAccount::SignOut()
{
    m_signedIn = false;
    m_accessKey.clear();
    m_accountNumber = 0;
    if (!GetSavePassword()) {
        GetSecretStore().DeletePassword(GetUserName());
        m_password.clear();
    }
}

void CAccount::LoadSavedPassword(std::function<void()> done)
{
    if (!m_password.empty() || !GetSavePassword() || GetUserName().empty()) {
        done();
        return;
    }
    const std::string user = GetUserName();
    GetSecretStore().ReadPassword(user, [this, user, done](bool found, const std::string& password) {
        // The user may have typed another name (or a password) meanwhile.
        if (found && m_password.empty() && GetUserName() == user)
            m_password = password;
        done();
    });
}

void CAccount::ResetForTesting()
{
    m_password.clear();
    m_accessKey.clear();
    m_accountNumber = 0;
    m_signedIn = false;
    m_busy = false;
    Settings().userName.clear();
    Settings().savePassword = false;
}

void EnsureSignedIn(UIViewControllerWithDialog* parent, std::function<void(int32_t code)> next)
{
    if (CAccount::Get().IsSignedIn()) {
        next(0);
        return;
    }
    CCallback storage;
    PushProgressCallback(storage, CCallback([next](int32_t code) {
                             next(code);
                             return code;
                         }));
    OpenSignInDialog(CAccount::Get(), parent);
    RunDialogCallbacksUntil(storage);
}
