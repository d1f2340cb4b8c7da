#pragma once

#include <QString>

#include <optional>

namespace devbackend {

// The small web pages the client embeds or opens: banners, news, purchase and help.
namespace sitepages {

// The HTML of the page at path, or nothing when there is no such page.
std::optional<QString> find(const QString &path);

} // namespace sitepages
} // namespace devbackend
