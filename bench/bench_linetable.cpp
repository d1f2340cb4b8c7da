// Times the line table with an area of 5000 lines: the area switch (records from the
// server-list document, model fill, view layout and paint), a sort by each column in both
// directions, and header clicks. Prints the median of repeated runs in milliseconds.

#include "catalogue/LineRecord.h"
#include "catalogue/ServerListDocument.h"
#include "latency/LineTableModel.h"
#include "latency/LineTableView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

namespace {

constexpr int Runs = 21;
constexpr int LargeArea = 5000;
constexpr int MediumArea = 2500;
const QString LargeAreaName = QStringLiteral("华东电信");
const QString MediumAreaName = QStringLiteral("华南联通");

// A document shaped like the back end's: a route section, one large area, one medium area
// and several small ones.
QString serverListText(std::mt19937 &random)
{
    std::uniform_int_distribution<int> octet(1, 254);
    std::uniform_int_distribution<int> rate(80, 100);
    std::bernoulli_distribution l2tp(0.6);
    const auto section = [&](const QString &name, int lines) {
        QString text = u'[' + name + QStringLiteral("]\r\n");
        for (int i = 0; i < lines; ++i) {
            text += QStringLiteral("%1线路%2=10.%3.%4.%5,%6%,%7\r\n")
                        .arg(name)
                        .arg(i + 1)
                        .arg(octet(random))
                        .arg(octet(random))
                        .arg(octet(random))
                        .arg(rate(random))
                        .arg(l2tp(random) ? 1 : 0);
        }
        return text;
    };
    QString text = QStringLiteral("[Route]\r\nr1=10.0.0.0,255.0.0.0\r\n");
    text += section(QStringLiteral("北京"), 12);
    text += section(LargeAreaName, LargeArea);
    text += section(QStringLiteral("香港"), 8);
    text += section(MediumAreaName, MediumArea);
    text += section(QStringLiteral("美国"), 20);
    return text;
}

// What an area switch does before the table sees anything: one record per key.
QList<catalogue::ps> areaRecords(const catalogue::ServerListDocument &document, const QString &area)
{
    QList<catalogue::ps> rows;
    for (const QString &key : document.keys(area)) {
        if (std::optional<catalogue::ps> record = catalogue::makeLineRecord(document, area, key))
            rows.append(std::move(*record));
    }
    return rows;
}

// Lets the view take the change in: delayed layout, then a synchronous paint.
void settle(latency::LineTableView &view)
{
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    view.viewport()->repaint();
}

double median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

double elapsedMs(const QElapsedTimer &timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// Median over Runs of the timed step; prepare runs untimed before each step.
double medianMs(const std::function<void()> &prepare, const std::function<void()> &step)
{
    std::vector<double> samples;
    for (int run = 0; run < Runs; ++run) {
        prepare();
        QElapsedTimer timer;
        timer.start();
        step();
        samples.push_back(elapsedMs(timer));
    }
    return median(samples);
}

void print(const char *what, double milliseconds)
{
    std::printf("%-52s %9.2f ms\n", what, milliseconds);
}

// Latencies as a finished batch test leaves them: mostly measured, some lines unanswered.
QList<catalogue::ps> withRandomDelays(QList<catalogue::ps> rows, std::mt19937 &random)
{
    std::uniform_int_distribution<int> milliseconds(1, 600);
    std::uniform_int_distribution<int> outcome(0, 9);
    for (catalogue::ps &row : rows) {
        const int kind = outcome(random);
        row.delay = kind == 0   ? QStringLiteral("NA")
                    : kind == 1 ? QStringLiteral("禁ping")
                                : QString::number(milliseconds(random));
    }
    std::shuffle(rows.begin(), rows.end(), random);
    return rows;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    std::mt19937 random(20240601);
    const auto nothing = [] {};

    const QString text = serverListText(random);
    catalogue::ServerListDocument document;
    const auto parse = [&] { document = catalogue::ServerListDocument::parse(text); };
    print("parse document (5000 + 2500 + small areas)", medianMs(nothing, parse));

    latency::LineTableModel model;
    latency::LineTableView view(&model);
    view.resize(400, 600);
    view.show();
    settle(view);

    QList<catalogue::ps> rows;
    const auto mediumRecords = [&] { rows = areaRecords(document, MediumAreaName); };
    const auto largeRecords = [&] { rows = areaRecords(document, LargeAreaName); };
    print("records for 2500 lines (keys + makeLineRecord)", medianMs(nothing, mediumRecords));
    print("records for 5000 lines (keys + makeLineRecord)", medianMs(nothing, largeRecords));

    const QStringList largeKeys = document.keys(LargeAreaName);
    qsizetype valueLength = 0; // used below, so the lookups cannot be optimised away
    const auto lookups = [&] {
        for (const QString &key : largeKeys)
            valueLength += document.value(LargeAreaName, key).size();
    };
    print("value() lookups alone for 5000 keys", medianMs(nothing, lookups));

    const auto clearTable = [&] { model.clear(); };
    const auto fill = [&] {
        model.setRows(rows);
        settle(view);
    };
    const auto areaSwitch = [&] {
        model.clear();
        model.setRows(areaRecords(document, LargeAreaName));
        settle(view);
    };
    print("fill model + view layout and paint, 5000 lines", medianMs(clearTable, fill));
    print("area switch, 5000 lines (all of the above)", medianMs(clearTable, areaSwitch));

    const QList<catalogue::ps> measured =
        withRandomDelays(areaRecords(document, LargeAreaName), random);
    const auto unsorted = [&] {
        model.setRows(measured);
        settle(view);
    };
    static const char *const ColumnNames[] = {"name", "delay", "online rate", "l2tp"};
    for (int column = 0; column < latency::LineTableModel::ColumnCount; ++column) {
        for (const bool ascending : {true, false}) {
            const auto sort = [&] {
                model.setSortState(column, ascending);
                model.sortRows();
                settle(view);
            };
            const QByteArray what = QByteArray("sort 5000 lines by ") + ColumnNames[column] +
                                    (ascending ? " ascending" : " descending");
            print(what.constData(), medianMs(unsorted, sort));
        }
    }

    // Rounds of header clicks, each column twice, through the view's own header signal.
    unsorted();
    std::vector<double> clicks;
    for (int run = 0; run < Runs; ++run) {
        for (int column = 0; column < latency::LineTableModel::ColumnCount; ++column) {
            for (int twice = 0; twice < 2; ++twice) {
                QElapsedTimer timer;
                timer.start();
                emit view.horizontalHeader()->sectionClicked(column);
                settle(view);
                clicks.push_back(elapsedMs(timer));
            }
        }
    }
    print("header click on 5000 lines (median of 8 per round)", median(clicks));
    return valueLength > 0 ? 0 : 1;
}
