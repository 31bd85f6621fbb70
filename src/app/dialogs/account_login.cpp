#include "app/dialogs/account_login.h"

#include "app/dialogs/Account.h"
#include "app/dialogs/WebPage.h"
#include "foundation/dialogs/MessageBox.h"
#include "foundation/platform/PlatformServices.h"
#include "mapview/view/RasterleafView.h"
#include "ui_account_login.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QResizeEvent>
#include <algorithm>

account_login::account_login(CAccount& account, QWidget* parent)
    : UIViewControllerWithDialog(parent), m_ui(std::make_unique<Ui::account_login>())
{
    initWithMgr(account);
    viewDidLoad();
}

account_login::~account_login() = default;

void account_login::initWithMgr(CAccount& account)
{
    m_ui->setupUi(this);
    m_account = &account;
    connect(m_ui->login, &QPushButton::clicked, this, &account_login::onLogin);
    connect(m_ui->cancel, &QPushButton::clicked, this, &account_login::onCancel);
    connect(m_ui->create_account, &QPushButton::clicked, this, &account_login::onCreateAccount);
    connect(m_ui->forgotten, &QPushButton::clicked, this, &account_login::onForgotten);
    connect(m_ui->user_name, &QLineEdit::returnPressed, this,
            [this] { textFieldShouldReturn(m_ui->user_name); });
    connect(m_ui->password, &QLineEdit::returnPressed, this,
            [this] { textFieldShouldReturn(m_ui->password); });
}

void account_login::resizeEvent(QResizeEvent* event)
{
    constexpr int kFormWidth = 420;
    const int side = std::max(9, (width() - kFormWidth) / 2);
    QMargins margins = m_ui->layout->contentsMargins();
    if (margins.left() != side || margins.right() != side) {
        margins.setLeft(side);
        margins.setRight(side);
        m_ui->layout->setContentsMargins(margins);
    }
    UIViewControllerWithDialog::resizeEvent(event);
}

void account_login::viewDidLoad()
{
    m_ui->save_password->setChecked(m_account->GetSavePassword());
    m_ui->user_name->setText(QString::fromStdString(m_account->GetUserName()));
    m_ui->password->setText(QString::fromStdString(m_account->GetPassword()));
    // The store may answer later; what the user typed by then wins.
    QPointer<account_login> self(this);
    m_account->LoadSavedPassword([self] {
        if (self && self->m_ui->password->text().isEmpty())
            self->m_ui->password->setText(QString::fromStdString(self->m_account->GetPassword()));
    });
    (m_ui->user_name->text().isEmpty() ? m_ui->user_name : m_ui->password)->setFocus();
}

QLineEdit* account_login::user_name() const
{
    return m_ui->user_name;
}

QLineEdit* account_login::password() const
{
    return m_ui->password;
}

QCheckBox* account_login::save_password() const
{
    return m_ui->save_password;
}

void account_login::onLogin()
{
    if (isDialogEnded())
        return;
    m_account->SetUserName(m_ui->user_name->text().trimmed().toStdString());
    m_account->SetPassword(m_ui->password->text().toStdString());
    m_account->SetSavePassword(m_ui->save_password->isChecked());
    m_ui->login->setEnabled(false);
    QPointer<account_login> self(this);
    m_account->SignIn(this, [self](bool ok, const std::string& message) {
        if (!self || self->isDialogEnded())
            return;
        self->m_ui->login->setEnabled(true);
        if (ok) {
            self->destroyDialog(0);
            return;
        }
        self->m_ui->password->setText(QString::fromStdString(self->m_account->GetPassword()));
        self->m_ui->password->setFocus();
        if (!message.empty())
            MessageBox(self, nullptr, "Sign In Failed", message, {{"OK", nullptr}});
    });
}

void account_login::onCancel()
{
    if (!isDialogEnded())
        destroyDialog(-1);
}

std::string account_login::AccountPageURL(const char* page)
{
    std::string base = CRasterleafView::GetSettings().appWebsite;
    if (base.empty() || base.back() != '/')
        base += '/';
    return base + page;
}

void account_login::onCreateAccount()
{
    OpenWebPage(this, AccountPageURL("account/create"));
}

void account_login::onForgotten()
{
    OpenWebPage(this, AccountPageURL("account/forgotten"));
}

bool account_login::textFieldShouldReturn(QLineEdit* field)
{
    if (field == m_ui->user_name)
        m_ui->password->setFocus();
    else
        onLogin();
    return true;
}

void OpenSignInDialog(CAccount& account, UIViewControllerWithDialog* parent)
{
    auto* dialog = new account_login(account);
    dialog->showInParent(parent);
}
