#include "platform/settings/KeyTree.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace platform {

namespace {

char16_t foldAscii(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

// Works on const and mutable lists alike.
template <typename Items> auto findNamed(Items &items, std::u16string_view name)
{
    return std::find_if(items.begin(), items.end(),
                        [name](const auto &item) { return sameName(item.name, name); });
}

template <typename Item> std::vector<std::u16string> namesOf(const std::vector<Item> &items)
{
    std::vector<std::u16string> names;
    names.reserve(items.size());
    for (const Item &item : items)
        names.push_back(item.name);
    return names;
}

} // namespace

bool sameName(std::u16string_view a, std::u16string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char16_t x, char16_t y) { return foldAscii(x) == foldAscii(y); });
}

std::optional<std::vector<std::u16string_view>> splitKeyPath(std::u16string_view path)
{
    if (path.starts_with(u'\\'))
        path.remove_prefix(1);

    std::vector<std::u16string_view> names;
    while (!path.empty()) {
        const std::size_t end = std::min(path.find(u'\\'), path.size());
        const std::u16string_view name = path.substr(0, end);
        if (name.empty() || name.size() > kMaxKeyNameLength || names.size() == kMaxKeyDepth)
            return std::nullopt;
        names.push_back(name);
        // Past the backslash, so a single trailing one ends the path.
        path.remove_prefix(std::min(end + 1, path.size()));
    }
    return names;
}

const KeyTree::Key *KeyTree::findKey(std::u16string_view path) const
{
    const auto names = splitKeyPath(path);
    if (!names)
        return nullptr;
    const Key *key = &m_root;
    for (const std::u16string_view name : *names) {
        const auto sub = findNamed(key->subKeys, name);
        if (sub == key->subKeys.end())
            return nullptr;
        key = &*sub;
    }
    return key;
}

KeyTree::Key *KeyTree::findKey(std::u16string_view path)
{
    return const_cast<Key *>(std::as_const(*this).findKey(path));
}

KeyTree::Key *KeyTree::createKey(std::u16string_view path)
{
    const auto names = splitKeyPath(path);
    if (!names)
        return nullptr;
    Key *key = &m_root;
    for (const std::u16string_view name : *names) {
        auto sub = findNamed(key->subKeys, name);
        if (sub == key->subKeys.end()) {
            key->subKeys.push_back(Key{std::u16string(name), {}, {}});
            sub = std::prev(key->subKeys.end());
        }
        key = &*sub;
    }
    return key;
}

bool KeyTree::deleteKey(std::u16string_view path)
{
    const auto names = splitKeyPath(path);
    if (!names || names->empty())
        return false; // the root cannot go
    Key *key = &m_root;
    for (std::size_t i = 0; i + 1 < names->size(); ++i) {
        const auto sub = findNamed(key->subKeys, (*names)[i]);
        if (sub == key->subKeys.end())
            return false;
        key = &*sub;
    }
    const auto doomed = findNamed(key->subKeys, names->back());
    if (doomed == key->subKeys.end())
        return false;
    key->subKeys.erase(doomed);
    return true;
}

std::vector<std::u16string> KeyTree::subKeyNames(std::u16string_view path) const
{
    const Key *key = findKey(path);
    return key ? namesOf(key->subKeys) : std::vector<std::u16string>{};
}

std::vector<std::u16string> KeyTree::valueNames(std::u16string_view path) const
{
    const Key *key = findKey(path);
    return key ? namesOf(key->values) : std::vector<std::u16string>{};
}

std::optional<RegistryValue> KeyTree::readValue(std::u16string_view path,
                                                std::u16string_view name) const
{
    const Key *key = findKey(path);
    if (!key)
        return std::nullopt;
    const auto found = findNamed(key->values, name);
    if (found == key->values.end())
        return std::nullopt;
    return found->value;
}

bool KeyTree::writeValue(std::u16string_view path, std::u16string_view name,
                         const RegistryValue &value)
{
    Key *key = findKey(path);
    if (!key)
        return false;
    setValue(*key, NamedValue{std::u16string(name), value, std::nullopt});
    return true;
}

bool KeyTree::deleteValue(std::u16string_view path, std::u16string_view name)
{
    Key *key = findKey(path);
    if (!key)
        return false;
    const auto found = findNamed(key->values, name);
    if (found == key->values.end())
        return false;
    key->values.erase(found);
    return true;
}

void KeyTree::setValue(Key &key, NamedValue value)
{
    const auto found = findNamed(key.values, value.name);
    if (found == key.values.end()) {
        key.values.push_back(std::move(value));
        return;
    }
    found->value = std::move(value.value);
    found->fileType = value.fileType;
}

} // namespace platform
