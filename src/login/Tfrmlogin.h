#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace platform {
class BrowserPane;
}

namespace login {

class LoginTarget;

// The modal login window: picks a master node, checks the account and, on success,
// fills the client state, saves the login settings and loads the server list.
class Tfrmlogin : public QDialog
{
    Q_OBJECT
public:
    Tfrmlogin(LoginTarget *target, QWidget *parent = nullptr);

    void btn_loginClick();
    void btn_exitClick();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildControls();
    void FormCreate();
    bool runNetCheck();
    void failBusy();
    void storeSettings();
    void loadServerList();

    LoginTarget *m_target;
    platform::BrowserPane *wb1 = nullptr;
    QLineEdit *edt_user = nullptr;
    QLineEdit *edt_pass = nullptr;
    QCheckBox *chkpass = nullptr;
    QCheckBox *chkstatus = nullptr;
    QPushButton *sButton1 = nullptr;
    QPushButton *sButton2 = nullptr;
    QPushButton *btn_login = nullptr;
    QPushButton *btn_exit = nullptr;
    QLabel *Label3 = nullptr;
};

} // namespace login
