#include "support/ModalWindows.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

namespace testsupport {

void whenModalShows(std::function<void(QDialog *)> action)
{
    auto *poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, action, tries = 0]() mutable {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            poll->deleteLater();
            action(dialog);
        } else if (++tries > 500) {
            qFatal("no modal window showed");
        }
    });
    poll->start();
}

} // namespace testsupport
