#pragma once
// The editor "Configuración documentos" (`Tfrepdocs`) of
// REPLICACION_CONFIGURA: which document type and prefix the ERP replicates
// to which company. The replication run itself never reads it.
//
// Columns "Tipo documento" (the short name of REPC_TIPO in TIPO_DOCUMENTO,
// chosen from a list that writes the type's code; empty when the code has
// no row), "Prefijo", "Replica" and "Compañía". The grid sorts by its titles,
// searches as the operator types and has a find dialog (Ctrl+F). Writes as
// every settings editor does (one apply on "Grabar").
//
// Opened modally by the main screen's "Conf. Documentos" button, a new
// instance per press:
//     Tfrepdocs screen(localConnection, errorSink, this);
//     screen.exec();

#include "screens/settingseditor.h"

namespace replica::screens {

inline constexpr const char* kRepDocsSql = "SELECT * FROM REPLICACION_CONFIGURA";

class Tfrepdocs : public SettingsEditor {
    Q_OBJECT

  public:
    explicit Tfrepdocs(db::Connection& local, ErrorSink errors = {}, QWidget* parent = nullptr);
};

}  // namespace replica::screens
