#pragma once

#include "platform/tray/TrayIcon.h"

#include <QList>

namespace platform {

// Keeps what the client did with its tray icon, for tests.
class RecordingTrayIcon : public TrayIcon
{
    Q_OBJECT
public:
    struct Balloon
    {
        QString title;
        QString text;
        BalloonIcon icon;
        int durationMs;
    };

    using TrayIcon::TrayIcon;

    void setEnabled(bool enabled) override { m_enabled = enabled; }
    bool isEnabled() const override { return m_enabled; }
    bool isAvailable() const override { return m_available; }
    void setAvailable(bool available) { m_available = available; }
    void setHint(const QString &hint) override { m_hint = hint; }
    void setMenu(QMenu *menu) override { m_menu = menu; }
    void showBalloon(const QString &title, const QString &text, BalloonIcon icon,
                     int durationMs) override
    {
        m_balloons.append({title, text, icon, durationMs});
    }

    QString hint() const { return m_hint; }
    QMenu *menu() const { return m_menu; }
    const QList<Balloon> &balloons() const { return m_balloons; }

private:
    bool m_enabled = false;
    bool m_available = true;
    QString m_hint;
    QMenu *m_menu = nullptr;
    QList<Balloon> m_balloons;
};

} // namespace platform
