#pragma once
// The pending monitor "Documentos pendientes por transmitir"
// (`Tfpendientes`): the events that are not replicated and carry no error
// text, type 236 left out, in id order.
//
// In upload mode (the main screen's "Pendiente envio") the list and
// "Borrar" use the local company database; in download mode ("Pendiente
// descarga") they use the main screen's server connection, with whatever
// server database it is set to when the screen is activated (a closed
// connection is opened with its current settings). The type names always
// come from the local company database.
//
// Opened modally, a new instance per press:
//     Tfpendientes screen(localConnection, serverConnection, upload, errorSink, this);
//     screen.exec();

#include "screens/eventmonitor.h"

namespace replica::screens {

inline constexpr const char* kPendingEventsSql =
    "select * from replica_eventos r WHERE (rpev_tipo <> 236) and R.rpev_fecrep IS NULL and "
    "r.rpev_error is null order by rpev_id";

class Tfpendientes : public EventMonitor {
    Q_OBJECT

  public:
    // upload: true for "Pendiente envio" (local events), false for
    // "Pendiente descarga" (server events).
    Tfpendientes(db::Connection& local, db::Connection& server, bool upload, ErrorSink errors = {},
                 QWidget* parent = nullptr);

    bool uploadMode() const { return m_upload; }

  protected:
    db::Connection& chooseDatabase() override { return m_upload ? m_localDb : m_server; }

  private:
    db::Connection& m_localDb;
    db::Connection& m_server;
    bool m_upload;
};

}  // namespace replica::screens
