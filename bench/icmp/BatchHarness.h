#pragma once

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace latency {
class BatchLatencyTest;
class LineTableModel;
class LineTableView;
} // namespace latency

namespace bench {

// The batch latency test wired as the main window wires it, on a window of its own with a
// line table of one line per host. It probes through app::services().icmp.
class BatchHarness
{
public:
    BatchHarness(const std::vector<std::string> &hosts, std::chrono::milliseconds pacing);
    ~BatchHarness();

    // The button's start and pause command.
    void toggle();
    void showTable();

private:
    QWidget m_window;
    QPushButton *m_button;
    QComboBox *m_lines;
    QTimer *m_timer1;
    QLabel *m_info;
    latency::LineTableModel *m_model;
    latency::LineTableView *m_view;
    std::unique_ptr<latency::BatchLatencyTest> m_test;
};

// Runs the event loop until done() holds, checking every few milliseconds, or until the
// patience runs out; answers whether done() held.
bool runEventsUntil(const std::function<bool()> &done, std::chrono::milliseconds patience);

} // namespace bench
