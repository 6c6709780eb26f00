#pragma once
// The ERP settings the families read once per phase, and what each means to
// them. The run reads them at their moments, in the order declared here (the
// order the ERP's own agent always read them); the families ask for their
// meaning through the functions below, never for the raw text.

#include <string>

#include "engine/catalogue.h"
#include "engine/settings.h"

namespace replica::families {

// Purchase invoices (and returns) travel as themselves when "FACTURA",
// otherwise as inventory movements: read from the local database for the
// download phase and from each destination for its upload.
inline const RunSetting kPurchaseInvoiceMode{
    .name = "purchaseInvoiceMode",
    .module = "COMPRAS",
    .category = "FACTURAS",
    .property = "ENVIAR FACTURA DE COMPRA COMO ENTRADA O COMO FACTURA",
    .readAt = {ReadAt::DownloadStart, ReadAt::UploadConnected},
    .keptBetweenRuns = true};
// Downloaded sales invoices are stored as invoices when "FACTURA",
// otherwise as inventory exits; false when the download phase does not
// read it.
inline const RunSetting kSalesInvoiceMode{
    .name = "salesInvoiceMode",
    .module = "FACTURACION",
    .category = "FACTURAS",
    .property = "ENVIAR FACTURA DE VENTA COMO ENTRADA O COMO FACTURA",
    .readAt = {ReadAt::DownloadStart}};
// Transfers are replicated as entries when "SI"; kept from the previous run
// when the download phase does not read it.
inline const RunSetting kTransferAsEntry{
    .name = "transferAsEntry",
    .module = "INVENTARIO",
    .category = "TRASLADOS",
    .property = "REPLICAR TRASLADO COMO ENTRADA EN COMPANIA ASOCIADA A BODEGA DE DESTINO",
    .readAt = {ReadAt::DownloadStart},
    .keptBetweenRuns = true};
// The destination's accounting lock date, as text; empty in the download
// phase.
inline const RunSetting kLockDate{
    .name = "lockDate",
    .module = "CONTABILIDAD",
    .category = "GENERAL",
    .property = "FECHA DE BLOQUEO",
    .readAt = {ReadAt::UploadSelected},
    .spelled =
        "select CONF_VALOR from CONFIGURACION where CONF_MODULO = 'CONTABILIDAD' and "
        "CONF_CATEGORIA = 'GENERAL' and CONF_PROPIEDAD = 'FECHA DE BLOQUEO'"};

// Gives the catalogue the settings above, in their order.
void declareSettings(Catalogue& catalogue);

// What the settings mean (comparisons exact and case-sensitive).
bool purchaseInvoiceMode(const RunOptions& options);
bool salesInvoiceMode(const RunOptions& options);
bool transferAsEntryMode(const RunOptions& options);
const std::string& lockDateText(const RunOptions& options);

}  // namespace replica::families
