#include "demo/installation.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "demo/script.h"
#include "demo/simulator.h"
#include "engine/db/connection.h"
#include "engine/sql.h"

namespace replica::demo {

namespace {

std::unique_ptr<db::Connection> createAt(const std::string& path, const InstallationOptions& o) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::filesystem::remove(path);
    auto conn = std::make_unique<db::Connection>();
    conn->setPath(path);
    conn->setUserName(o.user);
    conn->setPassword(o.password);
    conn->create(o.forcedWrites);
    return conn;
}

const char* companyName(const std::string& code) {
    if (code == "001") {
        return "Norvale Principal S.A.S.";
    }
    if (code == "002") {
        return "Norvale Distribución Norte";
    }
    if (code == "003") {
        return "Norvale Almacén Sur";
    }
    return "Compañía de demostración";
}

struct Setting {
    const char* module;
    const char* category;
    const char* property;
    const char* value;
};

// Company 001 receives purchase documents as inventory movements and
// transfers as entries; 002 keeps purchase documents as they are and 003
// takes them as movements again, so one run of 001 meets both purchase
// invoice modes: its own in the download phase, each receiving company's in
// the upload phase.
const char* purchaseInvoiceMode(const std::string& code) {
    return code == "002" ? "FACTURA" : "ENTRADA";
}

const char* transferAsEntry(const std::string& code) {
    return code == "001" ? "SI" : "NO";
}

// Company 001 takes the sales invoices it downloads as inventory exits, the
// others as invoices; an upload always sends invoices, so one run of 001
// meets both forms. 003 does not want the cash-payment lines of the invoices
// it receives.
const char* salesInvoiceMode(const std::string& code) {
    return code == "001" ? "ENTRADA" : "FACTURA";
}

const char* cashPaymentLines(const std::string& code) {
    return code == "003" ? "NO" : "SI";
}

}  // namespace

std::string generalPath(const std::string& dir) {
    return dir + "/datos/general.fdb";
}

std::string companyPath(const std::string& dir, const std::string& company) {
    return dir + "/datos/" + company + "/norvale.fdb";
}

void buildInstallation(const std::string& dir, const InstallationOptions& o) {
    const std::string sqlDir = REPLICA_DEMO_SQL_DIR;
    std::filesystem::create_directories(dir + "/datos");

    auto general = createAt(generalPath(dir), o);
    loadSchema(*general, sqlDir, "general");
    for (const std::string& code : o.companies) {
        general->execute(
            "INSERT INTO COMPANIA (COMP_COD, COM_NOMBRE, COMP_NIT, COMP_DIR, "
            "COMP_TELS, COMP_ENCABEZADO) VALUES (" +
            Q(code) + ", " + Q(companyName(code)) + ", " + Q("900" + code + "123") +
            ", 'Calle 10 # 20-30', '601 555 0000', " + Q(companyName(code)) + ")");
    }
    general->execute("INSERT INTO USUARIO (USUA_COD, USUA_NOMBRE) VALUES (" + Q(o.user) +
                     ", 'Administrador')");
    general->close();

    const Setting settings[] = {
        {"INVENTARIO", "ARTICULOS", "NOMBRE DE USUARIO PARA REPLICACION DE ARTICULOS",
         o.user.c_str()},
        {"INVENTARIO", "ARTICULOS", "CLAVE DE USUARIO PARA REPLICACION DE ARTICULOS",
         o.password.c_str()},
        {"CONTABILIDAD", "GENERAL", "FECHA DE BLOQUEO", "2020-01-01"},
    };

    for (const std::string& code : o.companies) {
        auto conn = createAt(companyPath(dir, code), o);
        loadSchema(*conn, sqlDir, "company");
        // The download source of every company is o.downloadSource; the
        // source itself downloads from the first other company.
        std::string source = o.downloadSource;
        if (code == source) {
            for (const std::string& other : o.companies) {
                if (other != code) {
                    source = other;
                    break;
                }
            }
        }
        for (const std::string& other : o.companies) {
            conn->execute(
                "INSERT INTO REPLICA_COMPANIA (RPCO_COD, RPCP_NOMBRE, RPCO_SERVIDOR, "
                "RPCO_ERRO, SUCU_ID, RPCO_ACTIVA) VALUES (" +
                Q(other) + ", " + Q(companyName(other)) + ", " + Q(dir) + ", " +
                Q(other == source ? "S" : "N") + ", 1, 'S')");
        }
        const Setting own[] = {
            {"COMPRAS", "FACTURAS", "ENVIAR FACTURA DE COMPRA COMO ENTRADA O COMO FACTURA",
             purchaseInvoiceMode(code)},
            {"INVENTARIO", "TRASLADOS",
             "REPLICAR TRASLADO COMO ENTRADA EN COMPANIA ASOCIADA A BODEGA DE DESTINO",
             transferAsEntry(code)},
            {"FACTURACION", "FACTURAS", "ENVIAR FACTURA DE VENTA COMO ENTRADA O COMO FACTURA",
             salesInvoiceMode(code)},
            {"FACTURACION", "FACTURAS", "ENVIAR DETALLE DE FORMAS DE PAGO DE CONTADO",
             cashPaymentLines(code)},
        };
        const auto configure = [&conn](const Setting& s) {
            conn->execute(
                "INSERT INTO CONFIGURACION (CONF_MODULO, CONF_CATEGORIA, CONF_PROPIEDAD, "
                "CONF_VALOR) VALUES (" +
                Q(s.module) + ", " + Q(s.category) + ", " + Q(s.property) + ", " + Q(s.value) +
                ")");
        };
        for (const Setting& s : own) {
            configure(s);
        }
        for (const Setting& s : settings) {
            configure(s);
        }
        conn->execute(
            "INSERT INTO SUCURSALES (SUCU_ID, SUCU_NOMBRE, SUCU_DIRECCION, "
            "SUCU_TELEFONOS) VALUES (1, 'Principal', 'Calle 10 # 20-30', '555 0101')");
        conn->execute(
            "INSERT INTO SUCURSALES (SUCU_ID, SUCU_NOMBRE, SUCU_DIRECCION, "
            "SUCU_TELEFONOS) VALUES (2, 'Centro', 'Carrera 7 # 12-40', '555 0202')");
        // Every family replicates to every other company: documents under
        // their demo prefix (vouchers under every document prefix), master
        // records and payroll documents under the empty prefix.
        for (const std::string& other : o.companies) {
            if (other == code) {
                continue;
            }
            for (int type : documentTypes()) {
                for (const std::string& prefix : prefixesFor(type)) {
                    conn->execute(
                        "INSERT INTO REPLICACION_CONFIGURA (REPC_TIPO, REPC_PREF, "
                        "REPC_REPLICA, REPC_COMPANIA) VALUES (" +
                        sqlInt(type) + ", " + Q(prefix) + ", 'S', " + Q(other) + ")");
                }
            }
            for (int type : masterTypes()) {
                conn->execute(
                    "INSERT INTO REPLICACION_CONFIGURA (REPC_TIPO, REPC_PREF, "
                    "REPC_REPLICA, REPC_COMPANIA) VALUES (" +
                    sqlInt(type) + ", '', 'S', " + Q(other) + ")");
            }
        }
        SimulationOptions masters;
        masters.seed = 1000 + static_cast<unsigned>(std::stoi(code));
        masters.documents = 0;
        masters.masters = 40;
        masters.writeEvents = false;
        simulate(*conn, masters);
        conn->close();
    }

    std::ofstream cfg(dir + "/SERVIDORES.cfg", std::ios::binary | std::ios::trunc);
    if (!cfg) {
        throw std::runtime_error("cannot write " + dir + "/SERVIDORES.cfg");
    }
    cfg << dir << "\r\n";
}

}  // namespace replica::demo
