#pragma once

#include "platform/icmp/IcmpProber.h"

#include <QObject>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>

class QComboBox;
class QLabel;
class QPushButton;
class QTimer;

namespace latency {

class LineTableModel;
class LineTableView;

// The row's latency text for one echo: nine tenths of the reply time in whole
// milliseconds, or "禁ping" when nothing came back.
QString DelayText(const platform::EchoResult &result);

// The batch latency test: probes every line of the table again and again, paced by a
// feeder thread, until it is paused, the link comes up or the window closes. Probes run
// through a worker pool and the ICMP layer; every result is written on the GUI thread.
class BatchLatencyTest : public QObject
{
    Q_OBJECT
public:
    struct Controls
    {
        QPushButton *btn_speed;
        QComboBox *IPAddrTxt;
        QTimer *Timer1;
        QLabel *lbl_info;
        LineTableModel *model;
        LineTableView *vt1;
    };

    explicit BatchLatencyTest(const Controls &controls, QObject *parent = nullptr);
    ~BatchLatencyTest() override;

    void btn_speedClick();
    void Timer1Timer();
    // Tells the feeder to stop; the caller has cleared the running flag.
    void stopFeeder();
    // Repaints the table and shows the pool's queued tasks and threads in lbl_info.
    void RefreshLineTable();

    // The time from one queued probe to the next.
    void setPacing(std::chrono::milliseconds pacing) { m_pacing = pacing; }

private:
    struct Row
    {
        quint64 key;
        std::string host;
    };
    class Results;

    void startFeeder();
    void feed(const std::stop_token &stop);
    std::optional<std::vector<Row>> rowsInDisplayOrder(const std::stop_token &stop);
    bool pauseUntil(const std::stop_token &stop, std::chrono::steady_clock::time_point until);
    void queueProbe(const Row &row);
    void sortAndRefresh();

    Controls m_controls;
    std::chrono::milliseconds m_pacing{50};
    std::atomic<int> m_queued = 0;
    std::shared_ptr<Results> m_results;
    // Destroyed before the members above, which their threads use.
    QThreadPool m_pool;
    std::jthread m_feeder;
};

} // namespace latency
