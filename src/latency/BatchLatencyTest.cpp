#include "latency/BatchLatencyTest.h"

#include "app/ClientState.h"
#include "app/Services.h"
#include "latency/LineTableModel.h"
#include "latency/LineTableView.h"
#include "latency/PacingSchedule.h"
#include "util/TextRoutines.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <condition_variable>
#include <future>
#include <mutex>

namespace latency {

namespace {

const QString StartCaption = QStringLiteral("批量测速");
const QString PauseCaption = QStringLiteral("暂停测速");

platform::EchoOptions probeOptions()
{
    platform::EchoOptions options;
    options.dataSize = 56;
    options.ttl = 64;
    options.timeout = std::chrono::milliseconds(4000);
    return options;
}

} // namespace

QString DelayText(const platform::EchoResult &result)
{
    if (result.outcome != platform::EchoResult::Outcome::Reply)
        return QStringLiteral("禁ping");
    const qint64 milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(result.elapsed).count();
    return QString::number(9 * milliseconds / 10);
}

// Takes results from the prober's thread to the GUI thread. It outlives the test while
// probes are in flight and is deleted on the GUI thread, so a late result is dropped
// rather than written into a table that is gone.
class BatchLatencyTest::Results : public QObject
{
public:
    explicit Results(LineTableModel *model) : m_model(model) {}

    // The test is going: results already on their way to the GUI thread, which would run
    // before the deferred deletion, must find no table.
    void close() { m_model = nullptr; }

    void deliver(quint64 key, const platform::EchoResult &result)
    {
        QMetaObject::invokeMethod(
            this, [this, key, result] { write(key, result); }, Qt::QueuedConnection);
    }

private:
    void write(quint64 key, const platform::EchoResult &result)
    {
        // A result of a test that has been paused changes nothing, and a probe that could
        // not be made at all leaves the row as it was; a host that cannot be reached is
        // one that does not answer.
        if (m_model == nullptr || !app::BatchTestRunning() ||
            result.outcome == platform::EchoResult::Outcome::Failure)
            return;
        m_model->recordProbeResult(key, DelayText(result),
                                   result.outcome != platform::EchoResult::Outcome::Reply);
    }

    LineTableModel *m_model;
};

BatchLatencyTest::BatchLatencyTest(const Controls &controls, QObject *parent)
    : QObject(parent), m_controls(controls),
      m_results(new Results(controls.model), [](Results *results) { results->deleteLater(); })
{
    m_pool.setMaxThreadCount(40);
}

BatchLatencyTest::~BatchLatencyTest()
{
    m_results->close();
    m_feeder = {};
    m_pool.clear();
}

void BatchLatencyTest::btn_speedClick()
{
    if (util::trimBlanks(m_controls.IPAddrTxt->currentText()).isEmpty()) {
        m_controls.IPAddrTxt->setFocus();
        return;
    }
    if (m_controls.btn_speed->text() == PauseCaption) {
        app::BatchTestRunning() = false;
        m_controls.btn_speed->setText(StartCaption);
        m_controls.model->sortRows();
        m_controls.vt1->viewport()->update();
        stopFeeder();
        m_controls.Timer1->stop();
        return;
    }
    m_controls.model->setSortState(LineTableModel::DelayColumn, true);
    app::BatchTestRunning() = true;
    startFeeder();
    m_controls.btn_speed->setText(PauseCaption);
    m_controls.Timer1->start();
}

void BatchLatencyTest::Timer1Timer()
{
    sortAndRefresh();
}

void BatchLatencyTest::sortAndRefresh()
{
    m_controls.model->sortRows();
    RefreshLineTable();
}

void BatchLatencyTest::RefreshLineTable()
{
    m_controls.lbl_info->setText(
        m_controls.vt1->RefreshLineTable(m_queued.load(), m_pool.activeThreadCount()));
}

void BatchLatencyTest::stopFeeder()
{
    m_feeder.request_stop();
}

// A feeder that is still winding down is waited for (at most one pacing step), so a quick
// pause and start never leaves the test without a feeder.
void BatchLatencyTest::startFeeder()
{
    m_feeder = {};
    m_feeder = std::jthread([this](std::stop_token stop) { feed(stop); });
}

void BatchLatencyTest::feed(const std::stop_token &stop)
{
    // One schedule across passes: fetching the next pass's rows from the GUI thread takes
    // place within the wait for its first probe instead of stretching that step.
    PacingSchedule schedule(m_pacing, PacingSchedule::Clock::now());
    const auto waitForStep = [&] {
        if (!app::BatchTestRunning() || !pauseUntil(stop, schedule.due()))
            return false;
        schedule.advance(PacingSchedule::Clock::now());
        return true;
    };
    for (;;) {
        std::optional<std::vector<Row>> rows = rowsInDisplayOrder(stop);
        if (!rows)
            break;
        bool running = true;
        for (const Row &row : *rows) {
            if (!waitForStep()) {
                running = false;
                break;
            }
            queueProbe(row);
        }
        // An empty table still makes passes, one pacing step apart.
        if (!running || (rows->empty() && !waitForStep()) || !app::BatchTestRunning())
            break;
        QMetaObject::invokeMethod(
            this, [this] { sortAndRefresh(); }, Qt::QueuedConnection);
    }
    QMetaObject::invokeMethod(
        this, [this] { m_controls.lbl_info->setText(QStringLiteral("PNA/PNA")); },
        Qt::QueuedConnection);
}

// Sorting during a pass moves rows around, so each pass works on the order the table
// had when it began.
std::optional<std::vector<BatchLatencyTest::Row>>
BatchLatencyTest::rowsInDisplayOrder(const std::stop_token &stop)
{
    auto promise = std::make_shared<std::promise<std::vector<Row>>>();
    std::future<std::vector<Row>> rows = promise->get_future();
    QMetaObject::invokeMethod(
        this,
        [this, promise] {
            std::vector<Row> snapshot;
            const QList<quint64> keys = m_controls.model->rowKeys();
            snapshot.reserve(keys.size());
            for (qsizetype row = 0; row < keys.size(); ++row)
                snapshot.push_back(
                    {keys.at(row), m_controls.model->record(int(row)).ip.toStdString()});
            promise->set_value(std::move(snapshot));
        },
        Qt::QueuedConnection);
    while (rows.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
        if (stop.stop_requested() || !app::BatchTestRunning())
            return std::nullopt;
    }
    return rows.get();
}

bool BatchLatencyTest::pauseUntil(const std::stop_token &stop,
                                  std::chrono::steady_clock::time_point until)
{
    std::mutex mutex;
    std::condition_variable_any woken;
    std::unique_lock lock(mutex);
    woken.wait_until(lock, stop, until, [] { return false; });
    return !stop.stop_requested();
}

void BatchLatencyTest::queueProbe(const Row &row)
{
    ++m_queued;
    std::weak_ptr<Results> results = m_results;
    platform::IcmpProber *prober = app::services().icmp;
    m_pool.start([this, prober, row, results] {
        --m_queued;
        prober->probe(row.host, probeOptions(),
                      [results, key = row.key](const platform::EchoResult &result) {
                          if (const std::shared_ptr<Results> sink = results.lock())
                              sink->deliver(key, result);
                      });
    });
}

} // namespace latency
