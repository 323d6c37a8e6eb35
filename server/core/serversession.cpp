#include "serversession.h"

#include "server/core/devicetreemodel.h"
#include "server/core/log/loghandler.h"
#include "server/core/monitoring/pelluxmonitor.h"
#include "server/core/settings/serversettings.h"

ServerSession::ServerSession(std::unique_ptr<LogHandler> log, const QString &name, QObject *parent)
    : QObject(parent)
    , m_log(std::move(log))
    , m_model(std::make_unique<DeviceTreeModel>())
{
    setObjectName(name);
    const Qt::ConnectionType queued = Qt::QueuedConnection;
    connect(this, &ServerSession::infoSended, m_log.get(), &LogHandler::commonInfoSend, queued);
    connect(this, &ServerSession::errorSended, m_log.get(), &LogHandler::commonErrorSend, queued);
    connect(this, &ServerSession::warningSended, m_log.get(), &LogHandler::commonWarningSend, queued);
    m_model->setLog(m_log.get());
    m_model->setMinFreeBytes(ServerSettings::kDefaultMinFreeBytes);
    connect(m_model.get(), &DeviceTreeModel::infoSended, this, &ServerSession::infoSended);
    connect(m_model.get(), &DeviceTreeModel::errorSended, this, &ServerSession::errorSended);
    connect(m_model.get(), &DeviceTreeModel::warningSended, this, &ServerSession::warningSended);
}

ServerSession::~ServerSession()
{
    m_monitor.reset();
    m_model.reset();
}

PelluxMonitor *ServerSession::startMonitor(const QString &dataFolder)
{
    if (m_monitor)
        return m_monitor.get();
    m_monitor = std::make_unique<PelluxMonitor>(m_model.get(), dataFolder);
    m_monitor->wireLog(m_log.get());
    connect(m_monitor.get(), &PelluxMonitor::infoSended, this, &ServerSession::infoSended);
    connect(m_monitor.get(), &PelluxMonitor::errorSended, this, &ServerSession::errorSended);
    connect(m_monitor.get(), &PelluxMonitor::warningSended, this, &ServerSession::warningSended);
    return m_monitor.get();
}
