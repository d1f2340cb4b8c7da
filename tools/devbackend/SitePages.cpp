#include "devbackend/SitePages.h"

#include <QHash>

namespace devbackend::sitepages {

namespace {

QString page(const QString &title, const QString &body)
{
    return QStringLiteral("<html><head>"
                          "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=GBK\">"
                          "<title>%1</title></head>"
                          "<body style=\"margin:0;font-family:sans-serif\">%2</body></html>")
        .arg(title, body);
}

// A coloured strip that fills a pane of the given height without scrolling.
QString banner(const QString &title, const QString &slogan, const QString &colour, int height)
{
    return page(title, QStringLiteral("<div style=\"height:%3px;overflow:hidden;background:%1;"
                                      "color:white;text-align:center\"><h2 style=\"margin:0;"
                                      "padding-top:%4px\">Taverin网络加速器</h2>"
                                      "<p style=\"margin:2px\">%2</p></div>")
                           .arg(colour, slogan)
                           .arg(height)
                           .arg(height / 6));
}

QHash<QString, QString> makePages()
{
    const QString newsItems =
        QStringLiteral("<ul style=\"font-size:12px\">"
                       "<li><a href=\"/news/\" target=\"_blank\">新增华南线路三条</a></li>"
                       "<li><a href=\"/news/\" target=\"_blank\">客户端6.0版发布</a></li>"
                       "<li><a href=\"/news/\" target=\"_blank\">充值卡优惠活动</a></li>"
                       "</ul>");
    return {
        {QStringLiteral("/taverinclient/top.htm"),
         banner(QStringLiteral("登录"), QStringLiteral("欢迎使用，稳定高速的网络加速"),
                QStringLiteral("#1e5aa8"), 102)},
        {QStringLiteral("/taverinclient/maintop.htm"),
         banner(QStringLiteral("公告"), QStringLiteral("本地开发后台：所有线路均为本机地址"),
                QStringLiteral("#2b7a3d"), 75)},
        {QStringLiteral("/softnews.asp"), page(QStringLiteral("软件新闻"), newsItems)},
        {QStringLiteral("/pay.asp"),
         page(QStringLiteral("购买"), QStringLiteral("<h3>购买充值卡</h3><p>月卡 30 天。</p>"))},
        {QStringLiteral("/"),
         page(QStringLiteral("首页"), QStringLiteral("<h3>Taverin网络加速器</h3>"))},
        {QStringLiteral("/help/"),
         page(QStringLiteral("帮助"),
              QStringLiteral("<h3>使用帮助</h3><p>先登录，再选择线路。</p>"))},
        {QStringLiteral("/news/"), page(QStringLiteral("新闻"), newsItems)},
        {QStringLiteral("/contact.html"),
         page(QStringLiteral("联系我们"), QStringLiteral("<h3>联系客服</h3><p>客服QQ：10000</p>"))},
        {QStringLiteral("/sysadmin/useradmin/"),
         page(QStringLiteral("用户管理"), QStringLiteral("<h3>用户管理</h3>"))},
    };
}

} // namespace

std::optional<QString> find(const QString &path)
{
    static const QHash<QString, QString> pages = makePages();
    const auto found = pages.constFind(path);
    if (found == pages.constEnd())
        return std::nullopt;
    return *found;
}

} // namespace devbackend::sitepages
