#include "screens/mensajesenv.h"

#include "engine/sql.h"

namespace replica::screens {

std::string failedDownloadSql(const std::string& company) {
    return std::string(kErrorEventsSql) + " and r.rpev_compania = " + Q(company);
}

Tfmensajesenv::Tfmensajesenv(db::Connection& local, ErrorSink errors, QWidget* parent)
    : EventMonitor(QStringLiteral("Mensajes de error o advertencia del envio"), kErrorEventsSql,
                   QStringLiteral("Erroresreplica"), true, local, std::move(errors), parent) {}

void Tfmensajesenv::addDownloadSource(db::Connection& source, const std::string& company) {
    m_source = &source;
    m_company = company;
}

std::vector<EventSource> Tfmensajesenv::chooseSources() {
    std::vector<EventSource> sources = EventMonitor::chooseSources();
    if (m_source) {
        sources.push_back({m_source, failedDownloadSql(m_company), QStringLiteral("Descarga")});
    }
    return sources;
}

}  // namespace replica::screens
