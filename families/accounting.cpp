#include "families/accounting.h"

#include <cctype>
#include <string>

namespace replica::families {

namespace {

// An interface kind: a header keyed by its id (first column) and account
// rows in the header's table with "_CTAS" appended, keyed by the header id
// and their item number (second column).
struct InterfaceKind {
    int type;
    const char* header;  // e.g. "INTERFAZ_BANCOS"
    const char* id;      // the header's id column, e.g. "INBA_ID"
    const char* item;    // the account table's item column, e.g. "INBC_ITEM"
};

// The seven kinds, in catalogue order: every text of an interface is built
// from its row, so no text names another kind's table. The account tables'
// item columns do not follow the headers' prefixes (INBC_, INJC_, INCD_...).
constexpr InterfaceKind kInterfaceKinds[] = {
    {111, "INTERFAZ_BANCOS", "INBA_ID", "INBC_ITEM"},
    {112, "INTERFAZ_CAJA", "INCJ_ID", "INJC_ITEM"},
    {113, "INTERFAZ_CARTERA", "INCA_ID", "INCD_ITEM"},
    {114, "INTERFAZ_COMPRAS", "INCO_ID", "INCC_ITEM"},
    {115, "INTERFAZ_CXPAGAR", "INCP_ID", "INPC_ITEM"},
    {116, "INTERFAZ_INVENTARIO", "ININ_ID", "INIC_ITEM"},
    {117, "INTERFAZ_VENTAS", "INVE_ID", "INVC_ITEM"},
};

std::string lower(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return s;
}

// The texts of an interface event, for the bank interface:
//   "select * from interfaz_bancos where inba_id = " N
//   "SELECT * FROM INTERFAZ_BANCOS WHERE INBA_ID = " N
//   "select * from interfaz_bancos_ctas where inba_id = " N
//   "SELECT * FROM INTERFAZ_BANCOS_CTAS WHERE INBA_ID = " N " AND INBC_ITEM = " item
// The header ends the copy when the source no longer has it (no account
// rows without their interface); a refused header does not stop its rows.
KeyedFamily interfaceFamily(const InterfaceKind& k) {
    const std::string header = k.header;
    const std::string id = k.id;
    const std::string accounts = header + "_CTAS";
    return KeyedFamily{
        .type = k.type,
        .tables = {
            {.source =
                 KeyedText{
                     ("select * from " + lower(header) + " where " + lower(id) + " = ").c_str(),
                     key::iddoc()},
             .lookup = KeyedText{("SELECT * FROM " + header + " WHERE " + id + " = ").c_str(),
                                 key::iddoc()},
             .endsWhenGone = true},
            {.source =
                 KeyedText{
                     ("select * from " + lower(accounts) + " where " + lower(id) + " = ").c_str(),
                     key::iddoc()},
             .lookup = KeyedText{("SELECT * FROM " + accounts + " WHERE " + id + " = ").c_str(),
                                 key::iddoc(), (std::string(" AND ") + k.item + " = ").c_str(),
                                 key::columnNumber(1)},
             .rowSet = true}}};
}

}  // namespace

const std::vector<NamedColumn>& prefixColumns() {
    static const std::vector<NamedColumn> kColumns = {
        {"TIDO_COD"},  {"PREF_PRE"},    {"PREF_ACTUAL"},  {"PREF_AUTO"},    {"PREF_IVAINC"},
        {"PREF_PROY"}, {"PREF_CENTRO"}, {"PREF_ACTIVO"},  {"PREF_USUARIO"}, {"TICO_COD"},
        {"SUCU_ID"},   {"PREF_SUBC"},   {"PREF_DEC1818"}, {"PREF_FLETE"},
    };
    return kColumns;
}

const std::vector<KeyedFamily>& accountingFamilies() {
    using key::code;
    using key::iddoc;
    using key::prefix;
    static const std::vector<KeyedFamily> kRows = [] {
        std::vector<KeyedFamily> rows = {
            {.type = 100,
             .tables = {{.source = KeyedText{"select * from cuentas where cuen_cod = ", code()},
                         .lookup = KeyedText{"SELECT * FROM CUENTAS WHERE CUEN_COD = ", code()}}}},
        };
        for (const InterfaceKind& k : kInterfaceKinds) {
            rows.push_back(interfaceFamily(k));
        }
        // The prefix of a document type: RPEV_IDDOC is the type, RPEV_PREF
        // the prefix.
        rows.push_back(
            {.type = 142,
             .tables = {{.source = KeyedText{"select * from prefijos where tido_cod = ", iddoc(),
                                             " and pref_pre = ", prefix()},
                         .lookup = KeyedText{"SELECT * FROM prefijos where tido_cod = ", iddoc(),
                                             " and pref_pre = ", prefix()},
                         .columns = prefixColumns()}}});
        return rows;
    }();
    return kRows;
}

}  // namespace replica::families
