// Signing in to the chart server's account: the dialog's keys and buttons,
// what is remembered in the secret store, the menu item's title, and that
// nothing is sent unless the chart server has an https address.
// TESSA_XVFB_LABEL
#include "app/dialogs/Account.h"
#include "app/dialogs/account_login.h"
#include "app/shell/AppDelegate.h"
#include "app/shell/SyncOverlays.h"
#include "app/window/ViewController.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/jobs/progress_dialog.h"
#include "foundation/platform/PlatformFolders.h"
#include "foundation/platform/PlatformServices.h"
#include "foundation/settings/PersistantData.h"
#include "foundation/web/ChartServer.h"
#include "overlays/model/OverlayMark.h"
#include "packagewriter/JobTestSupport.h"
#include "support/FakeSecretStore.h"
#include "support/ScriptedPresenter.h"
#include "support/SyncServerDouble.h"
#include "support/TestPaths.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>
#include <filesystem>
#include <gtest/gtest.h>

using namespace tessatest;

namespace {

class AccountTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = MakeScratchDir("app_account");
        SetFolderRootForTesting(root);
        PersistantData::SetIniPaths(root + "/t.ini", root + "/t2.ini");
        ClearPendingCallbacksForTesting();
        CAccount::Get().ResetForTesting();
        InstallPort<IAccountNumberSource>(&CAccount::Get());
        presenter.SetImmediate(true);
        SetURLOpenerForTesting([this](const std::string& url) {
            opened.push_back(url);
            return true;
        });
    }
    void TearDown() override
    {
        SetURLOpenerForTesting({});
        InstallPort<IAccountNumberSource>(nullptr);
        CAccount::Get().ResetForTesting();
        QApplication::processEvents(); // ended dialogs are deleted
        PersistantData::SetIniPaths("", "");
        SetFolderRootForTesting("");
        std::filesystem::remove_all(root);
    }
    // The dialog in a window of its own; its end code lands in `code`.
    account_login* Open(const std::string& user, const std::string& password, bool save)
    {
        CCallback storage;
        PushProgressCallback(storage, CCallback([this](int32_t c) { return code = c; }));
        auto* dialog = new account_login(CAccount::Get());
        dialog->showInParent(nullptr);
        RunDialogCallbacksUntil(storage);
        dialog->user_name()->setText(QString::fromStdString(user));
        dialog->password()->setText(QString::fromStdString(password));
        dialog->save_password()->setChecked(save);
        return dialog;
    }
    int BoxesTitled(const std::string& title) const
    {
        int n = 0;
        for (const auto& shown : presenter.Shown())
            n += shown.title == title;
        return n;
    }

    std::string root;
    int32_t code = 1234;
    std::vector<std::string> opened;
    CScriptedPresenter presenter;
    FakeSecretStore secrets;
    AccountSyncServer server;
};

} // namespace

TEST_F(AccountTest, ReturnInTheUserNameMovesOnAndReturnInThePasswordSignsIn)
{
    account_login* dialog = Open("skipper", "secret", false);
    EXPECT_TRUE(dialog->textFieldShouldReturn(dialog->user_name()));
    EXPECT_TRUE(server.SignIns().empty());
    EXPECT_EQ(code, 1234);
    EXPECT_TRUE(dialog->textFieldShouldReturn(dialog->password()));
    ASSERT_EQ(server.SignIns().size(), 1u);
    EXPECT_EQ(server.SignIns()[0], std::make_pair(std::string("skipper"), std::string("secret")));
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(CAccount::Get().IsSignedIn());
    EXPECT_EQ(CAccount::Get().GetAccessKey(), "key-0x1234");
    COverlayMark mark;
    EXPECT_EQ(mark.GetSyncId() >> 32, 0x1234u);

    // The account pages open in the browser, below the web site.
    account_login* again = Open("skipper", "", false);
    again->onCreateAccount();
    again->onForgotten();
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_NE(opened[0], opened[1]);
    EXPECT_EQ(opened[0].rfind("https://", 0), 0u);
    again->onCancel();
    EXPECT_EQ(code, -1);
}

TEST_F(AccountTest, WithoutABrowserTheAddressIsShownToCopy)
{
    SetURLOpenerForTesting([](const std::string&) { return false; });
    account_login* dialog = Open("skipper", "", false);
    // However wide the window, the fields keep a readable width.
    dialog->resize(1200, 500);
    QApplication::processEvents();
    EXPECT_LE(dialog->user_name()->width(), 500);
    using Action = void (account_login::*)();
    for (Action action : {&account_login::onCreateAccount, &account_login::onForgotten}) {
        (dialog->*action)();
        QMessageBox* box = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "webPageFailed" && w->isVisible())
                box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->informativeText().left(8), "https://");
        EXPECT_TRUE(box->textInteractionFlags() & Qt::TextSelectableByMouse);
        box->close();
        QApplication::processEvents();
    }
    dialog->onCancel();
}

TEST_F(AccountTest, OnlyAGoodPasswordWithSavePasswordOnIsRemembered)
{
    struct Case
    {
        bool save;
        const char* password;
        bool signedIn;
    };
    for (const Case& c : {Case{false, "wrong", false}, Case{true, "wrong", false}, Case{true, "secret", true},
                          Case{false, "secret", true}}) {
        SCOPED_TRACE(std::string(c.password) + (c.save ? " saved" : ""));
        CAccount::Get().ResetForTesting();
        secrets.kept = {{"skipper", "older"}};
        presenter.ClearShown();
        code = 1234;
        account_login* dialog = Open("skipper", c.password, c.save);
        dialog->onLogin();
        EXPECT_EQ(CAccount::Get().IsSignedIn(), c.signedIn);
        if (!c.signedIn) {
            EXPECT_FALSE(dialog->isDialogEnded());
            EXPECT_TRUE(dialog->password()->text().isEmpty());
            EXPECT_EQ(CAccount::Get().GetPassword(), "");
            ASSERT_EQ(BoxesTitled("Sign In Failed"), 1);
            EXPECT_EQ(presenter.Last().text, server.wrongMessage);
            EXPECT_EQ(secrets.kept["skipper"], "older");
            dialog->onCancel();
            EXPECT_EQ(code, -1);
            continue;
        }
        EXPECT_EQ(code, 0);
        EXPECT_EQ(secrets.kept.count("skipper"), c.save ? 1u : 0u);
        if (c.save) {
            EXPECT_EQ(secrets.kept["skipper"], "secret");
        }
        CAccount::Get().SignOut();
        EXPECT_FALSE(CAccount::Get().IsSignedIn());
        EXPECT_EQ(CAccount::Get().AccountNumber(), 0u);
        EXPECT_EQ(CAccount::Get().GetAccessKey(), "");
        EXPECT_EQ(CAccount::Get().GetPassword(), c.save ? "secret" : "");
    }
}

TEST_F(AccountTest, TheMenuSignsInOnceAndRetitlesItsItem)
{
    AppDelegate app;
    app.MakeMainWindow(false);
    ViewController* window = app.Window();
    auto title = [&] {
        emit window->AccountItemsMenu()->aboutToShow();
        return window->SignInOutAction()->text().toStdString();
    };
    EXPECT_EQ(title(), "Sign In");
    window->SignInOutAction()->trigger();
    auto* dialog = qobject_cast<account_login*>(window->DialogHost().child_dialog());
    ASSERT_NE(dialog, nullptr);
    dialog->user_name()->setText("skipper");
    dialog->password()->setText("secret");
    dialog->onLogin();
    EXPECT_EQ(BoxesTitled("Success"), 1);
    EXPECT_EQ(presenter.Last().text, "Signed in OK");
    EXPECT_EQ(title(), "Sign Out");
    window->SignInOutAction()->trigger();
    EXPECT_FALSE(CAccount::Get().IsSignedIn());
    EXPECT_EQ(title(), "Sign In");
    EXPECT_EQ(BoxesTitled("Success"), 1);
}

TEST_F(AccountTest, TheWindowKeepsTickingWhileTheServerStalls)
{
    CQtProgressDialogOpener opener;
    InstallPort<IProgressDialogOpener>(&opener);
    server.server.SetFault("/cgi-bin/account.cgi", LoopbackFault::StallBeforeHeaders);
    account_login* dialog = Open("skipper", "secret", false);
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(10);
    dialog->onLogin();
    EXPECT_TRUE(PumpUntil([&] { return ticks >= 5; }));
    EXPECT_FALSE(CAccount::Get().IsSignedIn());
    server.server.ReleaseStalls();
    EXPECT_TRUE(PumpUntil([&] { return code == 0; }));
    EXPECT_TRUE(CAccount::Get().IsSignedIn());
    InstallPort<IProgressDialogOpener>(nullptr);
}

TEST_F(AccountTest, NothingIsSentWithoutAnHttpsChartServer)
{
    LoopbackServer plain;
    const std::string http = plain.BaseURL();
    for (const char* address : {http.c_str(), ""}) {
        SCOPED_TRACE(address);
        if (*address)
            setenv(CChartServer::kEnvironmentVariable, address, 1);
        else
            unsetenv(CChartServer::kEnvironmentVariable);
        presenter.ClearShown();
        account_login* dialog = Open("skipper", "secret", true);
        dialog->onLogin();
        ASSERT_EQ(BoxesTitled("Sign In Failed"), 1);
        const std::string why = presenter.Last().text;
        EXPECT_NE(why.find(*address ? "https" : "No chart server is set"), std::string::npos) << why;
        EXPECT_FALSE(dialog->isDialogEnded());
        SyncOverlays(nullptr);
        ASSERT_EQ(BoxesTitled("Sync Failed"), 1);
        EXPECT_EQ(presenter.Last().text, why);
        dialog->onCancel();
    }
    EXPECT_EQ(plain.RequestCount(), 0u);
    EXPECT_TRUE(server.SignIns().empty() && server.SyncRequests().empty());
}
