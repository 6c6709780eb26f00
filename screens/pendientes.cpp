#include "screens/pendientes.h"

namespace replica::screens {

Tfpendientes::Tfpendientes(db::Connection& local, db::Connection& server, bool upload,
                           ErrorSink errors, QWidget* parent)
    : EventMonitor(QStringLiteral("Documentos pendientes por transmitir"), kPendingEventsSql,
                   QStringLiteral("Pendientesreplica"), false, local, std::move(errors), parent),
      m_localDb(local),
      m_server(server),
      m_upload(upload) {
    // Both lists share the caption; the button that opened it tells them
    // apart.
    setWindowTitle(windowTitle() + (upload ? QStringLiteral(" - Pendiente envio")
                                           : QStringLiteral(" - Pendiente descarga")));
}

}  // namespace replica::screens
