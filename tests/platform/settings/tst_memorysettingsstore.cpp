#include "platform/settings/MemorySettingsStore.h"

#include "SettingsTestSupport.h"

#include <QTest>

using platform::MemorySettingsStore;
using platform::RegistryRoot;
using platform::RegistryValue;

namespace {

constexpr auto kUser = RegistryRoot::CurrentUser;
constexpr auto kMachine = RegistryRoot::LocalMachine;

} // namespace

class TestMemorySettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void keyPaths_data();
    void keyPaths();

    void keyLimits_data();
    void keyLimits();

    void createKeyMakesIntermediateKeys();
    void namesKeepFirstSpellingAndCreationOrder();
    void deleteKeyRemovesWholeSubtree();
    void valuesNeedAnExistingKey();
    void rootsAreSeparate();
    void readOnlyRootRefusesChanges();
};

void TestMemorySettingsStore::keyPaths_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("exists");

    QTest::newRow("as created") << "Software\\Zorizov\\Client" << true;
    QTest::newRow("leading backslash") << "\\Software\\Zorizov\\Client" << true;
    QTest::newRow("trailing backslash") << "Software\\Zorizov\\Client\\" << true;
    QTest::newRow("other ASCII case") << "SOFTWARE\\zorizov\\cLIENT" << true;
    QTest::newRow("intermediate key") << "software\\ZORIZOV" << true;
    QTest::newRow("root") << "" << true;
    QTest::newRow("root as backslash") << "\\" << true;
    QTest::newRow("ASCII case folded beside umlaut") << "STRAßE\\Ärger" << true;
    QTest::newRow("non-ASCII case not folded") << "Straße\\ärger" << false;
    QTest::newRow("missing subkey") << "Software\\Zorizov\\Client\\X" << false;
    QTest::newRow("prefix of a name") << "Soft" << false;
    QTest::newRow("empty name inside") << "Software\\\\Zorizov" << false;
    QTest::newRow("two trailing backslashes") << "Software\\\\" << false;
    QTest::newRow("two leading backslashes") << "\\\\Software" << false;
}

void TestMemorySettingsStore::keyPaths()
{
    QFETCH(QString, path);
    QFETCH(bool, exists);

    MemorySettingsStore store;
    QVERIFY(store.createKey(kUser, u"Software\\Zorizov\\Client"));
    QVERIFY(store.createKey(kUser, u"Straße\\Ärger"));

    QCOMPARE(store.keyExists(kUser, u16(path)), exists);
    // Writing a value resolves the path the same way.
    QCOMPARE(store.writeValue(kUser, u16(path), u"v", RegistryValue::fromDWord(1)), exists);
}

void TestMemorySettingsStore::keyLimits_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("allowed");

    const auto levels = [](int count) {
        QStringList names;
        for (int i = 0; i < count; ++i)
            names.append(QStringLiteral("k"));
        return names.join(QLatin1Char('\\'));
    };
    QTest::newRow("name of 255") << QString(255, QLatin1Char('n')) << true;
    QTest::newRow("name of 256") << QString(256, QLatin1Char('n')) << false;
    QTest::newRow("512 levels") << levels(512) << true;
    QTest::newRow("513 levels") << levels(513) << false;
}

void TestMemorySettingsStore::keyLimits()
{
    QFETCH(QString, path);
    QFETCH(bool, allowed);

    MemorySettingsStore store;
    QCOMPARE(store.createKey(kUser, u16(path)), allowed);
    QCOMPARE(store.keyExists(kUser, u16(path)), allowed);
    QCOMPARE(store.subKeyNames(kUser, u"").size(), allowed ? 1u : 0u);
}

void TestMemorySettingsStore::createKeyMakesIntermediateKeys()
{
    MemorySettingsStore store;
    QVERIFY(store.createKey(kUser, u"Software\\Zorizov\\Client"));

    QCOMPARE(toStringList(store.subKeyNames(kUser, u"")), QStringList{"Software"});
    QCOMPARE(toStringList(store.subKeyNames(kUser, u"Software")), QStringList{"Zorizov"});
    QCOMPARE(toStringList(store.subKeyNames(kUser, u"Software\\Zorizov")), QStringList{"Client"});
    QVERIFY(store.createKey(kUser, u"software\\zorizov\\client"));
    QCOMPARE(toStringList(store.subKeyNames(kUser, u"Software\\Zorizov")), QStringList{"Client"});
}

void TestMemorySettingsStore::namesKeepFirstSpellingAndCreationOrder()
{
    MemorySettingsStore store;
    QVERIFY(store.createKey(kUser, u"Zeta"));
    QVERIFY(store.createKey(kUser, u"alpha"));
    QVERIFY(store.createKey(kUser, u"ZETA\\Inner"));
    QVERIFY(store.createKey(kUser, u"Beta"));
    QCOMPARE(toStringList(store.subKeyNames(kUser, u"")), (QStringList{"Zeta", "alpha", "Beta"}));

    QVERIFY(store.writeValue(kUser, u"Zeta", u"Port", RegistryValue::fromDWord(1)));
    QVERIFY(store.writeValue(kUser, u"Zeta", u"host", RegistryValue::fromString(u"a")));
    QVERIFY(store.writeValue(kUser, u"Zeta", u"", RegistryValue::fromString(u"default")));
    QVERIFY(store.writeValue(kUser, u"zeta", u"PORT", RegistryValue::fromDWord(2)));
    QCOMPARE(toStringList(store.valueNames(kUser, u"Zeta")), (QStringList{"Port", "host", ""}));
    QCOMPARE(store.readValue(kUser, u"ZETA", u"port"), std::optional(RegistryValue::fromDWord(2)));

    // A value deleted and written again is a new value: new spelling, last place.
    QVERIFY(store.deleteValue(kUser, u"Zeta", u"PORT"));
    QVERIFY(store.writeValue(kUser, u"Zeta", u"pOrt", RegistryValue::fromDWord(3)));
    QCOMPARE(toStringList(store.valueNames(kUser, u"Zeta")), (QStringList{"host", "", "pOrt"}));
}

void TestMemorySettingsStore::deleteKeyRemovesWholeSubtree()
{
    MemorySettingsStore store;
    QVERIFY(store.createKey(kUser, u"A\\B\\C"));
    QVERIFY(store.createKey(kUser, u"A\\Sibling"));
    QVERIFY(store.writeValue(kUser, u"A\\B", u"b", RegistryValue::fromDWord(1)));
    QVERIFY(store.writeValue(kUser, u"A\\B\\C", u"c", RegistryValue::fromDWord(1)));

    QVERIFY(store.deleteKey(kUser, u"\\a\\b"));
    QVERIFY(!store.keyExists(kUser, u"A\\B"));
    QVERIFY(!store.keyExists(kUser, u"A\\B\\C"));
    QCOMPARE(toStringList(store.subKeyNames(kUser, u"A")), QStringList{"Sibling"});

    // Recreating the key does not bring back what was under it.
    QVERIFY(store.createKey(kUser, u"A\\B"));
    QVERIFY(store.valueNames(kUser, u"A\\B").empty());
    QVERIFY(store.subKeyNames(kUser, u"A\\B").empty());

    QVERIFY(!store.deleteKey(kUser, u"A\\Missing"));
    QVERIFY(!store.deleteKey(kUser, u""));
    QVERIFY(store.keyExists(kUser, u"A"));
}

void TestMemorySettingsStore::valuesNeedAnExistingKey()
{
    MemorySettingsStore store;
    QVERIFY(!store.writeValue(kUser, u"Missing", u"v", RegistryValue::fromDWord(1)));
    QVERIFY(!store.keyExists(kUser, u"Missing"));
    QCOMPARE(store.readValue(kUser, u"Missing", u"v"), std::nullopt);
    QVERIFY(!store.deleteValue(kUser, u"Missing", u"v"));
    QVERIFY(store.subKeyNames(kUser, u"Missing").empty());
    QVERIFY(store.valueNames(kUser, u"Missing").empty());

    // The root is a key like any other.
    QVERIFY(store.writeValue(kUser, u"", u"v", RegistryValue::fromDWord(1)));
    QVERIFY(!store.deleteValue(kUser, u"", u"other"));
    QVERIFY(store.deleteValue(kUser, u"", u"V"));
    QCOMPARE(store.readValue(kUser, u"", u"v"), std::nullopt);
}

void TestMemorySettingsStore::rootsAreSeparate()
{
    MemorySettingsStore store;
    QVERIFY(store.createKey(kMachine, u"Software\\Zorizov"));
    QVERIFY(store.writeValue(kMachine, u"Software\\Zorizov", u"v", RegistryValue::fromDWord(1)));

    QVERIFY(!store.keyExists(kUser, u"Software"));
    QCOMPARE(store.readValue(kUser, u"Software\\Zorizov", u"v"), std::nullopt);
    QVERIFY(store.keyExists(kMachine, u"Software\\Zorizov"));
}

void TestMemorySettingsStore::readOnlyRootRefusesChanges()
{
    const auto one = std::optional(RegistryValue::fromDWord(1));
    MemorySettingsStore store;
    QVERIFY(store.createKey(kMachine, u"Software\\Zorizov\\Old"));
    QVERIFY(store.writeValue(kMachine, u"Software\\Zorizov", u"v", *one));
    store.setWritable(kMachine, false);

    QVERIFY(store.createKey(kMachine, u"software\\zorizov"));
    QVERIFY(!store.createKey(kMachine, u"Software\\Zorizov\\New"));
    QVERIFY(!store.keyExists(kMachine, u"Software\\Zorizov\\New"));
    QVERIFY(!store.writeValue(kMachine, u"Software\\Zorizov", u"v", RegistryValue::fromDWord(2)));
    QVERIFY(!store.writeValue(kMachine, u"Software\\Zorizov", u"w", RegistryValue::fromDWord(2)));
    QVERIFY(!store.deleteValue(kMachine, u"Software\\Zorizov", u"v"));
    QVERIFY(!store.deleteKey(kMachine, u"Software\\Zorizov\\Old"));
    QCOMPARE(toStringList(store.valueNames(kMachine, u"Software\\Zorizov")), QStringList{"v"});
    QCOMPARE(store.readValue(kMachine, u"Software\\Zorizov", u"v"), one);
    QVERIFY(store.keyExists(kMachine, u"Software\\Zorizov\\Old"));

    // The other root is unaffected.
    QVERIFY(store.createKey(kUser, u"Software\\Zorizov"));
    QVERIFY(store.writeValue(kUser, u"Software\\Zorizov", u"v", RegistryValue::fromDWord(2)));

    store.setWritable(kMachine, true);
    QVERIFY(store.writeValue(kMachine, u"Software\\Zorizov", u"v", RegistryValue::fromDWord(2)));
    QVERIFY(store.deleteKey(kMachine, u"Software\\Zorizov\\Old"));
}

QTEST_APPLESS_MAIN(TestMemorySettingsStore)
#include "tst_memorysettingsstore.moc"
