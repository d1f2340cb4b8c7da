#pragma once

#include "platform/tray/TrayIcon.h"

class QSystemTrayIcon;

namespace platform {

class QtTrayIcon : public TrayIcon
{
    Q_OBJECT
public:
    explicit QtTrayIcon(QObject *parent = nullptr);

    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return m_enabled; }
    bool isAvailable() const override;
    void setHint(const QString &hint) override;
    void setMenu(QMenu *menu) override;
    void showBalloon(const QString &title, const QString &text, BalloonIcon icon,
                     int durationMs) override;

private:
    QSystemTrayIcon *m_icon;
    bool m_enabled = false;
};

} // namespace platform
