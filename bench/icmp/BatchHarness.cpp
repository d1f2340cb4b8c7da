#include "icmp/BatchHarness.h"

#include "app/ClientState.h"
#include "latency/BatchLatencyTest.h"
#include "latency/LineTableModel.h"
#include "latency/LineTableView.h"

#include <QElapsedTimer>
#include <QEventLoop>

namespace bench {

BatchHarness::BatchHarness(const std::vector<std::string> &hosts, std::chrono::milliseconds pacing)
    : m_button(new QPushButton(QStringLiteral("批量测速"), &m_window)),
      m_lines(new QComboBox(&m_window)), m_timer1(new QTimer(&m_window)),
      m_info(new QLabel(&m_window)), m_model(new latency::LineTableModel(&m_window)),
      m_view(new latency::LineTableView(m_model, &m_window))
{
    m_lines->addItem(QStringLiteral("线路1"));
    m_timer1->setInterval(2000);
    QList<catalogue::ps> rows;
    rows.reserve(qsizetype(hosts.size()));
    for (std::size_t index = 0; index < hosts.size(); ++index) {
        catalogue::ps record;
        record.name = QStringLiteral("线路%1").arg(index + 1);
        record.ip = QString::fromStdString(hosts[index]);
        record.delay = QStringLiteral("NA");
        record.onlinerate = QStringLiteral("99%");
        record.l2tpstatus = catalogue::L2tpSupported;
        rows.append(record);
    }
    m_model->setRows(std::move(rows));
    m_test = std::make_unique<latency::BatchLatencyTest>(
        latency::BatchLatencyTest::Controls{m_button, m_lines, m_timer1, m_info, m_model, m_view});
    m_test->setPacing(pacing);
    QObject::connect(m_timer1, &QTimer::timeout, m_timer1, [this] { m_test->Timer1Timer(); });
}

BatchHarness::~BatchHarness()
{
    app::BatchTestRunning() = false;
    m_test->stopFeeder();
    m_timer1->stop();
}

void BatchHarness::toggle()
{
    m_test->btn_speedClick();
}

void BatchHarness::showTable()
{
    m_view->resize(400, 600);
    m_window.resize(420, 620);
    m_window.show();
}

bool runEventsUntil(const std::function<bool()> &done, std::chrono::milliseconds patience)
{
    QEventLoop loop;
    QTimer check;
    QElapsedTimer waited;
    waited.start();
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done() || waited.elapsed() >= patience.count())
            loop.quit();
    });
    check.start(5);
    if (!done())
        loop.exec();
    return done();
}

} // namespace bench
