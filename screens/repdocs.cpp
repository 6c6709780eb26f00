#include "screens/repdocs.h"

#include "engine/db/error.h"

namespace replica::screens {

namespace {

std::vector<GridField> documentFields() {
    using K = GridField::Kind;
    return {
        {QStringLiteral("Tipo documento"), "REPC_TIPO", K::Lookup, 0, true},
        {QStringLiteral("Prefijo"), "REPC_PREF", K::Text, 4},
        {QStringLiteral("Replica"), "REPC_REPLICA", K::Text, 1},
        {QStringLiteral("Compañía"), "REPC_COMPANIA", K::Text, 3},
    };
}

}  // namespace

Tfrepdocs::Tfrepdocs(db::Connection& local, ErrorSink errors, QWidget* parent)
    : SettingsEditor(QStringLiteral("Configuración documentos"), local, kRepDocsSql,
                     documentFields(), true, std::move(errors), parent) {
    // The type list first: the grid names its types from it.
    try {
        model()->setLookup(loadDocumentTypes(local));
    } catch (const db::Error& e) {
        report(e.message());
    }
    load();
}

}  // namespace replica::screens
