#include "latency/TForm1.h"

#include "app/ClientState.h"
#include "app/MessageBoxes.h"
#include "app/Services.h"
#include "catalogue/ServerListDocument.h"
#include "platform/icmp/IcmpProber.h"
#include "util/IStrings.h"
#include "util/TextRoutines.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QListWidget>
#include <QPushButton>
#include <QScopedValueRollback>

#include <array>
#include <cerrno>
#include <memory>
#include <mutex>
#include <optional>

namespace latency {

namespace {

const QString NoLineValueText = QStringLiteral("发生错误，请关闭程序再重新运行");
const QString UnchosenLineMarker = QStringLiteral("选择服务器");
const QPoint OffsetFromMainWindow(300, 20);
constexpr int EchoDataBytes = 32;
constexpr std::chrono::milliseconds ReplyTimeout(1000);

// Where a probe's completion, on whatever thread, leaves the result for the series waiting
// on the GUI thread. The wait can end without it (quitting the application ends every
// event loop), so the completion reaches the loop only while the series still waits.
struct EchoHandOver
{
    std::mutex mutex;
    QEventLoop *wait = nullptr;
    std::optional<platform::EchoResult> result;
};

// The text before the first "," (the whole text when there is none).
QString firstPart(const QString &text)
{
    const auto strings = util::IStrings::create();
    strings->SetText(text);
    std::array<QString, 5> parts;
    strings->Split5(parts, QStringLiteral(","));
    return parts[0];
}

} // namespace

QString SpeedTestReplyLine(const QString &name, std::chrono::microseconds elapsed)
{
    const auto t = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    if (t >= ReplyTimeout.count())
        return QStringLiteral("Request timed out.");
    // Read as "name:  time<10 ms" for t = 0: the "<1" and the 0 run together.
    return QStringLiteral("%1:  time%2%3 ms")
        .arg(name, t == 0 ? QStringLiteral("<1") : QStringLiteral("="), QString::number(t));
}

TForm1::TForm1(QWidget *mainWindow, QComboBox *AreaTxt2, QComboBox *IPAddrTxt, QPushButton *cesu)
    : QWidget(mainWindow, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                              Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_mainWindow(mainWindow), m_AreaTxt2(AreaTxt2), m_IPAddrTxt(IPAddrTxt), m_cesu(cesu)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("速度测试"));
    setFixedSize(254, 205);

    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(4, 3, 245, 161);

    Button1 = new QPushButton(QStringLiteral("重新测速"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(88, 172, 75, 25);
    Button1->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
}

void TForm1::cesuClick()
{
    const QString line = m_IPAddrTxt->currentText();
    if (line.contains(UnchosenLineMarker, Qt::CaseInsensitive) ||
        util::trimBlanks(line).isEmpty()) {
        m_IPAddrTxt->setFocus();
        return;
    }

    QString value;
    if (const auto &serverList = app::client().ServerList)
        value = serverList->value(m_AreaTxt2->currentText(), line);
    if (value.isEmpty())
        app::ShowMessage(m_mainWindow, NoLineValueText);
    const QString host = firstPart(value);

    ListBox1->clear();
    move(m_mainWindow->pos() + OffsetFromMainWindow);
    show();

    m_cesu->setEnabled(false);
    runSeries(host.toStdString());
    m_cesu->setEnabled(true);
}

void TForm1::Button1Click()
{
    // A click during a ping waits for that ping, like input queued behind a blocking call,
    // so that a new series only ever starts between two requests of the running one.
    if (m_awaitingEcho) {
        ++m_deferredRetests;
        return;
    }
    ListBox1->clear();
    cesuClick();
}

void TForm1::runSeries(const std::string &host)
{
    for (int request = 0; request < RequestsPerSeries; ++request) {
        const platform::EchoResult result = sendEcho(host);
        using Outcome = platform::EchoResult::Outcome;
        if (result.outcome != Outcome::Reply && result.outcome != Outcome::Timeout)
            return;
        ICMPReply(result);
        QCoreApplication::processEvents();
    }
}

platform::EchoResult TForm1::sendEcho(const std::string &host)
{
    platform::EchoOptions options;
    options.dataSize = EchoDataBytes;
    options.timeout = ReplyTimeout;

    const auto handOver = std::make_shared<EchoHandOver>();
    {
        const QScopedValueRollback awaiting(m_awaitingEcho, true);
        QEventLoop wait;
        handOver->wait = &wait;
        app::services().icmp->probe(host, options, [handOver](const platform::EchoResult &result) {
            const std::scoped_lock lock(handOver->mutex);
            handOver->result = result;
            if (handOver->wait != nullptr)
                QMetaObject::invokeMethod(handOver->wait, &QEventLoop::quit, Qt::QueuedConnection);
        });
        wait.exec();
        const std::scoped_lock lock(handOver->mutex);
        handOver->wait = nullptr;
    }
    for (; m_deferredRetests > 0; --m_deferredRetests)
        QMetaObject::invokeMethod(this, &TForm1::Button1Click, Qt::QueuedConnection);
    const std::scoped_lock lock(handOver->mutex);
    if (handOver->result)
        return *handOver->result;
    platform::EchoResult cancelled;
    cancelled.error = ECANCELED;
    cancelled.reason = "the application is closing";
    return cancelled;
}

void TForm1::ICMPReply(const platform::EchoResult &result)
{
    const QString line = m_IPAddrTxt->currentText();
    if (line.isEmpty())
        app::ShowMessage(m_mainWindow, NoLineValueText);
    ListBox1->addItem(SpeedTestReplyLine(firstPart(line), result.elapsed));
}

} // namespace latency
