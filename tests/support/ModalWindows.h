#pragma once

#include <functional>

class QDialog;

namespace testsupport {

// Runs action on the next modal dialog once its modal loop runs. Polls rather than
// waiting for the first event, because windows let events run while they are being built.
void whenModalShows(std::function<void(QDialog *)> action);

} // namespace testsupport
