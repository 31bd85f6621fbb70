#pragma once
// The sign-in dialog: user name, password and "Remember password", with
// buttons to sign in, to cancel, and to open the account pages of the web
// site. A failed sign-in empties the password and leaves the dialog open; a
// successful one ends it with 0, Cancel with -1.
#include "foundation/dialogs/UIViewControllerWithDialog.h"
#include "foundation/dialogs/global_dialog_window.h"

#include <memory>
#include <string>

class CAccount;
class QCheckBox;
class QLineEdit;

namespace Ui {
class account_login;
}

class account_login : public UIViewControllerWithDialog
{
    Q_OBJECT

public:
    explicit account_login(CAccount& account, QWidget* parent = nullptr);
    ~account_login() override;

    // Loads the form and keeps the account.
    void initWithMgr(CAccount& account);
    // The fields from the account (a remembered password once the store answers).
    void viewDidLoad();

    void onLogin();
    void onCancel();
    void onCreateAccount();
    void onForgotten();
    // Return in the user name moves to the password; anywhere else it signs in.
    bool textFieldShouldReturn(QLineEdit* field);

    // The account pages, below the web site of the settings ("app_website").
    static std::string AccountPageURL(const char* page);

    QLineEdit* user_name() const;
    QLineEdit* password() const;
    QCheckBox* save_password() const;

protected:
    // The form keeps a readable width, centred, however wide the window.
    void resizeEvent(QResizeEvent* event) override;

private:
    std::unique_ptr<Ui::account_login> m_ui;
    CAccount* m_account = nullptr;
};

// Opens the sign-in dialog over `parent` (in a window of its own without one);
// it takes over the pending continuations.
void OpenSignInDialog(CAccount& account, UIViewControllerWithDialog* parent);
