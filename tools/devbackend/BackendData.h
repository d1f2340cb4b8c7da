#pragma once

#include <QMap>
#include <QString>

namespace devbackend {

enum class AccountState { Valid, Expired, UsedUp };

struct Account
{
    QString password;
    AccountState state = AccountState::Valid;
    int days = 0;
    // What a successful user check answers; "{days}" stands for the days left.
    QString textTemplate = QStringLiteral("剩余天数:{days}");
    bool loggedInElsewhere = false;

    QString text() const;
};

struct PrepaidCard
{
    QString password;
    int days = 0;
    bool expired = false;
    bool used = false;
};

// How a line's dial-up credentials are handed out: the user's own account, or a
// dedicated dial account.
struct LineCredential
{
    bool direct = false;
    QString dialUser;
    QString dialPassword;
};

// Everything the back end knows, as read from its data file.
//
// The data file is UTF-8 INI text with these sections (all optional):
//   [backend]       version, route (empty: the listening address), registration (yes/no),
//                   catalogue (file with the server-list document, relative to this file)
//   [account NAME]  password, state (valid/expire/useup), days, text, elsewhere (yes/no)
//   [card NUMBER]   password, days, expired (yes/no), used (yes/no)
//   [line ADDRESS]  direct=yes, or user and password of the dial account
struct BackendData
{
    QString version = QStringLiteral("6.0");
    QString routeAddress;
    bool registrationOpen = true;
    QMap<QString, Account> accounts;
    QMap<QString, PrepaidCard> cards;
    QMap<QString, LineCredential> lines; // by server address
    QString catalogue;

    // On failure returns empty data and sets error to a message naming the file and line.
    static BackendData load(const QString &iniPath, QString *error);
};

} // namespace devbackend
