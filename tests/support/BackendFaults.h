#pragma once

#include "devbackend/DevBackend.h"

#include <QList>
#include <QString>
#include <QStringList>

class QWidget;

namespace platform {
class SettingsStore;
}

namespace testsupport {

using Fault = devbackend::DevBackend::Fault;

// Every way the end-to-end fault tables make the back end fail one request: refused, no
// answer, an answer after the read time-out, status 500, a redirect, an empty body, a
// 10 MB body, bytes that are not GBK, and a reset in the middle of the body.
const QList<Fault> &backendFaults();
// The row name of a fault in those tables.
QString faultName(Fault fault);
// Sets fault for script; a late answer comes after the longest read time-out of the test
// transport.
void injectFault(devbackend::DevBackend &backend, const QString &script, Fault fault);
// How many requests for script the back end has received.
int requestsFor(const devbackend::DevBackend &backend, const QString &script);

// Every key and value of both roots, one "root\key\name=value" line each, in a fixed order,
// so that two snapshots compare equal exactly when the stores hold the same settings.
QStringList settingsSnapshot(const platform::SettingsStore &store);

// True when keys typed into a fresh edit box of window arrive: no request is still
// holding back the user's input.
bool takesInput(QWidget *window);

} // namespace testsupport
