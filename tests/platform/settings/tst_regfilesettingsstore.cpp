#include "platform/settings/RegFileSettingsStore.h"

#include "SettingsTestSupport.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using platform::RegFileSettingsStore;
using platform::RegistryRoot;
using platform::RegistryValue;

namespace {

constexpr auto kUser = RegistryRoot::CurrentUser;
constexpr std::u16string_view kKey = u"Software\\Zorizov";

QByteArray utf16leWithBom(const QString &text)
{
    QByteArray bytes("\xFF\xFE");
    for (const QChar c : text) {
        bytes.append(static_cast<char>(c.unicode() & 0xFF));
        bytes.append(static_cast<char>(c.unicode() >> 8));
    }
    return bytes;
}

QString fromUtf16leWithBom(const QByteArray &bytes)
{
    if (!bytes.startsWith("\xFF\xFE") || bytes.size() % 2 != 0)
        return {};
    QString text;
    for (qsizetype i = 2; i < bytes.size(); i += 2)
        text.append(QChar(static_cast<char16_t>(static_cast<quint8>(bytes[i]) |
                                                static_cast<quint8>(bytes[i + 1]) << 8)));
    return text;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(file.write(contents), contents.size());
}

// The start of a valid user.reg: key A with "x"="1".
const QByteArray kValidStart = "Windows Registry Editor Version 5.00\r\n\r\n"
                               "[HKEY_CURRENT_USER\\A]\r\n\"x\"=\"1\"\r\n";

} // namespace

class TestRegFileSettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void valuesSurviveReload_data();
    void valuesSurviveReload();

    void writesRegeditExportFormat_data();
    void writesRegeditExportFormat();

    void keyStructureSurvivesReload();

    void readsHandWrittenFiles_data();
    void readsHandWrittenFiles();
    void readsWideFilesInOrder();

    void keepsUnknownValueTypes();

    void corruptFileIsSetAside_data();
    void corruptFileIsSetAside();
    void directoryInPlaceOfFileIsSetAside();

    void failedSaveChangesNothing();
    void refusesNamesTheFileCannotHold();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    std::filesystem::path folder() const { return m_dir->path().toStdString(); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestRegFileSettingsStore::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestRegFileSettingsStore::valuesSurviveReload_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<RegistryValue>("value");

    std::vector<std::uint8_t> longBlob(200);
    for (std::size_t i = 0; i < longBlob.size(); ++i)
        longBlob[i] = static_cast<std::uint8_t>(255 - i);

    QTest::newRow("text") << "Language" << RegistryValue::fromString(u"en");
    QTest::newRow("Chinese") << "语言" << RegistryValue::fromString(u"简体中文");
    QTest::newRow("quotes and backslashes")
        << "say \"hi\"\\now" << RegistryValue::fromString(u"C:\\Program Files\\\"x\"\\");
    QTest::newRow("empty default value") << "" << RegistryValue::fromString(u"");
    QTest::newRow("text with line breaks and NUL")
        << "Notes" << RegistryValue::fromString(std::u16string(u"one\r\ntwo\nthree\0", 15));
    QTest::newRow("dword zero") << "Zero" << RegistryValue::fromDWord(0);
    QTest::newRow("dword max") << "Max" << RegistryValue::fromDWord(0xFFFFFFFF);
    QTest::newRow("empty binary") << "Empty" << RegistryValue::fromBinary({});
    QTest::newRow("binary over several lines") << "Blob" << RegistryValue::fromBinary(longBlob);
}

void TestRegFileSettingsStore::valuesSurviveReload()
{
    QFETCH(QString, name);
    QFETCH(RegistryValue, value);

    // The folder does not exist yet.
    const std::filesystem::path settings = folder() / "nested" / "settings";
    {
        RegFileSettingsStore writer(settings);
        QVERIFY(writer.createKey(kUser, kKey));
        QVERIFY(writer.writeValue(kUser, kKey, u16(name), value));
        QCOMPARE(writer.readValue(kUser, kKey, u16(name)), std::optional(value));
    }

    RegFileSettingsStore reader(settings);
    QCOMPARE(reader.readValue(kUser, kKey, u16(name)), std::optional(value));
    QCOMPARE(toStringList(reader.valueNames(kUser, kKey)), QStringList{name});
    QVERIFY(reader.takeDiagnostics().empty());
}

void TestRegFileSettingsStore::writesRegeditExportFormat_data()
{
    QTest::addColumn<RegistryRoot>("root");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("otherFileName");
    QTest::addColumn<QString>("rootName");

    QTest::newRow("current user") << RegistryRoot::CurrentUser << "user.reg"
                                  << "machine.reg"
                                  << "HKEY_CURRENT_USER";
    QTest::newRow("local machine") << RegistryRoot::LocalMachine << "machine.reg"
                                   << "user.reg"
                                   << "HKEY_LOCAL_MACHINE";
}

void TestRegFileSettingsStore::writesRegeditExportFormat()
{
    QFETCH(RegistryRoot, root);
    QFETCH(QString, fileName);
    QFETCH(QString, otherFileName);
    QFETCH(QString, rootName);

    RegFileSettingsStore store(folder());
    QVERIFY(store.createKey(root, u"Software\\Zorizov\\Empty"));
    QVERIFY(store.writeValue(root, kKey, u"", RegistryValue::fromString(u"default")));
    QVERIFY(store.writeValue(root, kKey, u"Path",
                             RegistryValue::fromString(u"C:\\Program Files\\Zorizov")));
    QVERIFY(store.writeValue(root, kKey, u"Count", RegistryValue::fromDWord(42)));
    QVERIFY(store.writeValue(root, kKey, u"Blob", RegistryValue::fromBinary({0x01, 0xab, 0xff})));
    QVERIFY(store.writeValue(root, kKey, u"Quote", RegistryValue::fromString(u"a \"b\"")));

    const QString expected = QStringLiteral("Windows Registry Editor Version 5.00\r\n"
                                            "\r\n"
                                            "[%1]\r\n"
                                            "\r\n"
                                            "[%1\\Software]\r\n"
                                            "\r\n"
                                            "[%1\\Software\\Zorizov]\r\n"
                                            "@=\"default\"\r\n"
                                            "\"Path\"=\"C:\\\\Program Files\\\\Zorizov\"\r\n"
                                            "\"Count\"=dword:0000002a\r\n"
                                            "\"Blob\"=hex:01,ab,ff\r\n"
                                            "\"Quote\"=\"a \\\"b\\\"\"\r\n"
                                            "\r\n"
                                            "[%1\\Software\\Zorizov\\Empty]\r\n"
                                            "\r\n")
                                 .arg(rootName);
    const QByteArray written = readFile(path(fileName));
    QCOMPARE(fromUtf16leWithBom(written), expected);
    QCOMPARE(written, utf16leWithBom(expected));
    QVERIFY(!QFile::exists(path(otherFileName)));
    QVERIFY(!QFile::exists(path(fileName + ".tmp")));
}

void TestRegFileSettingsStore::keyStructureSurvivesReload()
{
    {
        RegFileSettingsStore store(folder());
        QVERIFY(store.createKey(kUser, u"\\Software\\Zorizov\\Servers\\"));
        QVERIFY(store.createKey(kUser, u"SOFTWARE\\zorizov\\Accounts"));
        QVERIFY(store.createKey(kUser, u"software\\ZORIZOV\\servers\\Fast"));
        QVERIFY(store.createKey(kUser, u"Software\\Zorizov\\Doomed\\Deep"));
        QVERIFY(store.writeValue(kUser, u"Software\\Zorizov\\Doomed\\Deep", u"d",
                                 RegistryValue::fromDWord(1)));
        for (const char16_t *name : {u"b", u"A", u"c"})
            QVERIFY(store.writeValue(kUser, kKey, name, RegistryValue::fromString(name)));
        QVERIFY(store.deleteKey(kUser, u"software\\zorizov\\doomed"));
    }
    {
        RegFileSettingsStore store(folder());
        QCOMPARE(toStringList(store.subKeyNames(kUser, u"software\\zorizov")),
                 (QStringList{"Servers", "Accounts"}));
        QCOMPARE(toStringList(store.subKeyNames(kUser, u"Software\\Zorizov\\Servers")),
                 QStringList{"Fast"});
        QCOMPARE(toStringList(store.valueNames(kUser, kKey)), (QStringList{"b", "A", "c"}));
        QVERIFY(!store.keyExists(kUser, u"Software\\Zorizov\\Doomed"));
        QVERIFY(store.deleteValue(kUser, kKey, u"a"));
    }
    RegFileSettingsStore store(folder());
    QCOMPARE(toStringList(store.valueNames(kUser, kKey)), (QStringList{"b", "c"}));
}

void TestRegFileSettingsStore::readsHandWrittenFiles_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("name");
    QTest::addColumn<RegistryValue>("expected");

    QTest::newRow("UTF-8, LF, comments, blank space")
        << QByteArray("Windows Registry Editor Version 5.00\n"
                      "; edited by hand\n"
                      "\n"
                      "[HKEY_CURRENT_USER\\Software\\Zorizov]\n"
                      "\n"
                      "  \"Language\" = \"中文\"  \n")
        << "Software\\Zorizov"
        << "Language" << RegistryValue::fromString(u"中文");
    QTest::newRow("UTF-8 with BOM, upper-case hex")
        << QByteArray("\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
                      "[HKEY_CURRENT_USER\\Software\\Zorizov]\r\n"
                      "\"Port\"=DWORD:0000FFFF\r\n")
        << "Software\\Zorizov"
        << "Port" << RegistryValue::fromDWord(0xFFFF);
    QTest::newRow("hex list continued over lines")
        << utf16leWithBom("Windows Registry Editor Version 5.00\r\n\r\n"
                          "[HKEY_CURRENT_USER\\Software\\Zorizov]\r\n"
                          "\"Blob\"=hex:00,01,\\\r\n"
                          "  02,03,\\\n"
                          "  04\r\n")
        << "Software\\Zorizov"
        << "Blob" << RegistryValue::fromBinary({0, 1, 2, 3, 4});
    QTest::newRow("child before parent, repeated block")
        << QByteArray("Windows Registry Editor Version 5.00\n"
                      "[HKEY_CURRENT_USER\\A\\B]\n"
                      "\"x\"=dword:00000001\n"
                      "[hkey_current_user\\A]\n"
                      "[HKEY_CURRENT_USER\\a\\b]\n"
                      "\"X\"=dword:00000002\n")
        << "A\\B"
        << "x" << RegistryValue::fromDWord(2);
    QTest::newRow("hex(1) text") << QByteArray("Windows Registry Editor Version 5.00\n"
                                               "[HKEY_CURRENT_USER\\A]\n"
                                               "@=hex(1):68,00,69,00,00,00\n")
                                 << "A"
                                 << "" << RegistryValue::fromString(u"hi");
}

void TestRegFileSettingsStore::readsHandWrittenFiles()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, key);
    QFETCH(QString, name);
    QFETCH(RegistryValue, expected);

    writeFile(path("user.reg"), contents);
    RegFileSettingsStore store(folder());
    QCOMPARE(store.readValue(kUser, u16(key), u16(name)), std::optional(expected));
    QCOMPARE(toStringList(store.valueNames(kUser, u16(key))), QStringList{name});
    QVERIFY(store.takeDiagnostics().empty());
    QCOMPARE(readFile(path("user.reg")), contents);
}

// Many keys side by side and many values in one key, with blocks repeated in other
// spellings: the reader finds keys and values through indexes, which must agree with the
// lists in order, first spelling and replacement in place.
void TestRegFileSettingsStore::readsWideFilesInOrder()
{
    constexpr int Count = 3000;
    QByteArray contents = "Windows Registry Editor Version 5.00\n";
    QStringList keys;
    QStringList values;
    for (int i = 0; i < Count; ++i) {
        keys << QStringLiteral("Key%1").arg(i);
        contents += "[HKEY_CURRENT_USER\\Wide\\" + keys.last().toUtf8() + "]\n";
    }
    contents += "[HKEY_CURRENT_USER\\Wide]\n";
    for (int i = 0; i < Count; ++i) {
        values << QStringLiteral("Value%1").arg(i);
        contents += '"' + values.last().toUtf8() + "\"=dword:" + QByteArray::number(i, 16) + '\n';
    }
    contents += "[hkey_current_user\\WIDE\\KEY7]\n\"inner\"=\"7\"\n"
                "[HKEY_CURRENT_USER\\wide]\n\"VALUE5\"=\"five\"\n\"Last\"=dword:00000001\n";
    writeFile(path("user.reg"), contents);

    RegFileSettingsStore store(folder());
    QVERIFY(store.takeDiagnostics().empty());
    QCOMPARE(toStringList(store.subKeyNames(kUser, u"Wide")), keys);
    values << QStringLiteral("Last");
    QCOMPARE(toStringList(store.valueNames(kUser, u"Wide")), values);
    QCOMPARE(store.readValue(kUser, u"Wide", u"value5"), RegistryValue::fromString(u"five"));
    QCOMPARE(store.readValue(kUser, u"Wide", u"Value6"), RegistryValue::fromDWord(6));
    QCOMPARE(store.readValue(kUser, u"Wide\\Key7", u"inner"), RegistryValue::fromString(u"7"));
    QVERIFY(store.valueNames(kUser, u"Wide\\Key8").empty());
}

void TestRegFileSettingsStore::keepsUnknownValueTypes()
{
    writeFile(path("user.reg"), "Windows Registry Editor Version 5.00\n\n"
                                "[HKEY_CURRENT_USER\\Software\\Zorizov]\n"
                                "\"Home\"=hex(2):25,00,48,00,25,00,00,00\n"
                                "\"List\"=hex(7):61,00,00,00,00,00\n"
                                "\"Big\"=hex(B):01,00,00,00,00,00,00,00\n");
    RegFileSettingsStore store(folder());
    QCOMPARE(store.readValue(kUser, kKey, u"Home"),
             std::optional(RegistryValue::fromBinary({0x25, 0, 0x48, 0, 0x25, 0, 0, 0})));

    QVERIFY(store.writeValue(kUser, kKey, u"Other", RegistryValue::fromDWord(1)));
    const QString text = fromUtf16leWithBom(readFile(path("user.reg")));
    QVERIFY2(text.contains("[HKEY_CURRENT_USER\\Software\\Zorizov]\r\n"
                           "\"Home\"=hex(2):25,00,48,00,25,00,00,00\r\n"
                           "\"List\"=hex(7):61,00,00,00,00,00\r\n"
                           "\"Big\"=hex(b):01,00,00,00,00,00,00,00\r\n"
                           "\"Other\"=dword:00000001\r\n"),
             qPrintable(text));

    // Written through the store, the value becomes plain binary.
    QVERIFY(store.writeValue(kUser, kKey, u"Home", RegistryValue::fromBinary({1})));
    QVERIFY(fromUtf16leWithBom(readFile(path("user.reg"))).contains("\"Home\"=hex:01\r\n"));
}

void TestRegFileSettingsStore::corruptFileIsSetAside_data()
{
    QTest::addColumn<QByteArray>("contents");

    QByteArray garbage(1024 * 1024, '\0');
    QRandomGenerator random(7);
    random.fillRange(reinterpret_cast<quint32 *>(garbage.data()), garbage.size() / 4);

    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("other header") << QByteArray("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n");
    QTest::newRow("header not first") << "\r\n" + kValidStart;
    QTest::newRow("all NUL") << QByteArray(4096, '\0');
    QTest::newRow("NULs inside a string")
        << kValidStart + "\"y\"=\"a" + QByteArray(8, '\0') + "\"\r\n";
    QTest::newRow("1 MB of garbage") << garbage;
    QTest::newRow("cut inside a string") << kValidStart + "\"y\"=\"abc";
    QTest::newRow("cut inside a hex list") << kValidStart + "\"y\"=hex:01,02,\\\r\n";
    QTest::newRow("value before any key")
        << QByteArray("Windows Registry Editor Version 5.00\r\n\"x\"=\"1\"\r\n");
    QTest::newRow("key under another root") << kValidStart + "[HKEY_LOCAL_MACHINE\\A]\r\n";
    QTest::newRow("empty name in key path") << kValidStart + "[HKEY_CURRENT_USER\\A\\\\B]\r\n";
    QTest::newRow("invalid hex") << kValidStart + "\"y\"=hex:01,0g\r\n";
    QTest::newRow("dword too long") << kValidStart + "\"y\"=dword:000000001\r\n";
    QTest::newRow("unknown escape") << kValidStart + "\"y\"=\"a\\n\"\r\n";
    QTest::newRow("deletion line") << kValidStart + "\"x\"=-\r\n";
    QTest::newRow("unrecognised line") << kValidStart + "x=1\r\n";
    QTest::newRow("invalid UTF-8") << kValidStart + "\"y\"=\"\xC3\x28\"\r\n";
    QTest::newRow("odd UTF-16 length") << utf16leWithBom(QString::fromLatin1(kValidStart)) + "\n";
}

void TestRegFileSettingsStore::corruptFileIsSetAside()
{
    QFETCH(QByteArray, contents);
    writeFile(path("user.reg"), contents);
    writeFile(path("user.reg.bad"), "an older corrupt file");

    RegFileSettingsStore store(folder());
    QVERIFY2(QFile::exists(path("user.reg")), "read before first use");

    QCOMPARE(store.readValue(kUser, u"A", u"x"), std::nullopt);
    QVERIFY(store.subKeyNames(kUser, u"").empty());
    QVERIFY(!QFile::exists(path("user.reg")));
    QCOMPARE(readFile(path("user.reg.bad")), contents);

    const std::vector<std::string> diagnostics = store.takeDiagnostics();
    QCOMPARE(diagnostics.size(), 1u);
    const QString line = QString::fromStdString(diagnostics.front());
    QVERIFY2(line.contains(path("user.reg") + " is corrupt"), qPrintable(line));
    QVERIFY2(line.contains("kept as " + path("user.reg.bad")), qPrintable(line));
    QVERIFY(store.takeDiagnostics().empty());

    // The store carries on with a fresh file.
    QVERIFY(store.createKey(kUser, u"A"));
    QVERIFY(store.writeValue(kUser, u"A", u"x", RegistryValue::fromString(u"2")));
    RegFileSettingsStore reloaded(folder());
    QCOMPARE(reloaded.readValue(kUser, u"A", u"x"), std::optional(RegistryValue::fromString(u"2")));
    QVERIFY(reloaded.takeDiagnostics().empty());
}

void TestRegFileSettingsStore::directoryInPlaceOfFileIsSetAside()
{
    QVERIFY(QDir(m_dir->path()).mkpath("user.reg"));
    writeFile(path("user.reg/inside"), "kept");

    RegFileSettingsStore store(folder());
    QVERIFY(store.keyExists(kUser, u""));
    QCOMPARE(store.takeDiagnostics().size(), 1u);
    QCOMPARE(readFile(path("user.reg.bad/inside")), QByteArray("kept"));

    QVERIFY(store.writeValue(kUser, u"", u"v", RegistryValue::fromDWord(1)));
    QVERIFY(QFileInfo(path("user.reg")).isFile());
}

void TestRegFileSettingsStore::failedSaveChangesNothing()
{
    const auto english = std::optional(RegistryValue::fromString(u"en"));
    RegFileSettingsStore store(folder());
    QVERIFY(store.createKey(kUser, u"Software\\Zorizov\\Old"));
    QVERIFY(store.writeValue(kUser, kKey, u"Language", *english));
    const QByteArray before = readFile(path("user.reg"));

    // Tests run as root, where a read-only folder stops nothing; a directory in the way of
    // the temporary file does.
    QVERIFY(QDir(m_dir->path()).mkpath("user.reg.tmp"));

    QVERIFY(!store.writeValue(kUser, kKey, u"Language", RegistryValue::fromString(u"de")));
    QCOMPARE(store.readValue(kUser, kKey, u"Language"), english);
    QVERIFY(!store.writeValue(kUser, kKey, u"Added", RegistryValue::fromDWord(1)));
    QCOMPARE(toStringList(store.valueNames(kUser, kKey)), QStringList{"Language"});
    QVERIFY(!store.createKey(kUser, u"Software\\Zorizov\\New"));
    QVERIFY(!store.keyExists(kUser, u"Software\\Zorizov\\New"));
    QVERIFY(!store.deleteKey(kUser, u"Software\\Zorizov\\Old"));
    QVERIFY(store.keyExists(kUser, u"Software\\Zorizov\\Old"));
    QVERIFY(!store.deleteValue(kUser, kKey, u"Language"));
    QCOMPARE(store.readValue(kUser, kKey, u"Language"), english);

    QCOMPARE(readFile(path("user.reg")), before);
    const std::vector<std::string> diagnostics = store.takeDiagnostics();
    QVERIFY(!diagnostics.empty());
    QVERIFY(QString::fromStdString(diagnostics.front()).contains(path("user.reg.tmp")));

    QVERIFY(QDir(path("user.reg.tmp")).removeRecursively());
    QVERIFY(store.writeValue(kUser, kKey, u"Language", RegistryValue::fromString(u"de")));
    RegFileSettingsStore reloaded(folder());
    QCOMPARE(reloaded.readValue(kUser, kKey, u"Language"),
             std::optional(RegistryValue::fromString(u"de")));
    QVERIFY(reloaded.keyExists(kUser, u"Software\\Zorizov\\Old"));
}

void TestRegFileSettingsStore::refusesNamesTheFileCannotHold()
{
    RegFileSettingsStore store(folder());
    QVERIFY(!store.createKey(kUser, u"Software\\Line\nBreak"));
    QVERIFY(store.createKey(kUser, kKey));
    QVERIFY(!store.writeValue(kUser, kKey, u"a\r\nb", RegistryValue::fromDWord(1)));
    QVERIFY(!store.writeValue(kUser, kKey, std::u16string_view(u"a\0b", 3),
                              RegistryValue::fromDWord(1)));
    QVERIFY(store.valueNames(kUser, kKey).empty());
    QCOMPARE(toStringList(store.subKeyNames(kUser, u"Software")), QStringList{"Zorizov"});
}

QTEST_APPLESS_MAIN(TestRegFileSettingsStore)
#include "tst_regfilesettingsstore.moc"
