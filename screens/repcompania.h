#pragma once
// The editor "Configuración compañías" (`Tfrepcompania`) of REPLICA_COMPANIA:
// the companies that take part in replication and their servers.
//
// Columns "Código", "Compañía", "Servidor" and the check box "Activa"
// ("S"/"N"); RPCO_ERRO and SUCU_ID are read but not shown, and rows added
// here leave them null. Writes as every settings editor does (one apply on
// "Grabar").
//
// Opened modally by the main screen's "Compañías" button, a new instance per
// press:
//     Tfrepcompania screen(localConnection, errorSink, this);
//     screen.exec();

#include "screens/settingseditor.h"

namespace replica::screens {

inline constexpr const char* kRepCompaniaSql = "SELECT * FROM REPLICA_COMPANIA";

class Tfrepcompania : public SettingsEditor {
    Q_OBJECT

  public:
    // local: the main screen's local company connection. errors: where a
    // failure to read the table goes (empty: a message box).
    explicit Tfrepcompania(db::Connection& local, ErrorSink errors = {}, QWidget* parent = nullptr);
};

}  // namespace replica::screens
