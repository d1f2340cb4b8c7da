#include "latency/PacingSchedule.h"

#include <QTest>

using latency::PacingSchedule;
using namespace std::chrono_literals;

namespace {

const PacingSchedule::Clock::time_point Start{1h};

} // namespace

class TestPacingSchedule : public QObject
{
    Q_OBJECT

private slots:
    void firstProbeIsDueAStepAfterTheStart();
    void lateWakeUp_data();
    void lateWakeUp();
    void smallLatenessDoesNotAddUp();
};

void TestPacingSchedule::firstProbeIsDueAStepAfterTheStart()
{
    const PacingSchedule schedule(50ms, Start);
    QCOMPARE(schedule.due(), Start + 50ms);
}

void TestPacingSchedule::lateWakeUp_data()
{
    QTest::addColumn<qint64>("lateUs");
    QTest::addColumn<qint64>("nextDueUs"); // after the first due time

    QTest::newRow("on time") << qint64(0) << qint64(50000);
    QTest::newRow("within the slack") << qint64(800) << qint64(50000);
    QTest::newRow("at the slack") << qint64(1000) << qint64(50000);
    QTest::newRow("beyond the slack") << qint64(1001) << qint64(51001);
    QTest::newRow("more than a step late") << qint64(70000) << qint64(120000);
}

void TestPacingSchedule::lateWakeUp()
{
    QFETCH(qint64, lateUs);
    QFETCH(qint64, nextDueUs);

    PacingSchedule schedule(50ms, Start);
    const auto firstDue = schedule.due();
    schedule.advance(firstDue + std::chrono::microseconds(lateUs));

    QCOMPARE(schedule.due(), firstDue + std::chrono::microseconds(nextDueUs));
}

void TestPacingSchedule::smallLatenessDoesNotAddUp()
{
    PacingSchedule schedule(50ms, Start);
    for (int step = 0; step < 1000; ++step)
        schedule.advance(schedule.due() + 300us);

    QCOMPARE(schedule.due(), Start + 1001 * 50ms);
}

QTEST_APPLESS_MAIN(TestPacingSchedule)
#include "tst_pacingschedule.moc"
