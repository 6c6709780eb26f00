#pragma once
// Reading the ERP's CONFIGURACION settings.
//
// Two kinds of read: the fixed SELECT texts the run sends to the local
// database (and the lock date to the destination), which quietly yield ""
// when no row matches; and `configuracion`, the lookup by module, category
// and property on the server connection of a phase, which tells the
// operator through an error dialog when the setting is absent and then
// also yields "". Database failures are thrown (they end the run).

#include <string>
#include <vector>

#include "engine/db/connection.h"

namespace replica {

class Operator;

namespace settings {

// The properties holding the replication's user and password on the
// servers, as the lookups below and the status report name them.
inline constexpr const char* kServerUserProperty =
    "NOMBRE DE USUARIO PARA REPLICACION DE ARTICULOS";
inline constexpr const char* kServerPasswordProperty =
    "CLAVE DE USUARIO PARA REPLICACION DE ARTICULOS";
inline constexpr const char* kServerUserSql =
    "select conf_valor from configuracion where conf_modulo = 'INVENTARIO' and conf_categoria = "
    "'ARTICULOS' and conf_propiedad = 'NOMBRE DE USUARIO PARA REPLICACION DE ARTICULOS'";
inline constexpr const char* kServerPasswordSql =
    "select conf_valor from configuracion where conf_modulo = 'INVENTARIO' and conf_categoria = "
    "'ARTICULOS' and conf_propiedad = 'CLAVE DE USUARIO PARA REPLICACION DE ARTICULOS'";

// The first column of the first row of sql as text, "" when it returns no
// row. Throws db::Error when the database refuses the text.
std::string firstValue(db::Connection& conn, const std::string& sql);

// The SELECT text of the lookup, the three texts placed between the quotes
// (callers pass fixed texts without quotes; a quote would be doubled).
std::string lookupSql(const std::string& module, const std::string& category,
                      const std::string& property);

}  // namespace settings

// The main screen's settings lookup on conn (the server connection of the
// phase). An absent setting shows "No se encontró la configuración " +
// property through op.errorMessage and yields "".
std::string configuracion(db::Connection& conn, Operator& op, const std::string& module,
                          const std::string& category, const std::string& property);

// When a run reads a setting that families declared.
enum class ReadAt {
    // As the download phase starts, from the local database; "" when absent.
    DownloadStart,
    // Once each destination is connected, from it, by the lookup
    // (configuracion: an absent setting tells the operator).
    UploadConnected,
    // Once a destination's events are selected, from it; "" when absent.
    UploadSelected,
};

// A CONFIGURACION setting that some family reads once per phase (a run
// option): the run reads every declared one at its moments, in the order
// declared, and the handlers see the value through RunOptions::setting.
struct RunSetting {
    const char* name = nullptr;  // the key of RunOptions
    const char* module = nullptr;
    const char* category = nullptr;
    const char* property = nullptr;
    std::vector<ReadAt> readAt{};
    // The SELECT sent where it is not settings::lookupSql's, spelled as the
    // ERP sends it.
    const char* spelled = nullptr;
    // A run that does not reach a moment of it keeps the previous run's
    // value; otherwise every run starts with it empty.
    bool keptBetweenRuns = false;
};

// The text a declared setting is read with, outside the lookup.
std::string settingSql(const RunSetting& s);

}  // namespace replica
