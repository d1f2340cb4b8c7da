#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

namespace platform {

// One form field of a POST, name and value as the caller built them.
using FormField = QPair<QString, QString>;
using FormFields = QList<FormField>;

struct HttpResult
{
    bool ok = false;
    int status = 0; // HTTP status, 0 when none was received
    QString text;   // body decoded from the back end's code page; empty on failure
    QString error;  // why the request failed, for diagnostics only
};

// Blocking HTTP as the back end expects it. A call returns when the exchange is over;
// meanwhile the caller's windows keep painting but take no user input.
class HttpTransport
{
public:
    virtual ~HttpTransport() = default;

    // GET with a 30 s read time-out, redirects followed, user agent "iisuser_class".
    virtual HttpResult get(const QUrl &url) = 0;
    // Form POST with a 2 s read time-out, redirects not followed; an HTTP error status
    // is a failure.
    virtual HttpResult postForm(const QUrl &url, const FormFields &fields) = 0;
};

} // namespace platform
