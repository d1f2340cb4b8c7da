#include "platform/tray/QtTrayIcon.h"

#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

namespace platform {

namespace {

QIcon applicationIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(55, 109, 125));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(1, 1, 30, 30);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(20);
    painter.setFont(font);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, QStringLiteral("T"));
    return QIcon(pixmap);
}

QSystemTrayIcon::MessageIcon toQt(BalloonIcon icon)
{
    switch (icon) {
    case BalloonIcon::Information:
        return QSystemTrayIcon::Information;
    case BalloonIcon::Warning:
        return QSystemTrayIcon::Warning;
    case BalloonIcon::Error:
        return QSystemTrayIcon::Critical;
    case BalloonIcon::None:
        break;
    }
    return QSystemTrayIcon::NoIcon;
}

} // namespace

QtTrayIcon::QtTrayIcon(QObject *parent)
    : TrayIcon(parent), m_icon(new QSystemTrayIcon(applicationIcon(), this))
{
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    emit restoreRequested();
            });
}

void QtTrayIcon::setEnabled(bool enabled)
{
    m_enabled = enabled;
    if (QSystemTrayIcon::isSystemTrayAvailable())
        m_icon->setVisible(enabled);
}

bool QtTrayIcon::isAvailable() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void QtTrayIcon::setHint(const QString &hint)
{
    m_icon->setToolTip(hint);
}

void QtTrayIcon::setMenu(QMenu *menu)
{
    m_icon->setContextMenu(menu);
}

void QtTrayIcon::showBalloon(const QString &title, const QString &text, BalloonIcon icon,
                             int durationMs)
{
    if (m_enabled && m_icon->isVisible())
        m_icon->showMessage(title, text, toQt(icon), durationMs);
}

} // namespace platform
