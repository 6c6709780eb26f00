#include "screens/pendientes.h"

#include "engine/sql.h"

namespace replica::screens {

std::string pendingDownloadSql(const std::string& company) {
    return "select * from replica_eventos r WHERE (rpev_tipo <> 236) and R.rpev_fecrep IS NULL and "
           "r.rpev_error is null and r.rpev_compania = " +
           Q(company) + " order by rpev_id";
}

Tfpendientes::Tfpendientes(db::Connection& local, db::Connection& server, bool upload,
                           std::string company, ErrorSink errors, QWidget* parent)
    : EventMonitor(QStringLiteral("Documentos pendientes por transmitir"),
                   upload ? std::string(kPendingEventsSql) : pendingDownloadSql(company),
                   QStringLiteral("Pendientesreplica"), false, local, std::move(errors), parent),
      m_localDb(local),
      m_server(server),
      m_upload(upload),
      m_company(std::move(company)) {
    // Both lists share the caption; the button that opened it tells them
    // apart.
    setWindowTitle(windowTitle() + (upload ? QStringLiteral(" - Pendiente envio")
                                           : QStringLiteral(" - Pendiente descarga")));
}

std::vector<EventSource> Tfpendientes::chooseSources() {
    if (m_upload) {
        return EventMonitor::chooseSources();
    }
    return {{&m_server, listSql(), QStringLiteral("Descarga")}};
}

}  // namespace replica::screens
