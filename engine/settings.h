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

#include "engine/db/connection.h"

namespace replica {

class Operator;

namespace settings {

inline constexpr const char* kPurchaseInvoiceModeSql =
    "select conf_valor from configuracion where conf_modulo = 'COMPRAS' and conf_categoria = "
    "'FACTURAS' and conf_propiedad = 'ENVIAR FACTURA DE COMPRA COMO ENTRADA O COMO FACTURA'";
inline constexpr const char* kSalesInvoiceModeSql =
    "select conf_valor from configuracion where conf_modulo = 'FACTURACION' and conf_categoria = "
    "'FACTURAS' and conf_propiedad = 'ENVIAR FACTURA DE VENTA COMO ENTRADA O COMO FACTURA'";
inline constexpr const char* kTransferAsEntrySql =
    "select conf_valor from configuracion where conf_modulo = 'INVENTARIO' and conf_categoria = "
    "'TRASLADOS' and conf_propiedad = 'REPLICAR TRASLADO COMO ENTRADA EN COMPANIA ASOCIADA A "
    "BODEGA DE DESTINO'";
inline constexpr const char* kLockDateSql =
    "select CONF_VALOR from CONFIGURACION where CONF_MODULO = 'CONTABILIDAD' and CONF_CATEGORIA "
    "= 'GENERAL' and CONF_PROPIEDAD = 'FECHA DE BLOQUEO'";
inline constexpr const char* kServerUserSql =
    "select conf_valor from configuracion where conf_modulo = 'INVENTARIO' and conf_categoria = "
    "'ARTICULOS' and conf_propiedad = 'NOMBRE DE USUARIO PARA REPLICACION DE ARTICULOS'";
inline constexpr const char* kServerPasswordSql =
    "select conf_valor from configuracion where conf_modulo = 'INVENTARIO' and conf_categoria = "
    "'ARTICULOS' and conf_propiedad = 'CLAVE DE USUARIO PARA REPLICACION DE ARTICULOS'";

// The lookup's module, category and property for the purchase invoice mode
// of a destination.
inline constexpr const char* kPurchaseModule = "COMPRAS";
inline constexpr const char* kPurchaseCategory = "FACTURAS";
inline constexpr const char* kPurchaseProperty =
    "ENVIAR FACTURA DE COMPRA COMO ENTRADA O COMO FACTURA";

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

}  // namespace replica
