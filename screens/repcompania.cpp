#include "screens/repcompania.h"

namespace replica::screens {

namespace {

std::vector<GridField> companyFields() {
    using K = GridField::Kind;
    return {
        {QStringLiteral("Código"), "RPCO_COD", K::Text, 3},
        {QStringLiteral("Compañía"), "RPCP_NOMBRE", K::Text, 80, true},
        {QStringLiteral("Servidor"), "RPCO_SERVIDOR", K::Text, 60},
        {QStringLiteral("Activa"), "RPCO_ACTIVA", K::Check, 1},
    };
}

}  // namespace

Tfrepcompania::Tfrepcompania(db::Connection& local, ErrorSink errors, QWidget* parent)
    : SettingsEditor(QStringLiteral("Configuración compañías"), local, kRepCompaniaSql,
                     companyFields(), false, std::move(errors), parent) {
    load();
}

}  // namespace replica::screens
