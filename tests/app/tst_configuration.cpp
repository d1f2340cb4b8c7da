#include "app/Configuration.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using app::Configuration;

class TestConfiguration : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void locate_data();
    void locate();

    void load_data();
    void load();

    void defaultsWhenNoFile();
    void settingsDirectoryOverride();
    void dialerChoice_data();
    void dialerChoice();

private:
    QString writeFile(const QString &name, const QByteArray &content);

    QTemporaryDir m_dir;
};

void TestConfiguration::init()
{
    qunsetenv("TAVERIN_CONFIG");
    qunsetenv("TAVERIN_SETTINGS_DIR");
    qputenv("XDG_CONFIG_HOME", "/xdg");
}

void TestConfiguration::cleanup()
{
    qunsetenv("TAVERIN_CONFIG");
    qunsetenv("TAVERIN_SETTINGS_DIR");
}

QString TestConfiguration::writeFile(const QString &name, const QByteArray &content)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    file.write(content);
    return path;
}

void TestConfiguration::locate_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("environment");
    QTest::addColumn<bool>("besideProgram");
    QTest::addColumn<QString>("expected");

    QTest::newRow("option wins over everything")
        << QStringList{"taverin", "--config", "/etc/a.ini"} << "/env.ini" << true << "/etc/a.ini";
    QTest::newRow("option with equals sign")
        << QStringList{"taverin", "--config=/etc/b.ini"} << QString() << false << "/etc/b.ini";
    QTest::newRow("environment before program folder")
        << QStringList{"taverin"} << "/env.ini" << true << "/env.ini";
    QTest::newRow("file beside the program")
        << QStringList{"taverin"} << QString() << true << "<beside>";
    QTest::newRow("nothing: built-in defaults")
        << QStringList{"taverin"} << QString() << false << QString();
}

void TestConfiguration::locate()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, environment);
    QFETCH(bool, besideProgram);
    QFETCH(QString, expected);

    QTemporaryDir programFolder;
    if (besideProgram) {
        QFile file(programFolder.filePath("taverin.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    if (!environment.isEmpty())
        qputenv("TAVERIN_CONFIG", environment.toLocal8Bit());
    if (expected == "<beside>")
        expected = programFolder.filePath("taverin.ini");

    QCOMPARE(Configuration::locate(arguments, programFolder.path()), expected);
}

void TestConfiguration::load_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("expected"); // master1, master2, pagehost, website, codepage
    QTest::addColumn<int>("warnings");

    const Configuration defaults;
    QTest::newRow("all keys") << QByteArray("[backend]\nmaster1=127.0.0.5\nmaster2=node2.test\n"
                                            "pagehost=pages.test\nwebsite=www.test:8000\n"
                                            "codepage=GB18030\n")
                              << QStringList{"127.0.0.5", "node2.test", "pages.test",
                                             "www.test:8000", "GB18030"}
                              << 0;
    QTest::newRow("missing keys keep defaults")
        << QByteArray("[backend]\nmaster2=127.0.0.6\n")
        << QStringList{defaults.master1, "127.0.0.6", defaults.pageHost, defaults.website, "GBK"}
        << 0;
    QTest::newRow("bad host and unknown code page are refused")
        << QByteArray("[backend]\nmaster1=http://evil/x\nmaster2=a b\ncodepage=NOPE-42\n")
        << QStringList{defaults.master1, defaults.master2, defaults.pageHost, defaults.website,
                       "GBK"}
        << 3;
    QTest::newRow("a port is only for the web site")
        << QByteArray("[backend]\nmaster1=127.0.0.5:8000\nwebsite=127.0.0.5:8080\n")
        << QStringList{defaults.master1, defaults.master2, defaults.pageHost, "127.0.0.5:8080",
                       "GBK"}
        << 1;
    QTest::newRow("binary junk") << QByteArray("\x00\xff\xfe[[[=\n\x01\x02", 10)
                                 << QStringList{defaults.master1, defaults.master2,
                                                defaults.pageHost, defaults.website, "GBK"}
                                 << -1;
}

void TestConfiguration::load()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, expected);
    QFETCH(int, warnings);

    QStringList problems;
    const Configuration config = Configuration::load(writeFile("c.ini", content), &problems);

    QCOMPARE((QStringList{config.master1, config.master2, config.pageHost, config.website,
                          config.codePage}),
             expected);
    if (warnings >= 0)
        QCOMPARE(problems.size(), warnings);
    QVERIFY(!config.settingsDir.isEmpty());
}

void TestConfiguration::defaultsWhenNoFile()
{
    QStringList problems;
    const Configuration missing = Configuration::load(m_dir.filePath("absent.ini"), &problems);
    QCOMPARE(problems.size(), 1);
    QVERIFY(problems.first().contains("absent.ini"));
    QVERIFY(missing.master1.endsWith(".example.net"));
    QVERIFY(missing.master2.endsWith(".example.net"));
    QCOMPARE(missing.settingsDir, QString("/xdg/taverin"));

    qunsetenv("XDG_CONFIG_HOME");
    QCOMPARE(Configuration::load(QString(), &problems).settingsDir,
             QDir::homePath() + "/.config/taverin");
}

void TestConfiguration::settingsDirectoryOverride()
{
    QStringList problems;
    const QString path = writeFile("s.ini", "[platform]\nsettingsdir=state/here\n");
    QCOMPARE(Configuration::load(path, &problems).settingsDir, m_dir.filePath("state/here"));

    qputenv("TAVERIN_SETTINGS_DIR", "/override");
    QCOMPARE(Configuration::load(path, &problems).settingsDir, QString("/override"));
    QVERIFY(problems.isEmpty());
}

void TestConfiguration::dialerChoice_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("dialer");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<int>("afterMs");
    QTest::addColumn<int>("warnings");

    QTest::newRow("real tunnels by default") << QByteArray() << "pppd"
                                             << "connect" << 3000 << 0;
    QTest::newRow("simulated, failing")
        << QByteArray("[platform]\ndialer=sim\n[simdialer]\noutcome=fail\nafter=500\nerror=678\n")
        << "sim"
        << "fail" << 500 << 0;
    QTest::newRow("unknown dialer and outcome, bad delay")
        << QByteArray("[platform]\ndialer=magic\n[simdialer]\noutcome=maybe\nafter=-4\n") << "pppd"
        << "connect" << 3000 << 3;
}

void TestConfiguration::dialerChoice()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, dialer);
    QFETCH(QString, outcome);
    QFETCH(int, afterMs);
    QFETCH(int, warnings);

    QStringList problems;
    const Configuration config = Configuration::load(writeFile("d.ini", content), &problems);

    QCOMPARE(config.dialer, dialer);
    QCOMPARE(config.simulatedDial.outcome, outcome);
    QCOMPARE(config.simulatedDial.afterMs, afterMs);
    QCOMPARE(problems.size(), warnings);
}

QTEST_GUILESS_MAIN(TestConfiguration)
#include "tst_configuration.moc"
