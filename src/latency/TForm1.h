#pragma once

#include <QString>
#include <QWidget>

#include <chrono>
#include <string>

class QComboBox;
class QListWidget;
class QPushButton;

namespace platform {
struct EchoResult;
}

namespace latency {

// The text one echo adds to the speed-test list. Only the reply time, truncated to whole
// milliseconds, decides it: a timeout reports the time it waited, which is the full second.
QString SpeedTestReplyLine(const QString &name, std::chrono::microseconds elapsed);

// The speed-test window ("速度测试"): a short series of pings to the line chosen in the
// main window, one reply text per list line. The series runs on the GUI thread, which keeps
// processing events while a ping waits and between pings.
class TForm1 : public QWidget
{
    Q_OBJECT
public:
    static constexpr int RequestsPerSeries = 7;

    // The main window's area and line selectors name the line to test; its "单个测速"
    // button is locked while a series runs. The window starts hidden, owned by mainWindow.
    TForm1(QWidget *mainWindow, QComboBox *AreaTxt2, QComboBox *IPAddrTxt, QPushButton *cesu);

    // The "单个测速" command: shows the window next to the main window and runs a series.
    void cesuClick();
    // "重新测速": clears the list and runs a new series, inside a running one if need be.
    void Button1Click();

private:
    void runSeries(const std::string &host);
    platform::EchoResult sendEcho(const std::string &host);
    void ICMPReply(const platform::EchoResult &result);

    QWidget *m_mainWindow;
    QComboBox *m_AreaTxt2;
    QComboBox *m_IPAddrTxt;
    QPushButton *m_cesu;
    QListWidget *ListBox1 = nullptr;
    QPushButton *Button1 = nullptr;

    bool m_awaitingEcho = false;
    // "重新测速" clicks that came while an echo was awaited; each runs once the echo is in.
    int m_deferredRetests = 0;
};

} // namespace latency
