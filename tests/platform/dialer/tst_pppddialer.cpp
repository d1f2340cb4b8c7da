#include "platform/dialer/PppdDialer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/stat.h>

using platform::ConnectionHandle;
using platform::DialCredentials;
using platform::DialEntry;
using platform::LinkCounters;
using platform::PppdDialer;
using platform::PppdDialerOptions;
namespace Errors = platform::DialerErrors;
namespace States = platform::DialStates;
using namespace std::chrono_literals;

namespace {

constexpr std::u16string_view kEntry = u"Office";
constexpr std::u16string_view kL2tpEntry = u"Branch Office";
constexpr int kPatienceMs = 5000;

// What pppd prints while it brings a PPTP link up, as far as the dialer reads it.
const QByteArray kLinkUpLines = "echo 'Using interface ppp7'\n"
                                "echo 'Connect: ppp7 <--> /dev/pts/9'\n"
                                "echo 'CHAP authentication succeeded'\n"
                                "echo 'local  IP address 10.8.0.2'\n"
                                "echo 'remote IP address 10.8.0.1'\n";

// The same progress as pppd of an L2TP dial writes it to its log file.
const QByteArray kL2tpLinkUpLines = "say 'Using interface ppp7'\n"
                                    "say 'Connect: ppp7 <--> /dev/pts/9'\n"
                                    "say 'CHAP authentication succeeded'\n"
                                    "say 'local  IP address 10.8.0.2'\n"
                                    "say 'remote IP address 10.8.0.1'\n";
const QByteArray kRunOn = "while :; do sleep 1; done\n";

DialEntry entryFor(const QString &host,
                   platform::VpnStrategy strategy = platform::VpnStrategy::PptpOnly)
{
    DialEntry entry;
    entry.host = host.toStdU16String();
    entry.strategy = strategy;
    return entry;
}

QList<QByteArray> linesOf(const QByteArray &text)
{
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    return lines;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeExecutable(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
        return false;
    return file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// The words of a line as pppd reads its secrets files, written here apart from the
// dialer's own reader so that the two cannot share a mistake.
QList<QByteArray> pppdWords(const QByteArray &line)
{
    QList<QByteArray> words;
    QByteArray word;
    bool inWord = false;
    char quote = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quote == 0 && (c == ' ' || c == '\t')) {
            if (inWord)
                words.append(word);
            word.clear();
            inWord = false;
        } else if (quote == 0 && !inWord && c == '#') {
            break;
        } else if (c == quote) {
            quote = 0;
        } else if (quote == 0 && (c == '"' || c == '\'')) {
            quote = c;
            inWord = true;
        } else if (c == '\\' && i + 1 < line.size()) {
            const char e = line[++i];
            inWord = true;
            if (e >= '0' && e <= '7') {
                int value = e - '0';
                for (int n = 0;
                     n < 2 && i + 1 < line.size() && line[i + 1] >= '0' && line[i + 1] <= '7'; ++n)
                    value = value * 8 + (line[++i] - '0');
                word.append(static_cast<char>(value));
            } else {
                const QByteArray plain = "nrts";
                const QByteArray meant = "\n\r\t ";
                const qsizetype at = plain.indexOf(e);
                word.append(at >= 0 ? meant[at] : e);
            }
        } else {
            word.append(c);
            inWord = true;
        }
    }
    if (inWord)
        words.append(word);
    return words;
}

std::uint16_t refreshed(PppdDialer &dialer, ConnectionHandle handle)
{
    dialer.refreshStatus(handle);
    return dialer.connectState();
}

} // namespace

class TestPppdDialer : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_options.peersFolder = path("peers").toStdString();
        m_options.secretsFile = path("ppp/chap-secrets").toStdString();
        m_options.pppd = path("pppd").toStdString();
        m_options.pptp = path("pptp").toStdString();
        m_options.xl2tpd = path("xl2tpd").toStdString();
        m_options.pppDevice = path("ppp-device").toStdString();
        m_options.netStatistics = path("net").toStdString();
        m_options.runtimeFolder = path("run").toStdString();
        QVERIFY(writeExecutable(path("pptp"), "#!/bin/sh\nexit 1\n"));
        QVERIFY(writeExecutable(path("ppp-device"), ""));
        QVERIFY(QDir().mkpath(path("net/ppp7/statistics")));
        m_dialer = std::make_unique<PppdDialer>(m_options);
        QCOMPARE(m_dialer->writeEntry(kEntry, entryFor("203.0.113.7")), 0u);
        QCOMPARE(m_dialer->writeCredentials(kEntry, {u"alice", u"s3cret pass"}), 0u);
    }

    void cleanup()
    {
        m_dialer.reset();
        m_dir.reset();
    }

    void dialFollowsPppd_data()
    {
        QTest::addColumn<QByteArray>("behaviour");
        QTest::addColumn<uint>("finalState");
        QTest::addColumn<uint>("refreshedState");

        QTest::newRow("link comes up") << kLinkUpLines + "while :; do sleep 1; done\n"
                                       << uint(States::Connected) << uint(States::Connected);
        QTest::newRow("password refused")
            << QByteArray("echo 'Using interface ppp7'\necho 'Connect: ppp7 <--> /dev/pts/9'\n"
                          "echo 'MS-CHAP authentication failed'\nexit 19\n")
            << uint(Errors::AuthenticationFailure) << uint(Errors::AuthenticationFailure);
        QTest::newRow("connect script failed")
            << QByteArray("echo 'Connect script failed'\nexit 8\n") << uint(Errors::NoAnswer)
            << uint(Errors::NoAnswer);
        QTest::newRow("no kernel support")
            << QByteArray("echo 'This system lacks kernel support for PPP.'\nexit 4\n")
            << uint(Errors::DeviceNotAvailable) << uint(Errors::DeviceNotAvailable);
        QTest::newRow("drops after connecting")
            << kLinkUpLines + "sleep 0.2\necho 'Modem hangup'\nexit 16\n"
            << uint(States::Connected) << uint(Errors::NoConnection);
    }

    void dialFollowsPppd()
    {
        QFETCH(QByteArray, behaviour);
        QFETCH(uint, finalState);
        QFETCH(uint, refreshedState);
        writePppd(behaviour);

        ConnectionHandle handle = 0;
        QCOMPARE(m_dialer->dial(kEntry, handle), 0u);
        QVERIFY(handle != 0);
        QTRY_COMPARE_WITH_TIMEOUT(m_dialer->connectState(), finalState, kPatienceMs);
        QTRY_COMPARE_WITH_TIMEOUT(refreshed(*m_dialer, handle), refreshedState, kPatienceMs);
        QCOMPARE(m_dialer->firstActiveConnection().has_value(),
                 refreshedState == States::Connected);

        const QList<QByteArray> arguments = readFile(path("pppd.args")).split('\n');
        const QByteArray peerFile = path("peers/Office").toUtf8();
        QVERIFY(arguments.size() >= 2);
        QCOMPARE(arguments.mid(0, 2), (QList<QByteArray>{"file", peerFile}));
        QVERIFY(arguments.contains("nodetach"));
        QVERIFY(arguments.contains("linkname"));
        QCOMPARE(arguments.mid(arguments.indexOf("ipparam"), 2),
                 (QList<QByteArray>{"ipparam", "Office"}));
        for (const QByteArray &argument : arguments)
            QVERIFY(!argument.contains("alice") && !argument.contains("s3cret"));
    }

    void failureTextNamesPppdsReason()
    {
        writePppd("echo 'MS-CHAP authentication failed'\nexit 19\n");
        ConnectionHandle handle = 0;
        QCOMPARE(m_dialer->dial(kEntry, handle), 0u);
        QTRY_COMPARE_WITH_TIMEOUT(m_dialer->connectState(), Errors::AuthenticationFailure,
                                  kPatienceMs);
        const QString text = QString::fromStdU16String(m_dialer->statusText());
        QVERIFY2(text.contains("MS-CHAP authentication failed"), qPrintable(text));
    }

    void connectedLinkReportsAddressAndCountersUntilHungUp()
    {
        writePppd(kLinkUpLines + "while :; do sleep 1; done\n");
        writeCounters("1234", "56789");
        ConnectionHandle handle = 0;
        QCOMPARE(m_dialer->dial(kEntry, handle), 0u);
        QTRY_COMPARE_WITH_TIMEOUT(m_dialer->connectState(), States::Connected, kPatienceMs);

        std::u16string address;
        QCOMPARE(m_dialer->tunnelAddress(handle, address), 0u);
        QVERIFY(address == u"10.8.0.2");
        LinkCounters counters;
        QCOMPARE(m_dialer->counters(handle, counters), 0u);
        QCOMPARE(counters.bytesSent, 1234u);
        QCOMPARE(counters.bytesReceived, 56789u);
        writeCounters("5000000000", "6000000000");
        QCOMPARE(m_dialer->counters(handle, counters), 0u);
        QCOMPARE(counters.bytesSent, 5'000'000'000u);

        m_dialer->hangUp(handle, 5s);
        QVERIFY2(QFile::exists(path("terminated")), "pppd was not asked to terminate");
        QCOMPARE(refreshed(*m_dialer, handle), Errors::NoConnection);
        QCOMPARE(m_dialer->counters(handle, counters), Errors::NoConnection);
        QCOMPARE(m_dialer->tunnelAddress(handle, address), Errors::NoConnection);
        QVERIFY(!m_dialer->firstActiveConnection().has_value());
    }

    void hangUpKillsPppdThatIgnoresTerminate()
    {
        writePppd("trap '' TERM\necho $$ > \"$here/pid\"\nwhile :; do sleep 0.05; done\n");
        ConnectionHandle handle = 0;
        QCOMPARE(m_dialer->dial(kEntry, handle), 0u);
        QTRY_VERIFY_WITH_TIMEOUT(!readFile(path("pid")).trimmed().isEmpty(), kPatienceMs);
        const pid_t pid = readFile(path("pid")).trimmed().toInt();
        QTRY_COMPARE_WITH_TIMEOUT(m_dialer->connectState(), States::ConnectDevice, kPatienceMs);

        m_dialer->hangUp(handle, 100ms);
        QCOMPARE(::kill(pid, 0), -1);
        QCOMPARE(refreshed(*m_dialer, handle), Errors::NoConnection);
    }

    void destructionEndsRunningPppd()
    {
        writePppd("echo $$ > \"$here/pid\"\nwhile :; do sleep 0.05; done\n");
        ConnectionHandle handle = 0;
        QCOMPARE(m_dialer->dial(kEntry, handle), 0u);
        QTRY_VERIFY_WITH_TIMEOUT(!readFile(path("pid")).trimmed().isEmpty(), kPatienceMs);
        const pid_t pid = readFile(path("pid")).trimmed().toInt();
        m_dialer.reset();
        QCOMPARE(::kill(pid, 0), -1);
    }

    void missingPartsFailTheDialAtOnce_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("missing");
        const QString pptp = QString::fromStdU16String(std::u16string(kEntry));
        const QString l2tp = QString::fromStdU16String(std::u16string(kL2tpEntry));
        QTest::newRow("PPTP: pppd") << pptp << "pppd";
        QTest::newRow("PPTP: pptp client") << pptp << "pptp";
        QTest::newRow("PPTP: kernel PPP support") << pptp << "ppp-device";
        QTest::newRow("L2TP: xl2tpd") << l2tp << "xl2tpd";
        QTest::newRow("L2TP: pppd") << l2tp << "pppd";
        QTest::newRow("L2TP: kernel PPP support") << l2tp << "ppp-device";
    }

    void missingPartsFailTheDialAtOnce()
    {
        QFETCH(QString, entry);
        QFETCH(QString, missing);
        writePppd(kLinkUpLines);
        prepareL2tp(kL2tpLinkUpLines + kRunOn);
        QVERIFY(QFile::remove(path(missing)));
        ConnectionHandle handle = 0;
        QCOMPARE(m_dialer->dial(entry.toStdU16String(), handle), Errors::DeviceNotAvailable);
        QCOMPARE(handle, ConnectionHandle(0));
        QCOMPARE(m_dialer->connectState(), Errors::DeviceNotAvailable);
        const QString text = QString::fromStdU16String(m_dialer->statusText());
        QVERIFY2(text.contains(path(missing)), qPrintable(text));
        QVERIFY(!QFile::exists(path("pppd.args")));
        QVERIFY(!QFile::exists(path("xl2tpd.args")));
        QVERIFY(!QFile::exists(path("run/l2tp-1")));
    }

    void l2tpDialFollowsXl2tpdAndPppdLog_data()
    {
        QTest::addColumn<QByteArray>("behaviour");
        QTest::addColumn<uint>("finalState");
        QTest::addColumn<uint>("refreshedState");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("stoppedByDialer");

        QTest::newRow("link comes up") << kL2tpLinkUpLines + kRunOn << uint(States::Connected)
                                       << uint(States::Connected) << QString() << false;
        QTest::newRow("password refused")
            << QByteArray("say 'Using interface ppp7'\nsay 'Connect: ppp7 <--> /dev/pts/9'\n"
                          "say 'CHAP authentication failed'\nsay 'Connection terminated.'\n"
                          "echo 'Connection 31418 closed to 203.0.113.8, port 1701'\nexit 0\n")
            << uint(Errors::AuthenticationFailure) << uint(Errors::AuthenticationFailure)
            << "pppd: CHAP authentication failed" << false;
        QTest::newRow("server silent")
            << QByteArray("echo 'Maximum retries exceeded for tunnel 31418.  Closing.'\nexit 0\n")
            << uint(Errors::NoAnswer) << uint(Errors::NoAnswer)
            << "xl2tpd: Maximum retries exceeded" << false;
        QTest::newRow("server silent, per-tunnel wording")
            << QByteArray("echo 'control_finish: maximum retries exceeded.'\nexit 0\n")
            << uint(Errors::NoAnswer) << uint(Errors::NoAnswer) << "maximum retries exceeded"
            << false;
        QTest::newRow("port 1701 taken")
            << QByteArray("echo 'init_network: Unable to bind UDP socket: Address in use. "
                          "Terminating.'\nexit 1\n")
            << uint(Errors::DeviceNotAvailable) << uint(Errors::DeviceNotAvailable)
            << "Unable to bind UDP socket" << false;
        QTest::newRow("server closes the call")
            << "echo 'network_thread: Connection closed to 203.0.113.8, port 1701 (Goodbye)'\n" +
                   kRunOn
            << uint(Errors::PortDisconnected) << uint(Errors::PortDisconnected) << "Goodbye"
            << true;
        QTest::newRow("server closes the tunnel, xl2tpd idles on")
            << "echo 'Connection 31418 closed to 203.0.113.8, port 1701 (Server closing)'\n" +
                   kRunOn
            << uint(Errors::PortDisconnected) << uint(Errors::PortDisconnected) << "Server closing"
            << true;
        QTest::newRow("pppd negotiation fails, reported by xl2tpd")
            << "say 'Using interface ppp7'\n"
               "echo 'child_handler : pppd exited for call 7 with code 10'\n" +
                   kRunOn
            << uint(Errors::NoPppProtocols) << uint(Errors::NoPppProtocols) << "with code 10"
            << true;
        QTest::newRow("xl2tpd ends without a word")
            << QByteArray("exit 1\n") << uint(Errors::PortDisconnected)
            << uint(Errors::PortDisconnected) << QString() << false;
        QTest::newRow("pppd's link drops after connecting")
            << kL2tpLinkUpLines + "sleep 0.2\nsay 'Connection terminated.'\n" + kRunOn
            << uint(States::Connected) << uint(Errors::NoConnection) << QString() << true;
        QTest::newRow("xl2tpd ends after connecting")
            << kL2tpLinkUpLines + "sleep 0.2\nexit 0\n"
            << uint(States::Connected) << uint(Errors::NoConnection) << QString() << false;
    }

    void l2tpDialFollowsXl2tpdAndPppdLog()
    {
        QFETCH(QByteArray, behaviour);
        QFETCH(uint, finalState);
        QFETCH(uint, refreshedState);
        QFETCH(QString, reason);
        QFETCH(bool, stoppedByDialer);
        prepareL2tp(behaviour);

        ConnectionHandle handle = 0;
        QCOMPARE(m_dialer->dial(kL2tpEntry, handle), 0u);
        QVERIFY(handle != 0);
        QTRY_COMPARE_WITH_TIMEOUT(m_dialer->connectState(), finalState, kPatienceMs);
        if (!reason.isEmpty()) {
            const QString text = QString::fromStdU16String(m_dialer->statusText());
            QVERIFY2(text.contains(reason), qPrintable(text));
        }
        QTRY_COMPARE_WITH_TIMEOUT(refreshed(*m_dialer, handle), refreshedState, kPatienceMs);
        QCOMPARE(m_dialer->firstActiveConnection().has_value(),
                 refreshedState == States::Connected);
        if (stoppedByDialer)
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(path("terminated")), kPatienceMs);

        const QList<QByteArray> config = linesOf(readFile(path("seen.conf")));
        QVERIFY(config.contains("lns = 203.0.113.8"));
        QVERIFY(config.contains("pppoptfile = " + path("run/l2tp-1/options.pppd").toUtf8()));
        QVERIFY(!QFile::exists(path("pppd.args")));
    }

    void l2tpDialWritesPrivateFilesAndHangUpRemovesThem()
    {
        prepareL2tp(kL2tpLinkUpLines + kRunOn);
        ConnectionHandle handle = 0;
        QCOMPARE(m_dialer->dial(kL2tpEntry, handle), 0u);
        QTRY_COMPARE_WITH_TIMEOUT(m_dialer->connectState(), States::Connected, kPatienceMs);
        std::u16string address;
        QCOMPARE(m_dialer->tunnelAddress(handle, address), 0u);
        QVERIFY(address == u"10.8.0.2");

        const QByteArray runtime = path("run/l2tp-1").toUtf8();
        QCOMPARE(linesOf(readFile(path("xl2tpd.args"))),
                 (QList<QByteArray>{"-D", "-c", runtime + "/xl2tpd.conf", "-s",
                                    runtime + "/l2tp-secrets", "-p", runtime + "/xl2tpd.pid", "-C",
                                    runtime + "/l2tp-control"}));
        QCOMPARE(linesOf(readFile(path("seen.conf"))),
                 (QList<QByteArray>{"[lac Branch Office]", "lns = 203.0.113.8", "autodial = yes",
                                    "redial = no", "require chap = yes", "refuse pap = no",
                                    "require authentication = no", "ppp debug = no",
                                    "pppoptfile = " + runtime + "/options.pppd"}));
        QCOMPARE(linesOf(readFile(path("seen.options"))),
                 (QList<QByteArray>{"remotename \"Branch Office\"", "noauth", "refuse-eap",
                                    "noipdefault", "defaultroute", "nobsdcomp", "nodeflate", "novj",
                                    "user \"bob\"", "logfile \"" + runtime + "/pppd.log\"",
                                    "linkname taverin-1"}));
        for (const char *seen : {"xl2tpd.args", "seen.conf", "seen.options"})
            QVERIFY(!readFile(path(seen)).contains("l2tp secret"));
        struct stat status
        {
        };
        QCOMPARE(::stat(runtime.constData(), &status), 0);
        QCOMPARE(status.st_mode & 0777, 0700u);

        m_dialer->hangUp(handle, 5s);
        QVERIFY2(QFile::exists(path("terminated")), "xl2tpd was not asked to terminate");
        QVERIFY(!QFile::exists(path("run/l2tp-1")));
        QCOMPARE(refreshed(*m_dialer, handle), Errors::NoConnection);
        QVERIFY(!m_dialer->firstActiveConnection().has_value());
    }

    void hostileHostsAreRefused_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<bool>("l2tp");
        QTest::newRow("L2TP: host name") << "vpn-1.example.net" << true << true;
        QTest::newRow("L2TP: config line") << "1.2.3.4\nlns = evil" << false << true;
        QTest::newRow("L2TP: section") << "1.2.3.4]\n[global" << false << true;
        QTest::newRow("host name") << "vpn-1.example.net" << true << false;
        QTest::newRow("IPv4") << "198.51.100.255" << true << false;
        QTest::newRow("extra option") << "1.2.3.4 plugin evil.so" << false << false;
        QTest::newRow("line break") << "1.2.3.4\nnoauth" << false << false;
        QTest::newRow("backquotes") << "`id`" << false << false;
        QTest::newRow("command substitution") << "$(id)" << false << false;
        QTest::newRow("command list") << "1.2.3.4;id" << false << false;
        QTest::newRow("option") << "-x" << false << false;
        QTest::newRow("label starting with '-'") << "vpn.-x" << false << false;
        QTest::newRow("quote") << "1.2.3.4\"" << false << false;
        QTest::newRow("empty label") << "vpn..example" << false << false;
        QTest::newRow("octet out of range") << "256.1.1.1" << false << false;
        QTest::newRow("three numbers") << "1.2.3" << false << false;
        QTest::newRow("empty") << "" << false << false;
        QTest::newRow("too long") << QString(254, 'a') << false << false;
    }

    void hostileHostsAreRefused()
    {
        QFETCH(QString, host);
        QFETCH(bool, accepted);
        QFETCH(bool, l2tp);
        writePppd(kLinkUpLines);
        writeXl2tpd(kL2tpLinkUpLines);
        const std::uint32_t written =
            m_dialer->writeEntry(u"Other", entryFor(host, l2tp ? platform::VpnStrategy::L2tpOnly
                                                               : platform::VpnStrategy::PptpOnly));
        QCOMPARE(written, accepted ? 0u : Errors::InvalidParameter);
        QCOMPARE(QFile::exists(path("peers/Other")), accepted);
        if (accepted)
            return;
        ConnectionHandle handle = 0;
        QCOMPARE(m_dialer->dial(u"Other", handle), Errors::CannotFindEntry);
        QVERIFY(!QFile::exists(path("pppd.args")));
        QVERIFY(!QFile::exists(path("xl2tpd.args")));
        QVERIFY(!QFile::exists(path("run")));
    }

    void hostileEntryNamesAreRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("slash") << "../../evil";
        QTest::newRow("absolute") << "/tmp/evil";
        QTest::newRow("parent") << "..";
        QTest::newRow("option") << "-evil";
        QTest::newRow("line break") << "a\nb";
    }

    void hostileEntryNamesAreRefused()
    {
        QFETCH(QString, name);
        const std::u16string entryName = name.toStdU16String();
        QCOMPARE(m_dialer->validateEntryName(entryName), Errors::InvalidName);
        QCOMPARE(m_dialer->writeEntry(entryName, entryFor("10.0.0.1")), Errors::InvalidName);
        QCOMPARE(QDir(path("peers")).entryList(QDir::Files), QStringList{"Office"});
        QCOMPARE(m_dialer->writeCredentials(entryName, {u"u", u"p"}), Errors::CannotFindEntry);
        ConnectionHandle handle = 0;
        QCOMPARE(m_dialer->dial(entryName, handle), Errors::CannotFindEntry);
    }

    void credentialsRoundTripThroughSecrets_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::newRow("plain") << "bob"
                               << "hunter2";
        QTest::newRow("quotes") << "bob \"the\" 'user'"
                                << "pa\"ss'word";
        QTest::newRow("backslashes") << "dom\\bob"
                                     << "a\\\"b\\\\c\\";
        QTest::newRow("line breaks") << "bob"
                                     << "one\ntwo\r\nthree";
        QTest::newRow("comment and spaces") << " bob "
                                            << "# not a comment \t";
        QTest::newRow("shell and controls") << "$(id)"
                                            << "`id`\x01\x7f;0";
        QTest::newRow("non-ASCII") << "张三"
                                   << "密码☃";
        QTest::newRow("empty") << ""
                               << "";
    }

    void credentialsRoundTripThroughSecrets()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QCOMPARE(m_dialer->writeEntry(u"Branch", entryFor("10.1.1.1")), 0u);
        QCOMPARE(m_dialer->writeCredentials(u"Branch",
                                            {user.toStdU16String(), password.toStdU16String()}),
                 0u);

        QMap<QByteArray, QList<QByteArray>> byServer;
        for (const QByteArray &line : readFile(path("ppp/chap-secrets")).split('\n')) {
            const QList<QByteArray> words = pppdWords(line);
            if (!words.isEmpty()) {
                QCOMPARE(words.size(), 4);
                QVERIFY2(!byServer.contains(words[1]), words[1].constData());
                byServer.insert(words[1], words);
            }
        }
        QCOMPARE(byServer.keys(), (QList<QByteArray>{"Branch", "Office"}));
        QCOMPARE(byServer["Branch"],
                 (QList<QByteArray>{user.toUtf8(), "Branch", password.toUtf8(), "*"}));
        QCOMPARE(byServer["Office"], (QList<QByteArray>{"alice", "Office", "s3cret pass", "*"}));

        QVERIFY(!readFile(path("peers/Branch")).contains(password.toUtf8()) || password.isEmpty());
        struct stat status
        {
        };
        QCOMPARE(::stat(path("ppp/chap-secrets").toUtf8().constData(), &status), 0);
        QCOMPARE(status.st_mode & 0777, 0600u);
    }

    void secretsThatPppdWouldReadAsFileNamesAreRefused()
    {
        QCOMPARE(m_dialer->writeCredentials(kEntry, {u"alice", u"@/etc/shadow"}),
                 Errors::InvalidParameter);
        QVERIFY(!readFile(path("ppp/chap-secrets")).contains("shadow"));
        QCOMPARE(m_dialer->writeCredentials(kEntry, {u"alice", u"x@/etc/shadow"}), 0u);
    }

    void peerFileDialsThroughPptp()
    {
        DialEntry entry = entryFor("vpn.example.net");
        entry.requirePap = false;
        entry.requireDataEncryption = true;
        QCOMPARE(m_dialer->writeEntry(kEntry, entry), 0u);
        QList<QByteArray> lines;
        for (const QByteArray &line : readFile(path("peers/Office")).split('\n'))
            if (!line.startsWith('#') && !line.isEmpty())
                lines.append(line);
        const QByteArray pty =
            "pty \"" + path("pptp").toUtf8() + " vpn.example.net --nolaunchpppd\"";
        QCOMPARE(lines,
                 (QList<QByteArray>{pty, "remotename \"Office\"", "user \"alice\"", "noauth",
                                    "refuse-eap", "noipdefault", "defaultroute", "refuse-pap",
                                    "require-mppe", "nobsdcomp", "nodeflate", "novj"}));
        std::u16string host;
        QCOMPARE(m_dialer->entryHost(kEntry, host), 0u);
        QVERIFY(host == u"vpn.example.net");
    }

    void phoneBookEntriesComeAndGo()
    {
        QCOMPARE(m_dialer->validateEntryName(kEntry), Errors::EntryExists);
        QCOMPARE(m_dialer->validateEntryName(u"Branch"), 0u);
        QCOMPARE(m_dialer->writeEntry(u"Branch", entryFor("10.1.1.1")), 0u);
        QCOMPARE(m_dialer->writeCredentials(u"Branch", {u"bob", u"pw"}), 0u);

        QCOMPARE(m_dialer->deleteEntry(kEntry), 0u);
        QCOMPARE(m_dialer->validateEntryName(kEntry), 0u);
        QVERIFY(!QFile::exists(path("peers/Office")));
        const QByteArray secrets = readFile(path("ppp/chap-secrets"));
        QVERIFY(!secrets.contains("alice"));
        QVERIFY(secrets.contains("\"bob\""));
        std::u16string host;
        QCOMPARE(m_dialer->entryHost(kEntry, host), Errors::CannotFindEntry);
        QCOMPARE(m_dialer->deleteEntry(kEntry), Errors::CannotFindEntry);

        // The phone book lives in the files: a new dialer finds what the old one wrote.
        PppdDialer reopened(m_options);
        QCOMPARE(reopened.entryHost(u"Branch", host), 0u);
        QVERIFY(host == u"10.1.1.1");
    }

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }

    // A stand-in pppd that records its arguments, notes a SIGTERM and then behaves so.
    void writePppd(const QByteArray &behaviour)
    {
        const QByteArray script = "#!/bin/sh\nhere=\"$(dirname \"$0\")\"\n"
                                  "printf '%s\\n' \"$@\" > \"$here/pppd.args\"\n"
                                  "trap 'touch \"$here/terminated\"; exit 5' TERM\n" +
                                  behaviour;
        QVERIFY(writeExecutable(path("pppd"), script));
    }

    // A stand-in xl2tpd that records its arguments and the files it was given, notes a
    // SIGTERM and then behaves so: `say` appends a line to the log its pppd would write.
    void writeXl2tpd(const QByteArray &behaviour)
    {
        const QByteArray script =
            "#!/bin/sh\nhere=\"$(dirname \"$0\")\"\n"
            "printf '%s\\n' \"$@\" > \"$here/xl2tpd.args\"\n"
            "while [ $# -gt 0 ]; do [ \"$1\" = -c ] && conf=\"$2\"; shift; done\n"
            "cp \"$conf\" \"$here/seen.conf\"\n"
            "options=\"$(sed -n 's/^pppoptfile = //p' \"$conf\")\"\n"
            "cp \"$options\" \"$here/seen.options\"\n"
            "log=\"$(sed -n 's/^logfile \"\\(.*\\)\"$/\\1/p' \"$options\")\"\n"
            "say() { echo \"$1\" >> \"$log\"; }\n"
            "trap 'touch \"$here/terminated\"; exit 0' TERM\n" +
            behaviour;
        QVERIFY(writeExecutable(path("xl2tpd"), script));
    }

    // An L2TP entry and the programs its dial needs; its pppd must never run directly.
    void prepareL2tp(const QByteArray &xl2tpdBehaviour)
    {
        QCOMPARE(m_dialer->writeEntry(kL2tpEntry,
                                      entryFor("203.0.113.8", platform::VpnStrategy::L2tpOnly)),
                 0u);
        QCOMPARE(m_dialer->writeCredentials(kL2tpEntry, {u"bob", u"l2tp secret"}), 0u);
        writePppd(kLinkUpLines);
        writeXl2tpd(xl2tpdBehaviour);
    }

    void writeCounters(const QByteArray &sent, const QByteArray &received)
    {
        for (const auto &[name, value] : {std::pair{"tx_bytes", sent}, {"rx_bytes", received}}) {
            QFile file(path("net/ppp7/statistics/") + name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(value + "\n");
        }
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    PppdDialerOptions m_options;
    std::unique_ptr<PppdDialer> m_dialer;
};

QTEST_GUILESS_MAIN(TestPppdDialer)
#include "tst_pppddialer.moc"
