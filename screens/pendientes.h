#pragma once
// The pending monitor "Documentos pendientes por transmitir"
// (`Tfpendientes`): the events that are not replicated and carry no error
// text, type 236 left out, in id order.
//
// In upload mode (the main screen's "Pendiente envio") the list and
// "Borrar" use the local company database; in download mode ("Pendiente
// descarga") they use the server connection given (the company's download
// source), and list only the events addressed to the local company: what
// its download phase takes, never another company's events. The type names
// always come from the local company database.
//
// Opened modally, a new instance per press:
//     Tfpendientes screen(localConnection, serverConnection, upload, "001", errorSink, this);
//     screen.exec();

#include "screens/eventmonitor.h"

namespace replica::screens {

inline constexpr const char* kPendingEventsSql =
    "select * from replica_eventos r WHERE (rpev_tipo <> 236) and R.rpev_fecrep IS NULL and "
    "r.rpev_error is null order by rpev_id";

// The download list: the pending events of the server addressed to company.
std::string pendingDownloadSql(const std::string& company);

class Tfpendientes : public EventMonitor {
    Q_OBJECT

  public:
    // upload: true for "Pendiente envio" (local events), false for
    // "Pendiente descarga" (server events). company: the local company's
    // code, the only one whose events the download list shows.
    Tfpendientes(db::Connection& local, db::Connection& server, bool upload, std::string company,
                 ErrorSink errors = {}, QWidget* parent = nullptr);

    bool uploadMode() const { return m_upload; }

  protected:
    std::vector<EventSource> chooseSources() override;

  private:
    db::Connection& m_localDb;
    db::Connection& m_server;
    bool m_upload;
    std::string m_company;
};

}  // namespace replica::screens
