#include "devbackend/BackendData.h"

#include "devbackend/IniText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>

namespace devbackend {

namespace {

// Reads one section's entries, each key at most once and only from the allowed set, and
// remembers the first problem.
class SectionReader
{
public:
    SectionReader(const IniText::Section &section, const QStringList &allowedKeys)
        : m_section(section)
    {
        QStringList seen;
        for (const IniText::Entry &entry : section.entries) {
            if (!allowedKeys.contains(entry.key))
                fail(entry.line, QStringLiteral("unknown key \"%1\"").arg(entry.key));
            else if (seen.contains(entry.key))
                fail(entry.line, QStringLiteral("key \"%1\" given twice").arg(entry.key));
            seen.append(entry.key);
        }
    }

    std::optional<QString> text(const QString &key) const
    {
        for (const IniText::Entry &entry : m_section.entries) {
            if (entry.key == key)
                return entry.value;
        }
        return std::nullopt;
    }

    QString requiredText(const QString &key)
    {
        const std::optional<QString> value = text(key);
        if (!value)
            fail(m_section.line, QStringLiteral("missing key \"%1\"").arg(key));
        return value.value_or(QString());
    }

    int number(const QString &key)
    {
        bool ok = false;
        const int value = requiredText(key).toInt(&ok);
        if (!ok)
            fail(lineOf(key), QStringLiteral("\"%1\" must be a whole number").arg(key));
        return value;
    }

    bool flag(const QString &key, bool fallback)
    {
        const std::optional<QString> value = text(key);
        if (!value)
            return fallback;
        if (*value == QLatin1String("yes"))
            return true;
        if (*value == QLatin1String("no"))
            return false;
        fail(lineOf(key), QStringLiteral("\"%1\" must be yes or no").arg(key));
        return fallback;
    }

    void fail(int line, const QString &message)
    {
        if (m_error.isEmpty())
            m_error = QStringLiteral("line %1: %2").arg(line).arg(message);
    }

    int lineOf(const QString &key) const
    {
        for (const IniText::Entry &entry : m_section.entries) {
            if (entry.key == key)
                return entry.line;
        }
        return m_section.line;
    }

    const QString &error() const { return m_error; }

private:
    const IniText::Section &m_section;
    QString m_error;
};

QString readAccount(const IniText::Section &section, Account *account)
{
    SectionReader reader(section, {QStringLiteral("password"), QStringLiteral("state"),
                                   QStringLiteral("days"), QStringLiteral("text"),
                                   QStringLiteral("elsewhere")});
    account->password = reader.requiredText(QStringLiteral("password"));
    const QString state = reader.text(QStringLiteral("state")).value_or(QStringLiteral("valid"));
    if (state == QLatin1String("expire"))
        account->state = AccountState::Expired;
    else if (state == QLatin1String("useup"))
        account->state = AccountState::UsedUp;
    else if (state != QLatin1String("valid"))
        reader.fail(reader.lineOf(QStringLiteral("state")),
                    QStringLiteral("state must be valid, expire or useup"));
    if (account->state == AccountState::Valid)
        account->days = reader.number(QStringLiteral("days"));
    account->textTemplate = reader.text(QStringLiteral("text")).value_or(account->textTemplate);
    account->loggedInElsewhere = reader.flag(QStringLiteral("elsewhere"), false);
    return reader.error();
}

QString readCard(const IniText::Section &section, PrepaidCard *card)
{
    SectionReader reader(section, {QStringLiteral("password"), QStringLiteral("days"),
                                   QStringLiteral("expired"), QStringLiteral("used")});
    card->password = reader.requiredText(QStringLiteral("password"));
    card->days = reader.number(QStringLiteral("days"));
    card->expired = reader.flag(QStringLiteral("expired"), false);
    card->used = reader.flag(QStringLiteral("used"), false);
    return reader.error();
}

QString readLine(const IniText::Section &section, LineCredential *line)
{
    SectionReader reader(
        section, {QStringLiteral("direct"), QStringLiteral("user"), QStringLiteral("password")});
    line->direct = reader.flag(QStringLiteral("direct"), false);
    if (!line->direct) {
        line->dialUser = reader.requiredText(QStringLiteral("user"));
        line->dialPassword = reader.requiredText(QStringLiteral("password"));
    }
    return reader.error();
}

QString readSettings(const IniText::Section &section, const QDir &folder, BackendData *data)
{
    SectionReader reader(section, {QStringLiteral("version"), QStringLiteral("route"),
                                   QStringLiteral("registration"), QStringLiteral("catalogue")});
    data->version = reader.text(QStringLiteral("version")).value_or(data->version);
    data->routeAddress = reader.text(QStringLiteral("route")).value_or(QString());
    data->registrationOpen = reader.flag(QStringLiteral("registration"), true);
    if (!reader.error().isEmpty())
        return reader.error();
    const std::optional<QString> catalogue = reader.text(QStringLiteral("catalogue"));
    if (!catalogue)
        return {};
    QFile file(folder.filePath(*catalogue));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("line %1: cannot read catalogue %2: %3")
            .arg(reader.lineOf(QStringLiteral("catalogue")))
            .arg(file.fileName(), file.errorString());
    data->catalogue = QString::fromUtf8(file.readAll());
    return {};
}

// Adds one section to data; returns the problem, if any.
QString readSection(const IniText::Section &section, const QDir &folder, BackendData *data)
{
    const qsizetype blank = section.name.indexOf(QLatin1Char(' '));
    const QString kind = blank < 0 ? section.name : section.name.left(blank);
    const QString id = blank < 0 ? QString() : section.name.mid(blank + 1).trimmed();
    if (kind == QLatin1String("backend") && id.isEmpty())
        return readSettings(section, folder, data);
    if (id.isEmpty() || (kind != QLatin1String("account") && kind != QLatin1String("card") &&
                         kind != QLatin1String("line")))
        return QStringLiteral("line %1: unknown section [%2]").arg(section.line).arg(section.name);
    if (kind == QLatin1String("account"))
        return readAccount(section, &data->accounts[id]);
    if (kind == QLatin1String("card"))
        return readCard(section, &data->cards[id]);
    return readLine(section, &data->lines[id]);
}

} // namespace

QString Account::text() const
{
    return QString(textTemplate).replace(QLatin1String("{days}"), QString::number(days));
}

BackendData BackendData::load(const QString &iniPath, QString *error)
{
    QFile file(iniPath);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(iniPath, file.errorString());
        return {};
    }
    QString problem;
    const QList<IniText::Section> sections =
        IniText::parse(QString::fromUtf8(file.readAll()), &problem);
    BackendData data;
    const QDir folder = QFileInfo(iniPath).absoluteDir();
    QStringList seen;
    for (const IniText::Section &section : sections) {
        if (!problem.isEmpty())
            break;
        if (seen.contains(section.name))
            problem = QStringLiteral("line %1: section [%2] given twice")
                          .arg(section.line)
                          .arg(section.name);
        else
            problem = readSection(section, folder, &data);
        seen.append(section.name);
    }
    if (!problem.isEmpty()) {
        *error = QStringLiteral("%1: %2").arg(iniPath, problem);
        return {};
    }
    return data;
}

} // namespace devbackend
