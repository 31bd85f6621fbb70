// The server's answer to a sign-in, read as the web client hands it over:
// whatever the bytes, the account is signed in only with status 0 and an
// access key, and a refused answer keeps neither a number nor the password.
#include "app/dialogs/Account.h"
#include "foundation/web/WebBinaryCGI.h"
#include "support/FakeSecretStore.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > 1000000)
        return 0;
    static tessatest::FakeSecretStore store;
    std::vector<uint8_t> bytes(data, data + size);
    FILE* file = fmemopen(bytes.data(), bytes.size(), "rb");
    if (!file)
        return 0;
    CWebBinaryCGI cgi("fuzz.example.test", CAccount::kProgram, true);
    cgi.SetReplyForTesting(file);
    CSignInReply reply;
    const bool read = CAccount::ReadSignInReply(cgi.Reply(), reply);
    CAccount& account = CAccount::Get();
    account.ResetForTesting();
    account.SetPassword("secret");
    std::string message;
    const bool ok = account.ApplySignInReply(read, reply, message);
    if (ok != (read && reply.status == 0 && !reply.accessKey.empty()) || ok != account.IsSignedIn())
        std::abort();
    if (!ok && (account.AccountNumber() != 0 || !account.GetPassword().empty() || (read && message.empty())))
        std::abort();
    if (ok && (account.AccountNumber() != reply.accountNumber || account.GetAccessKey() != reply.accessKey))
        std::abort();
    return 0;
}
