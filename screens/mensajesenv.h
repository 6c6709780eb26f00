#pragma once
// The error monitor "Mensajes de error o advertencia del envio"
// (`Tfmensajesenv`): the events of the local company database that are not
// replicated and carry an error text (an empty text counts), type 236 left
// out, with the error text as the last column. Given the company's download
// source, it also lists the failed events there addressed to this company
// (a download failure is recorded on the source's row), marked "Descarga"
// in the "Origen" column, and "Borrar" deletes them there.
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

    // Lists also the failed events of source addressed to company (an open
    // connection the caller keeps while the screen is open).
    void addDownloadSource(db::Connection& source, const std::string& company);

  protected:
    std::vector<EventSource> chooseSources() override;

  private:
    db::Connection* m_source = nullptr;
    std::string m_company;
};

// The download source's failed events addressed to company.
std::string failedDownloadSql(const std::string& company);

}  // namespace replica::screens
