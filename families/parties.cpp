#include "families/parties.h"

namespace replica::families {

namespace {

// Payroll owns an employee's row in the company that pays them: what the
// other companies upload does not overwrite it. The download phase brings
// the paying company's row, employees included.
bool employeeKeptOnUpload(KeyedStep& step) {
    return step.ctx.phase == Phase::Upload && step.destination.asText("TERC_EMPL") == "S";
}

}  // namespace

const std::vector<KeyedFamily>& partyFamilies() {
    using key::code;
    using key::codeNumber;
    using key::column;
    static const std::vector<KeyedFamily> kRows = {
        {.type = 102,
         .tables = {{.source = KeyedText{"select * from terceros where terc_nit = ", code()},
                     .lookup = KeyedText{"SELECT * FROM TERCEROS WHERE TERC_NIT = ", code()},
                     .leaveExisting = employeeKeptOnUpload}}},
        {.type = 103,
         .tables = {{.source = KeyedText{"select * from clientes where terc_nit = ", code()},
                     .lookup = KeyedText{"SELECT * FROM CLIENTES WHERE TERC_NIT = ", code()}}}},
        {.type = 104,
         .tables = {{.source = KeyedText{"select * from proveedores where terc_nit = ", code()},
                     .lookup = KeyedText{"SELECT * FROM PROVEEDORES WHERE TERC_NIT = ", code()}}}},
        // Collectors and salespeople are numbered: the code goes into SQL
        // unquoted, so only a whole number is accepted.
        {.type = 105,
         .tables = {{.source =
                         KeyedText{"select * from cobradores where cobr_cod = ", codeNumber()},
                     .lookup =
                         KeyedText{"SELECT * FROM COBRADORES WHERE COBR_COD = ", codeNumber()}}}},
        {.type = 106,
         .tables = {{.source =
                         KeyedText{"select * from vendedores where vend_cod = ", codeNumber()},
                     .lookup =
                         KeyedText{"SELECT * FROM VENDEDORES WHERE VEND_COD = ", codeNumber()}}}},
        // Every branch of the customer but "01", the main address each
        // company derives from its own third-party row. Branches only the
        // destination has stay.
        {.type = 152,
         .tables =
             {{.source = KeyedText{"select * from cliente_sucursales where clcu_cod <> '01' and "
                                   "terc_nit = ",
                                   code()},
               .lookup = byPhase(
                   KeyedText{"SELECT * FROM CLIENTE_SUCURSALES WHERE CLCU_COD = ",
                             column("CLCU_COD"), " AND TERC_NIT = ", code(), " order by clcu_cod"},
                   KeyedText{"SELECT * FROM CLIENTE_SUCURSALES WHERE CLCU_COD = ",
                             column("CLCU_COD"), " AND TERC_NIT = ", code()}),
               .rowSet = true}}},
    };
    return kRows;
}

}  // namespace replica::families
