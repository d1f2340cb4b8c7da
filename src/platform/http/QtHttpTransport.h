#pragma once

#include "platform/http/HttpTransport.h"

#include <QByteArray>

namespace platform {

// HTTP as the back end's clients speak it, with a fresh client per request: GET over
// QNetworkAccessManager, form POST over a plain socket (see FormPost.h). Both block in a
// local event loop that drops user input, so windows repaint while a request runs but
// cannot be clicked or closed.
class QtHttpTransport : public HttpTransport
{
public:
    struct Timeouts
    {
        int connectMs = 10000;
        int getReadMs = 30000;
        int postReadMs = 2000;
    };

    // A reply larger than this is a failure: the back end never sends anything close.
    static constexpr qint64 MaxReplyBytes = 8 * 1024 * 1024;

    explicit QtHttpTransport(const QString &codePage);
    QtHttpTransport(const QString &codePage, Timeouts timeouts);

    HttpResult get(const QUrl &url) override;
    HttpResult postForm(const QUrl &url, const FormFields &fields) override;

    // application/x-www-form-urlencoded body with names and values in the code page.
    static QByteArray encodeForm(const FormFields &fields, const QString &codePage);
    static QString decode(const QByteArray &body, const QString &codePage);

private:
    QString m_codePage;
    Timeouts m_timeouts;
};

} // namespace platform
