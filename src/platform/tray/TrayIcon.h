#pragma once

#include <QObject>
#include <QString>

class QMenu;

namespace platform {

enum class BalloonIcon { None, Information, Warning, Error };

// The application's icon in the notification area, with its pop-up menu and balloons.
// Where the desktop has no notification area the icon simply does not appear; callers
// carry on as if it did.
class TrayIcon : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // An enabled icon is in the notification area; disabling removes it.
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
    // Whether the desktop has a notification area to show the icon in.
    virtual bool isAvailable() const = 0;
    virtual void setHint(const QString &hint) = 0;
    // Shown on a right click; not owned.
    virtual void setMenu(QMenu *menu) = 0;
    virtual void showBalloon(const QString &title, const QString &text, BalloonIcon icon,
                             int durationMs) = 0;

signals:
    // A left click: the user wants the main window back.
    void restoreRequested();
};

} // namespace platform
