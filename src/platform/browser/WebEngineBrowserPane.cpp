#include "platform/browser/WebEngineBrowserPane.h"

#include <QVBoxLayout>
#include <QWebEngineView>

namespace platform {

WebEngineBrowserPane::WebEngineBrowserPane(QWidget *parent)
    : BrowserPane(parent), m_view(new QWebEngineView(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
}

void WebEngineBrowserPane::navigate(const QUrl &url)
{
    m_view->load(url);
}

QUrl WebEngineBrowserPane::url() const
{
    return m_view->url();
}

} // namespace platform
