#include "platform/browser/HtmlBrowserPane.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QStringDecoder>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace platform {

namespace {
constexpr qint64 MaxPageBytes = 2 * 1024 * 1024;
}

HtmlBrowserPane::HtmlBrowserPane(const QString &fallbackCodePage, QWidget *parent)
    : BrowserPane(parent), m_fallbackCodePage(fallbackCodePage), m_view(new QTextBrowser(this)),
      m_network(new QNetworkAccessManager(this))
{
    m_network->setProxy(QNetworkProxy::NoProxy);
    m_view->setOpenLinks(false);
    m_view->setFrameShape(QFrame::NoFrame);
    connect(m_view, &QTextBrowser::anchorClicked, this, &HtmlBrowserPane::followLink);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
}

void HtmlBrowserPane::navigate(const QUrl &url)
{
    if (m_pending)
        m_pending->abort();
    m_url = url;
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply *reply = m_network->get(request);
    m_pending = reply;
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > MaxPageBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { showReply(reply); });
}

void HtmlBrowserPane::followLink(const QUrl &link)
{
    // Links come from the page: relative ones are relative to it, and only web pages are
    // followed, never local files or other schemes.
    const QUrl target = m_url.resolved(link);
    if (target.scheme() == QLatin1String("http") || target.scheme() == QLatin1String("https"))
        navigate(target);
}

void HtmlBrowserPane::showReply(QNetworkReply *reply)
{
    reply->deleteLater();
    if (reply != m_pending)
        return;
    m_pending = nullptr;
    if (reply->error() != QNetworkReply::NoError) {
        m_view->clear();
        return;
    }
    const QByteArray body = reply->readAll();
    QStringDecoder decoder = QStringDecoder::decoderForHtml(body);
    if (!decoder.isValid())
        decoder = QStringDecoder(m_fallbackCodePage.toLatin1().constData());
    m_view->setHtml(decoder.decode(body));
}

BrowserPane *HtmlBrowserPaneFactory::create(QWidget *parent)
{
    return new HtmlBrowserPane(m_fallbackCodePage, parent);
}

} // namespace platform
