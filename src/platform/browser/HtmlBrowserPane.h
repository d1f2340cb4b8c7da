#pragma once

#include "platform/browser/BrowserPane.h"

class QNetworkAccessManager;
class QNetworkReply;
class QTextBrowser;

namespace platform {

// A light pane for machines without Qt WebEngine: fetches the page in the background and
// shows its HTML as rich text. Scripts and style sheets of the page are not run.
class HtmlBrowserPane : public BrowserPane
{
    Q_OBJECT
public:
    HtmlBrowserPane(const QString &fallbackCodePage, QWidget *parent);

    void navigate(const QUrl &url) override;
    QUrl url() const override { return m_url; }

private:
    void followLink(const QUrl &link);
    void showReply(QNetworkReply *reply);

    QString m_fallbackCodePage;
    QUrl m_url;
    QTextBrowser *m_view;
    QNetworkAccessManager *m_network;
    QNetworkReply *m_pending = nullptr;
};

class HtmlBrowserPaneFactory : public BrowserPaneFactory
{
public:
    explicit HtmlBrowserPaneFactory(QString fallbackCodePage)
        : m_fallbackCodePage(std::move(fallbackCodePage))
    {}
    BrowserPane *create(QWidget *parent) override;

private:
    QString m_fallbackCodePage;
};

} // namespace platform
