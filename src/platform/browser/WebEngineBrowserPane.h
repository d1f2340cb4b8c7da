#pragma once

#include "platform/browser/BrowserPane.h"

class QWebEngineView;

namespace platform {

class WebEngineBrowserPane : public BrowserPane
{
    Q_OBJECT
public:
    explicit WebEngineBrowserPane(QWidget *parent);

    void navigate(const QUrl &url) override;
    QUrl url() const override;

private:
    QWebEngineView *m_view;
};

class WebEngineBrowserPaneFactory : public BrowserPaneFactory
{
public:
    BrowserPane *create(QWidget *parent) override { return new WebEngineBrowserPane(parent); }
};

} // namespace platform
