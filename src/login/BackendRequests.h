#pragma once

#include "platform/http/HttpTransport.h"

#include <QString>
#include <QUrl>

#include <optional>

namespace login {

// Back-end scripts and client pages are plain HTTP on port 8000 of their host.
QUrl backendUrl(const QString &host, const QString &path);
QUrl scriptUrl(const QString &host, const QString &script);
// Where the server-list document of the given master node is fetched.
QString serverListUrl(const QString &host);

// One form POST to a script on host; no value when the request failed.
std::optional<QString> postForm(const QString &host, const QString &script,
                                const platform::FormFields &fields);

// POST to MasterHost, repeated once on BackupHost when it fails; a successful repeat
// moves MasterHost to BackupHost so later requests go there too.
std::optional<QString> postWithFailover(const QString &script, const platform::FormFields &fields);

} // namespace login
