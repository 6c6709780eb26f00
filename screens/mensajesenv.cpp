#include "screens/mensajesenv.h"

namespace replica::screens {

Tfmensajesenv::Tfmensajesenv(db::Connection& local, ErrorSink errors, QWidget* parent)
    : EventMonitor(QStringLiteral("Mensajes de error o advertencia del envio"), kErrorEventsSql,
                   QStringLiteral("Erroresreplica"), true, local, std::move(errors), parent) {}

}  // namespace replica::screens
