#pragma once

#include "platform/browser/BrowserPane.h"

namespace platform {

// Remembers where it was sent and loads nothing: for tests, which must not let a pane
// reach the network on its own.
class OfflineBrowserPane : public BrowserPane
{
    Q_OBJECT
public:
    using BrowserPane::BrowserPane;

    void navigate(const QUrl &url) override { m_url = url; }
    QUrl url() const override { return m_url; }

private:
    QUrl m_url;
};

class OfflineBrowserPaneFactory : public BrowserPaneFactory
{
public:
    BrowserPane *create(QWidget *parent) override { return new OfflineBrowserPane(parent); }
};

} // namespace platform
