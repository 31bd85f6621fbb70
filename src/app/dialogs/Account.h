#pragma once
// The account on the chart server: the credentials the sign-in dialog takes,
// the number and access key that signing in gives, and the exchange that
// checks them ("cgi-bin/account.cgi" on the chart server, over https only).
// The user name and the save-password choice are settings; a remembered
// password lives in the desktop's secret store (SecretStore.h), never in the
// settings. One per process, main thread only.
#include "foundation/objectfile/TypeSerializer.h"
#include "foundation/settings/PersistantData.h"
#include "overlays/model/OverlayModelPorts.h"

#include <cstdint>
#include <functional>
#include <string>

class QWidget;
class UIViewControllerWithDialog;

// What the server answers to a sign-in: status 0 is success.
struct CSignInReply
{
    uint32_t status = 0;
    uint32_t accountNumber = 0;
    std::string accessKey;
    std::string message;
};

class CAccount : public IAccountNumberSource
{
public:
    static constexpr const char* kProgram = "cgi-bin/account.cgi";
    static constexpr uint32_t kOpSignIn = 1;

    class Persistant : public PersistantData
    {
    public:
        Persistant() : PersistantData("CAccount") {}
        void Exchange() override;

        std::string userName;
        bool savePassword = false;
    };
    static Persistant& Settings();

    static CAccount& Get();
    CAccount(const CAccount&) = delete;
    CAccount& operator=(const CAccount&) = delete;

    // The user name comes from the settings until one is set here.
    const std::string& GetUserName() const { return Settings().userName; }
    void SetUserName(const std::string& name);
    const std::string& GetPassword() const { return m_password; }
    void SetPassword(const std::string& password) { m_password = password; }
    bool GetSavePassword() const { return Settings().savePassword; }
    void SetSavePassword(bool save);
    bool IsSignedIn() const { return m_signedIn; }
    // The account text synchronisation sends: the access key, never the password.
    const std::string& GetAccessKey() const { return m_accessKey; }

    // IAccountNumberSource: 0 while signed out.
    uint32_t AccountNumber() override { return m_signedIn ? m_accountNumber : 0; }

    // Why nothing may be sent to the chart server ("" when it may): none is
    // set, or its address is not https.
    static std::string ServerProblem();

    // Checks the account's user name and password with the server on a
    // progress job over `parent` ("Signing in..."). Then, on the main thread,
    // `done` gets true, or false with the text for the user ("" after a
    // cancel). Success signs the account in and remembers or forgets the
    // password as save password says; failure empties the password.
    void SignIn(QWidget* parent, std::function<void(bool ok, const std::string& message)> done);
    // Forgets the access key and the number and, with save password off, the password.
    void SignOut();
    // The password the secret store keeps for the user, into the account
    // when it has none yet; `done` runs after (at once without a store).
    void LoadSavedPassword(std::function<void()> done);

    // Reads a sign-in reply; false when it is cut or not one.
    static bool ReadSignInReply(CTypeSerializer& reply, CSignInReply& out);
    // Applies a reply as the exchange does; the text for the user on failure.
    bool ApplySignInReply(bool exchanged, const CSignInReply& reply, std::string& message);

    // Tests: signed out with every field empty.
    void ResetForTesting();

private:
    CAccount();

    std::string m_password;
    std::string m_accessKey;
    uint32_t m_accountNumber = 0;
    bool m_signedIn = false;
    bool m_busy = false;
};

// Continues with `next`: at once with 0 when the account is signed in, else
// after the sign-in dialog over `parent` has ended (0 signed in, -1 cancelled).
void EnsureSignedIn(UIViewControllerWithDialog* parent, std::function<void(int32_t code)> next);
