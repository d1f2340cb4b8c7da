#include "catalogue/AreaSelection.h"

#include "app/ClientState.h"
#include "app/MessageBoxes.h"
#include "app/Services.h"
#include "catalogue/LineRecord.h"
#include "latency/LineTableModel.h"
#include "login/BackendRequests.h"
#include "platform/settings/SettingsStore.h"
#include "util/IStrings.h"

#include <QComboBox>
#include <QCoreApplication>

namespace catalogue {

namespace {

const std::u16string SelectionKey = u"SOFTWARE\\zavazizud";

const ServerListDocument &currentDocument()
{
    static const ServerListDocument empty;
    const auto &document = app::client().ServerList;
    return document ? *document : empty;
}

QString rememberedValue(const std::u16string &name)
{
    const std::optional<platform::RegistryValue> value = app::services().settings->readValue(
        platform::RegistryRoot::LocalMachine, SelectionKey, name);
    if (!value || value->type != platform::ValueType::String)
        return {};
    return QString::fromStdU16String(value->text);
}

// An index remembered at the last close; one that is missing, "-1", not a number or
// beyond the current list selects the first item.
int rememberedIndex(const QString &text, int count)
{
    if (count == 0)
        return -1;
    bool isNumber = false;
    const int index = text.toInt(&isNumber);
    return isNumber && index >= 0 && index < count ? index : 0;
}

} // namespace

AreaSelection::AreaSelection(const Controls &controls) : m_controls(controls) {}

void AreaSelection::LoadAreaSelectors()
{
    const ServerListDocument &document = currentDocument();
    const QStringList names = document.sectionNames();
    for (QComboBox *selector : {m_controls.AreaTxt2, m_controls.AreaTxt}) {
        selector->clear();
        selector->addItems(names);
        selector->setCurrentIndex(-1);
    }
    fillLineSelector(m_controls.AreaTxt->currentText());

    _zz = _XZ = nullptr;
    m_bar.clear();
    for (const QString &name : names) {
        if (isReservedRouteSection(name))
            continue;
        AreaBarItem *item = m_bar.add(name);
        if (name == names.first())
            _zz = _XZ = item;
    }

    platform::SettingsStore &store = *app::services().settings;
    if (!store.keyExists(platform::RegistryRoot::LocalMachine, SelectionKey))
        store.createKey(platform::RegistryRoot::LocalMachine, SelectionKey);
    const int area = rememberedIndex(rememberedValue(u"AREACombobox2"), int(names.size()));
    m_controls.AreaTxt->setCurrentIndex(area);
    fillLineSelector(m_controls.AreaTxt->currentText());
    m_controls.AreaTxt2->setCurrentIndex(area);
    fillLineSelector(m_controls.AreaTxt2->currentText());
    m_controls.IPAddrTxt->setCurrentIndex(
        rememberedIndex(rememberedValue(u"IPCombobox2"), m_controls.IPAddrTxt->count()));

    if (area >= 0)
        _zz = _XZ = m_bar.add(m_controls.AreaTxt2->itemText(area));
    m_controls.com_game->clear();
}

void AreaSelection::AreaItemClick(AreaBarItem *item)
{
    if (app::BatchTestRunning()) {
        app::ShowInformation(m_controls.window, QStringLiteral("请先关闭Ping测试"));
        return;
    }
    unhighlightSelected();
    item->highlighted = true;
    _XZ = item;
    fillTable(item->caption);
}

void AreaSelection::AreaTxt2Change()
{
    if (app::BatchTestRunning()) {
        app::ShowInformation(m_controls.window, QStringLiteral("请先关闭测速"));
        return;
    }
    unhighlightSelected();
    const QString area = m_controls.AreaTxt2->currentText();
    fillTable(area);
    if (currentDocument().entries(area).isEmpty()) {
        m_controls.IPAddrTxt->clear();
        return;
    }
    fillLineSelector(area);
    m_controls.IPAddrTxt->setCurrentIndex(0);
}

void AreaSelection::AreaTxtChange()
{
    fillLineSelector(m_controls.AreaTxt->currentText());
    m_controls.IPAddrTxt->setCurrentIndex(0);
}

void AreaSelection::N14Click()
{
    auto fetch = util::IStrings::create();
    QString text;
    fetch->HttpGet(login::serverListUrl(app::client().MasterHost), true, text);
    QCoreApplication::processEvents();
    if (text.isEmpty()) {
        app::ShowMessage(m_controls.window, QStringLiteral("无法更新服务器列表，请稍后再试"));
        return;
    }
    app::client().ServerList =
        std::make_shared<const ServerListDocument>(ServerListDocument::parse(text));
    LoadAreaSelectors();
    AreaTxt2Change();
}

void AreaSelection::fillLineSelector(const QString &area)
{
    m_controls.IPAddrTxt->clear();
    m_controls.IPAddrTxt->addItems(currentDocument().keys(area));
    m_controls.IPAddrTxt->setCurrentIndex(-1);
}

void AreaSelection::fillTable(const QString &area)
{
    const ServerListDocument &document = currentDocument();
    QList<ps> rows;
    for (const QString &key : document.keys(area)) {
        if (std::optional<ps> record = makeLineRecord(document, area, key))
            rows.append(std::move(*record));
    }
    m_controls.lines->setRows(std::move(rows));
}

void AreaSelection::unhighlightSelected()
{
    if (_XZ)
        _XZ->highlighted = false;
}

} // namespace catalogue
