#pragma once

#include <QUrl>
#include <QWidget>

namespace platform {

// An embedded pane that shows one web page.
class BrowserPane : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;

    // Starts loading the page; returns at once.
    virtual void navigate(const QUrl &url) = 0;
    virtual QUrl url() const = 0;
};

class BrowserPaneFactory
{
public:
    virtual ~BrowserPaneFactory() = default;

    virtual BrowserPane *create(QWidget *parent) = 0;
};

} // namespace platform
