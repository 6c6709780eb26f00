#pragma once
// The error monitor "Mensajes de error o advertencia del envio"
// (`Tfmensajesenv`): the events of the local company database that are not
// replicated and carry an error text (an empty text counts), type 236 left
// out, with the error text as the last column.
//
// Opened modally by the main screen's "Mensajes error" button, a new
// instance per press:
//     Tfmensajesenv screen(localConnection, errorSink, this);
//     screen.exec();

#include "screens/eventmonitor.h"

namespace replica::screens {

inline constexpr const char* kErrorEventsSql =
    "select * from replica_eventos r WHERE (rpev_tipo <> 236) and R.rpev_fecrep IS NULL and "
    "r.rpev_error is not null";

class Tfmensajesenv : public EventMonitor {
    Q_OBJECT

  public:
    // local: the main screen's local company connection, used for the list,
    // the type names and "Borrar". errors: the application's handling of
    // database errors (empty: a message box).
    explicit Tfmensajesenv(db::Connection& local, ErrorSink errors = {}, QWidget* parent = nullptr);
};

}  // namespace replica::screens
