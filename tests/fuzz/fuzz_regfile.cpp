// The settings files user.reg and machine.reg as the file-backed store reads them. Bit 0
// of the first byte picks the root; with bit 1 the bytes go through the store itself (a
// file in a scratch folder, read on first use, walked through the store's interface),
// otherwise straight to the parser, checking that what it accepts is written back in a form
// it reads again to the same file.

#include "FuzzSupport.h"

#include "platform/settings/RegFileFormat.h"
#include "platform/settings/RegFileSettingsStore.h"

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>

namespace {

void parseAndWriteBack(std::string_view bytes, std::u16string_view rootName)
{
    const platform::ParsedRegFile parsed = platform::parseRegFile(bytes, rootName);
    if (!parsed.problem.empty()) {
        if (!parsed.tree.root().subKeys.empty() || !parsed.tree.root().values.empty())
            fuzzsupport::fail("an invalid file still gave settings");
        return;
    }
    const std::string written = platform::formatRegFile(parsed.tree, rootName);
    const platform::ParsedRegFile reread = platform::parseRegFile(written, rootName);
    if (!reread.problem.empty())
        fuzzsupport::fail("the store cannot read the file it wrote");
    if (platform::formatRegFile(reread.tree, rootName) != written)
        fuzzsupport::fail("a written file does not read back to the same settings");
}

void walk(const platform::SettingsStore &store, platform::RegistryRoot root,
          const std::u16string &path)
{
    for (const std::u16string &name : store.valueNames(root, path)) {
        if (!store.readValue(root, path, name))
            fuzzsupport::fail("a listed value cannot be read");
    }
    for (const std::u16string &name : store.subKeyNames(root, path)) {
        const std::u16string child = path.empty() ? name : path + u'\\' + name;
        if (!store.keyExists(root, child))
            fuzzsupport::fail("a listed key does not exist");
        walk(store, root, child);
    }
}

void loadThroughStore(std::string_view bytes, platform::RegistryRoot root)
{
    static const QTemporaryDir scratch;
    const std::filesystem::path folder = scratch.path().toStdString();
    const std::filesystem::path file =
        folder / (root == platform::RegistryRoot::CurrentUser ? "user.reg" : "machine.reg");
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    {
        platform::RegFileSettingsStore store(folder);
        walk(store, root, {});
        store.takeDiagnostics();
    }
    std::filesystem::remove_all(folder);
    std::filesystem::create_directory(folder);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const bool machine = data[0] & 1;
    const std::string_view bytes(reinterpret_cast<const char *>(data + 1), size - 1);
    if (data[0] & 2)
        loadThroughStore(bytes, machine ? platform::RegistryRoot::LocalMachine
                                        : platform::RegistryRoot::CurrentUser);
    else
        parseAndWriteBack(bytes, machine ? u"HKEY_LOCAL_MACHINE" : u"HKEY_CURRENT_USER");
    return 0;
}
