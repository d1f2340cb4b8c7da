#pragma once

#include "login/LoginTarget.h"

#include <QWidget>

#include <functional>

class QComboBox;
class QLabel;
class QTimer;

namespace login {
class Tfrmlogin;
}

namespace mainwindow {

// The client's long-lived window. Its creation runs the login; closing it saves the
// area and line selection and ends the process.
class Tfrmmain : public QWidget, public login::LoginTarget
{
    Q_OBJECT
public:
    using ProcessEnd = std::function<void(int exitCode)>;

    explicit Tfrmmain(ProcessEnd endProcess, QWidget *parent = nullptr);

    void FormCreate();
    bool FormCloseQuery();
    void FormClose();

    void setUserLabel(const QString &text) override;
    void setStatusLabel(const QString &text) override;
    void setLocalIpLabel(const QString &text) override;
    void armVersionReminder() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void saveSelection();

    ProcessEnd m_endProcess;
    bool m_ending = false;
    login::Tfrmlogin *_frmlogin = nullptr;
    QComboBox *AreaTxt2 = nullptr;
    QComboBox *IPAddrTxt = nullptr;
    QLabel *statuslabel = nullptr;
    QLabel *userlabel = nullptr;
    QLabel *localiplabel = nullptr;
    QTimer *vercheck = nullptr;
};

} // namespace mainwindow
