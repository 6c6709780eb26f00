/*
 * Company database: master data shared by every company of the installation.
 *
 * Items and their satellite tables, the inventory classification, brands,
 * price discount plans, third parties with their customer and supplier
 * roles, collectors and salespeople, the chart of accounts, document
 * prefixes and the accounting interfaces.
 *
 * Master records have no generated ids that differ between companies: they
 * are found by their own code (item code, tax id, code pairs) or keep the id
 * they were created with in every company.  The replication agent copies
 * most of these tables column by column in physical order, so the column
 * order below is part of the contract between company databases: add new
 * columns at the end only.
 *
 * No foreign keys: the ERP validates references itself, and a master record
 * may legitimately arrive before the record it names.
 */

/* ---------------------------------------------------------------------
 * Items
 * ------------------------------------------------------------------- */

/* The item master.  The first 53 columns are the ones the ERP copies between
   companies when an item changes; the columns after them are local working
   values (running cost, last purchase) that each company keeps for itself.
   ARTI_PRECIO keeps six decimals: list prices derived from foreign-currency
   costs carry more precision than the four the ERP exchanges.
   The text-valued columns (ARTI_OBS, ARTI_INVIMA ... ARTI_IMPLABF) are
   character columns on purpose: the ERP writes an empty text, never null,
   into them when it copies an item. */
CREATE TABLE ARTICULO (
    ARTI_COD          VARCHAR(20) NOT NULL,
    ARTI_DES          VARCHAR(120),
    FAIN_COD          VARCHAR(20),
    GRIN_COD          VARCHAR(20),
    SGIN_COD          VARCHAR(20),
    MARC_COD          VARCHAR(20),
    ARTI_SUBM         VARCHAR(20),
    ARTI_DESVAR       CHAR(1),
    ARTI_TIPO         CHAR(1),
    ARTI_EXIST        CHAR(1),
    ARTI_FECHA        DATE,
    ARTI_UNIDAD       VARCHAR(20),
    ARTI_PRECIO       NUMERIC(18,6),
    ARTI_CONSUMO      NUMERIC(15,4),
    ARTI_IMPBA        NUMERIC(15,4),
    ARTI_IMPUP        NUMERIC(15,4),
    ARTI_IMPOTRO      NUMERIC(15,4),
    ARTI_PESO         NUMERIC(15,4),
    ARTI_ANCHO        NUMERIC(15,4),
    ARTI_ALTO         NUMERIC(15,4),
    ARTI_LARGO        NUMERIC(15,4),
    ARTI_OBS          VARCHAR(200),
    ARTI_FOTO         VARCHAR(200),
    ARTI_MAX          NUMERIC(15,4),
    ARTI_MIN          NUMERIC(15,4),
    ARTI_DIAS         INTEGER,
    ESAR_COD          VARCHAR(20),
    ARTI_USUARIO      VARCHAR(20),
    TAIV_COD          VARCHAR(20),
    ARTI_CLASE        CHAR(1),
    ARTI_DIANALIS     INTEGER,
    ARTI_DESCORTA     VARCHAR(40),
    ARTI_PRODCANT     CHAR(1),
    ARTI_CICLO        INTEGER,
    ARTI_TIENDA       CHAR(1),
    ARTI_ENSAMBLE     CHAR(1),
    ARTI_VALORBONO    NUMERIC(15,2),
    ARTI_MERMA        NUMERIC(15,4),
    ARTI_SOBRANTE     CHAR(1),
    ARTI_PORCSOBR     NUMERIC(15,4),
    ARTI_DEC2799      CHAR(1),
    ARTI_FOMENTO      NUMERIC(15,4),
    ARTI_REUSOB       CHAR(1),
    ARTI_SOBTOT       CHAR(1),
    ARTI_INVIMA       VARCHAR(40),
    ARTI_INVIMAV      VARCHAR(20),
    ARTI_INALC        VARCHAR(20),
    ARTI_DTOMAX       VARCHAR(10),
    ARTI_CUM          VARCHAR(30),
    ARTI_POSARANCEL   VARCHAR(20),
    ARTI_ISVTA        CHAR(1),
    ARTI_URL          VARCHAR(200),
    ARTI_IMPLABF      CHAR(1),
    /* local to each company */
    ARTI_COSTOPROM    NUMERIC(15,4) DEFAULT 0,
    ARTI_ULTCOSTO     NUMERIC(15,4) DEFAULT 0,
    ARTI_ULTCOMPRA    DATE,
    ARTI_ACTIVO       CHAR(1) DEFAULT 'S',
    ARTI_UBICACION    VARCHAR(20),
    CONSTRAINT PK_ARTICULO PRIMARY KEY (ARTI_COD)
);

CREATE INDEX IX_ARTICULO_CLASIF ON ARTICULO (FAIN_COD, GRIN_COD, SGIN_COD);
CREATE INDEX IX_ARTICULO_MARCA ON ARTICULO (MARC_COD);

/* Photos of an item, numbered per item. */
CREATE TABLE FOTOS_ARTICULO (
    ARTI_COD          VARCHAR(20) NOT NULL,
    FTAR_ITEM         INTEGER NOT NULL,
    FTAR_DESCRIPCION  VARCHAR(80),
    FTAR_PRINCIPAL    CHAR(1),
    FTAR_FOTO         BLOB SUB_TYPE BINARY,
    FTAR_FORMATO      VARCHAR(10),
    FTAR_FECHA        DATE,
    FTAR_USUARIO      VARCHAR(20),
    CONSTRAINT PK_FOTOS_ARTICULO PRIMARY KEY (ARTI_COD, FTAR_ITEM)
);

/* Documents attached to an item (data sheets, certificates), numbered per
   item. */
CREATE TABLE ARTICULO_DOCUMENTOS (
    ARTI_COD          VARCHAR(20) NOT NULL,
    ARDO_ITEM         INTEGER NOT NULL,
    ARDO_NOMBRE       VARCHAR(80),
    ARDO_TIPO         VARCHAR(20),
    ARDO_ARCHIVO      VARCHAR(200),
    ARDO_CONTENIDO    BLOB SUB_TYPE BINARY,
    ARDO_VENCE        DATE,
    ARDO_FECHA        DATE,
    ARDO_USUARIO      VARCHAR(20),
    ARDO_OBS          VARCHAR(200),
    CONSTRAINT PK_ARTICULO_DOCUMENTOS PRIMARY KEY (ARTI_COD, ARDO_ITEM)
);

/* Units an item is sold or bought in, with their factor to the base unit
   ARTICULO.ARTI_UNIDAD. */
CREATE TABLE UNIDAD_ARTICULO (
    ARTI_COD          VARCHAR(20) NOT NULL,
    UNAR_UNIDAD       VARCHAR(20) NOT NULL,
    UNAR_FACTOR       NUMERIC(15,4) DEFAULT 1,
    UNAR_DESCRIPCION  VARCHAR(60),
    UNAR_PRECIO       NUMERIC(15,4),
    UNAR_PESO         NUMERIC(15,4),
    UNAR_VENTA        CHAR(1),
    UNAR_COMPRA       CHAR(1),
    UNAR_DEFECTO      CHAR(1),
    UNAR_FECHA        DATE,
    UNAR_USUARIO      VARCHAR(20),
    CONSTRAINT PK_UNIDAD_ARTICULO PRIMARY KEY (ARTI_COD, UNAR_UNIDAD)
);

/* Bar codes of an item; one item may carry several (per unit, per supplier). */
CREATE TABLE BARRAS_ARTICULO (
    ARTI_COD          VARCHAR(20) NOT NULL,
    COBA_COD          VARCHAR(20) NOT NULL,
    COBA_TIPO         VARCHAR(10),
    UNAR_UNIDAD       VARCHAR(20),
    COBA_CANTIDAD     NUMERIC(15,4) DEFAULT 1,
    COBA_PRINCIPAL    CHAR(1),
    COBA_FECHA        DATE,
    COBA_USUARIO      VARCHAR(20),
    CONSTRAINT PK_BARRAS_ARTICULO PRIMARY KEY (ARTI_COD, COBA_COD)
);

CREATE INDEX IX_BARRAS_CODIGO ON BARRAS_ARTICULO (COBA_COD);

/* The price of an item in one price list.  The first 17 columns travel
   between companies; the last ones record who set the price locally. */
CREATE TABLE PRECIOS_ARTICULO (
    LIPR_COD          INTEGER NOT NULL,
    ARTI_COD          VARCHAR(20) NOT NULL,
    PRAR_FIJO         NUMERIC(15,4),
    PRAR_MARGEN       NUMERIC(15,4),
    PRAR_UTIL         NUMERIC(15,4),
    PRAR_AUTO         CHAR(1),
    PRAR_CONSUMO      NUMERIC(15,4),
    PRAR_COMI         NUMERIC(15,4),
    PRAR_COMIMONTO    NUMERIC(15,2),
    PRAR_CANTMIN      NUMERIC(15,4),
    PRAR_DTO1         NUMERIC(15,4),
    PRAR_DTO2         NUMERIC(15,4),
    PRAR_COMIC        NUMERIC(15,4),
    PRAR_REDON        INTEGER,
    PRAR_ESCALAS      CHAR(1),
    PRAR_NOMBRE       VARCHAR(60),
    PRAR_UNIDAD       VARCHAR(20),
    /* local to each company */
    PRAR_FECHA        DATE,
    PRAR_USUARIO      VARCHAR(20),
    PRAR_ANTERIOR     NUMERIC(15,4) DEFAULT 0,
    CONSTRAINT PK_PRECIOS_ARTICULO PRIMARY KEY (LIPR_COD, ARTI_COD)
);

CREATE INDEX IX_PRECIOS_ARTICULO_ARTI ON PRECIOS_ARTICULO (ARTI_COD);

/* Accounting setup of an item: the accounts its sales, costs and stock post
   to.  Normally one row per item; older installations kept one row per
   branch, so the item code alone is not declared unique and the ERP reads
   the first row it finds. */
CREATE TABLE CONTABIL_ARTICULO (
    ARTI_COD          VARCHAR(20) NOT NULL,
    SUCU_ID           INTEGER,
    COAR_INVENTARIO   VARCHAR(20),
    COAR_COSTO        VARCHAR(20),
    COAR_INGRESO      VARCHAR(20),
    COAR_DEVVENTA     VARCHAR(20),
    COAR_DEVCOMPRA    VARCHAR(20),
    COAR_IVAVENTA     VARCHAR(20),
    COAR_IVACOMPRA    VARCHAR(20),
    COAR_CONSUMO      VARCHAR(20),
    COAR_CENTRO       VARCHAR(20),
    COAR_PORCRETE     NUMERIC(15,4),
    COAR_FECHA        DATE,
    COAR_USUARIO      VARCHAR(20)
);

CREATE INDEX IX_CONTABIL_ARTICULO ON CONTABIL_ARTICULO (ARTI_COD);

/* Components of a product or kit: item ARTI_COD is made of ARPR_ARTICULO in
   the given quantity, one numbered line per component. */
CREATE TABLE ARTICULOS_PRODUCTO (
    ARTI_COD          VARCHAR(20) NOT NULL,
    ARPR_ITEM         INTEGER NOT NULL,
    ARPR_ARTICULO     VARCHAR(20),
    ARPR_CANTIDAD     NUMERIC(15,4),
    UNAR_UNIDAD       VARCHAR(20),
    ARPR_COSTO        NUMERIC(15,4),
    ARPR_PORCENTAJE   NUMERIC(15,4),
    ARPR_OPCIONAL     CHAR(1),
    ARPR_OBS          VARCHAR(200),
    ARPR_FECHA        DATE,
    ARPR_USUARIO      VARCHAR(20),
    CONSTRAINT PK_ARTICULOS_PRODUCTO PRIMARY KEY (ARTI_COD, ARPR_ITEM)
);

/* ---------------------------------------------------------------------
 * Inventory classification, brands and price discounts
 * ------------------------------------------------------------------- */

/* Three-level hierarchy: family, group within a family, subgroup within a
   group.  A level is identified by its own code together with the codes of
   the levels above it; an empty code is a valid code. */
CREATE TABLE FAMILIA_INVENTARIO (
    FAIN_COD          VARCHAR(20) NOT NULL,
    FAIN_NOMBRE       VARCHAR(60),
    FAIN_CUENTA       VARCHAR(20),
    FAIN_MARGEN       NUMERIC(15,4),
    FAIN_ACTIVA       CHAR(1) DEFAULT 'S',
    FAIN_FECHA        DATE,
    FAIN_USUARIO      VARCHAR(20),
    CONSTRAINT PK_FAMILIA_INVENTARIO PRIMARY KEY (FAIN_COD)
);

CREATE TABLE GRUPO_INVENTARIO (
    FAIN_COD          VARCHAR(20) NOT NULL,
    GRIN_COD          VARCHAR(20) NOT NULL,
    GRIN_NOMBRE       VARCHAR(60),
    GRIN_CUENTA       VARCHAR(20),
    GRIN_MARGEN       NUMERIC(15,4),
    GRIN_ACTIVO       CHAR(1) DEFAULT 'S',
    GRIN_FECHA        DATE,
    GRIN_USUARIO      VARCHAR(20),
    CONSTRAINT PK_GRUPO_INVENTARIO PRIMARY KEY (FAIN_COD, GRIN_COD)
);

CREATE TABLE SUBGRUPO_INVENTARIO (
    FAIN_COD          VARCHAR(20) NOT NULL,
    GRIN_COD          VARCHAR(20) NOT NULL,
    SGIN_COD          VARCHAR(20) NOT NULL,
    SGIN_NOMBRE       VARCHAR(60),
    SGIN_CUENTA       VARCHAR(20),
    SGIN_MARGEN       NUMERIC(15,4),
    SGIN_ACTIVO       CHAR(1) DEFAULT 'S',
    SGIN_FECHA        DATE,
    SGIN_USUARIO      VARCHAR(20),
    CONSTRAINT PK_SUBGRUPO_INVENTARIO PRIMARY KEY (FAIN_COD, GRIN_COD, SGIN_COD)
);

CREATE TABLE MARCAS (
    MARC_COD          VARCHAR(20) NOT NULL,
    MARC_NOMBRE       VARCHAR(60),
    MARC_FABRICANTE   VARCHAR(60),
    TERC_NIT          VARCHAR(20),
    MARC_ACTIVA       CHAR(1) DEFAULT 'S',
    MARC_FECHA        DATE,
    MARC_USUARIO      VARCHAR(20),
    CONSTRAINT PK_MARCAS PRIMARY KEY (MARC_COD)
);

CREATE TABLE SUBMARCA (
    MARC_COD          VARCHAR(20) NOT NULL,
    SUBM_COD          VARCHAR(20) NOT NULL,
    SUBM_NOMBRE       VARCHAR(60),
    SUBM_ACTIVA       CHAR(1) DEFAULT 'S',
    SUBM_FECHA        DATE,
    SUBM_USUARIO      VARCHAR(20),
    CONSTRAINT PK_SUBMARCA PRIMARY KEY (MARC_COD, SUBM_COD)
);

/* Price discount plans: a plan with its validity, and per item the discount
   it grants.  Plan ids are assigned by the company that creates the plan and
   kept everywhere else. */
CREATE SEQUENCE GEN_DESCUENTOS_PRECIOS;

CREATE TABLE DESCUENTOS_PRECIOS (
    DCTP_ID           INTEGER NOT NULL,
    DCTP_NOMBRE       VARCHAR(60),
    DCTP_DESDE        DATE,
    DCTP_HASTA        DATE,
    DCTP_HORADESDE    TIME,
    DCTP_HORAHASTA    TIME,
    LIPR_COD          INTEGER,
    SUCU_ID           INTEGER,
    DCTP_PORCENTAJE   NUMERIC(15,4),
    DCTP_DIAS         VARCHAR(7),
    DCTP_ACTIVO       CHAR(1) DEFAULT 'S',
    DCTP_OBS          VARCHAR(200),
    DCTP_FECHA        DATE,
    DCTP_USUARIO      VARCHAR(20),
    CONSTRAINT PK_DESCUENTOS_PRECIOS PRIMARY KEY (DCTP_ID)
);

CREATE TABLE DESCUENTOS_PRECIOS_DET (
    DCTP_ID           INTEGER NOT NULL,
    ARTI_COD          VARCHAR(20) NOT NULL,
    DCPD_PORCENTAJE   NUMERIC(15,4),
    DCPD_VALOR        NUMERIC(15,2),
    DCPD_PRECIO       NUMERIC(15,4),
    DCPD_CANTMIN      NUMERIC(15,4),
    DCPD_CANTMAX      NUMERIC(15,4),
    DCPD_ACTIVO       CHAR(1) DEFAULT 'S',
    DCPD_FECHA        DATE,
    DCPD_USUARIO      VARCHAR(20),
    CONSTRAINT PK_DESCUENTOS_PRECIOS_DET PRIMARY KEY (DCTP_ID, ARTI_COD)
);

/* ---------------------------------------------------------------------
 * Third parties
 * ------------------------------------------------------------------- */

/* Persons and companies, identified by their tax id.  TERC_EMPL = 'S' marks
   an employee: payroll owns those rows in the company that pays them. */
CREATE TABLE TERCEROS (
    TERC_NIT          VARCHAR(20) NOT NULL,
    TERC_DV           CHAR(1),
    TERC_TIPODOC      VARCHAR(4),
    TERC_NOMBRE       VARCHAR(120),
    TERC_APELLIDO1    VARCHAR(40),
    TERC_APELLIDO2    VARCHAR(40),
    TERC_NOMBRE1      VARCHAR(40),
    TERC_NOMBRE2      VARCHAR(40),
    TERC_RAZON        VARCHAR(120),
    TERC_DIRECCION    VARCHAR(120),
    TERC_CIUDAD       VARCHAR(60),
    TERC_DEPTO        VARCHAR(60),
    TERC_PAIS         VARCHAR(40),
    TERC_TELEFONO     VARCHAR(40),
    TERC_CELULAR      VARCHAR(40),
    TERC_EMAIL        VARCHAR(100),
    TERC_NATURAL      CHAR(1),
    TERC_REGIMEN      CHAR(1),
    TERC_EMPL         CHAR(1),
    TERC_CLIENTE      CHAR(1),
    TERC_PROVEEDOR    CHAR(1),
    TERC_ACTIVO       CHAR(1) DEFAULT 'S',
    TERC_FECNAC       DATE,
    TERC_FECHA        DATE,
    TERC_USUARIO      VARCHAR(20),
    TERC_OBS          VARCHAR(200),
    CONSTRAINT PK_TERCEROS PRIMARY KEY (TERC_NIT)
);

/* Customer role of a third party: credit terms, price list, salesperson. */
CREATE TABLE CLIENTES (
    TERC_NIT          VARCHAR(20) NOT NULL,
    CLIE_CUPO         NUMERIC(15,2),
    CLIE_PLAZO        INTEGER,
    LIPR_COD          INTEGER,
    VEND_COD          INTEGER,
    COBR_COD          INTEGER,
    CLIE_ZONA         VARCHAR(20),
    CLIE_DESCUENTO    NUMERIC(15,4),
    CLIE_RETEFUENTE   CHAR(1),
    CLIE_RETEIVA      CHAR(1),
    CLIE_RETEICA      CHAR(1),
    CLIE_BLOQUEADO    CHAR(1),
    CLIE_PUNTOS       NUMERIC(15,2) DEFAULT 0,
    CLIE_CUENTA       VARCHAR(20),
    CLIE_FECHA        DATE,
    CLIE_ULTCOMPRA    DATE,
    CLIE_USUARIO      VARCHAR(20),
    CLIE_OBS          VARCHAR(200),
    CONSTRAINT PK_CLIENTES PRIMARY KEY (TERC_NIT)
);

/* Supplier role of a third party. */
CREATE TABLE PROVEEDORES (
    TERC_NIT          VARCHAR(20) NOT NULL,
    PROV_PLAZO        INTEGER,
    PROV_CUPO         NUMERIC(15,2),
    PROV_CONTACTO     VARCHAR(80),
    PROV_BANCO        VARCHAR(40),
    PROV_CUENTABANCO  VARCHAR(30),
    PROV_TIPOCUENTA   CHAR(1),
    PROV_RETEFUENTE   CHAR(1),
    PROV_RETEIVA      CHAR(1),
    PROV_RETEICA      CHAR(1),
    PROV_AUTORRET     CHAR(1),
    PROV_DESCUENTO    NUMERIC(15,4),
    PROV_CUENTA       VARCHAR(20),
    PROV_FECHA        DATE,
    PROV_USUARIO      VARCHAR(20),
    PROV_OBS          VARCHAR(200),
    CONSTRAINT PK_PROVEEDORES PRIMARY KEY (TERC_NIT)
);

/* Debt collectors and salespeople have numeric codes. */
CREATE TABLE COBRADORES (
    COBR_COD          INTEGER NOT NULL,
    COBR_NOMBRE       VARCHAR(80),
    TERC_NIT          VARCHAR(20),
    COBR_ZONA         VARCHAR(20),
    COBR_COMISION     NUMERIC(15,4),
    COBR_TELEFONO     VARCHAR(40),
    COBR_ACTIVO       CHAR(1) DEFAULT 'S',
    COBR_FECHA        DATE,
    COBR_USUARIO      VARCHAR(20),
    CONSTRAINT PK_COBRADORES PRIMARY KEY (COBR_COD)
);

CREATE TABLE VENDEDORES (
    VEND_COD          INTEGER NOT NULL,
    VEND_NOMBRE       VARCHAR(80),
    TERC_NIT          VARCHAR(20),
    VEND_ZONA         VARCHAR(20),
    VEND_COMISION     NUMERIC(15,4),
    VEND_META         NUMERIC(15,2),
    SUCU_ID           INTEGER,
    VEND_TELEFONO     VARCHAR(40),
    VEND_EMAIL        VARCHAR(100),
    VEND_ACTIVO       CHAR(1) DEFAULT 'S',
    VEND_FECHA        DATE,
    VEND_USUARIO      VARCHAR(20),
    CONSTRAINT PK_VENDEDORES PRIMARY KEY (VEND_COD)
);

/* Delivery addresses (branches) of a customer.  Branch '01' is the main
   address that every customer gets in each company from its own TERCEROS
   row. */
CREATE TABLE CLIENTE_SUCURSALES (
    TERC_NIT          VARCHAR(20) NOT NULL,
    CLCU_COD          VARCHAR(20) NOT NULL,
    CLCU_NOMBRE       VARCHAR(80),
    CLCU_DIRECCION    VARCHAR(120),
    CLCU_CIUDAD       VARCHAR(60),
    CLCU_TELEFONO     VARCHAR(40),
    CLCU_CONTACTO     VARCHAR(80),
    CLCU_EMAIL        VARCHAR(100),
    VEND_COD          INTEGER,
    CLCU_ZONA         VARCHAR(20),
    CLCU_ACTIVA       CHAR(1) DEFAULT 'S',
    CLCU_FECHA        DATE,
    CLCU_USUARIO      VARCHAR(20),
    CONSTRAINT PK_CLIENTE_SUCURSALES PRIMARY KEY (TERC_NIT, CLCU_COD)
);

/* ---------------------------------------------------------------------
 * Accounting setup
 * ------------------------------------------------------------------- */

/* Chart of accounts. */
CREATE TABLE CUENTAS (
    CUEN_COD          VARCHAR(20) NOT NULL,
    CUEN_NOMBRE       VARCHAR(120),
    CUEN_NIVEL        INTEGER,
    CUEN_PADRE        VARCHAR(20),
    CUEN_NATURALEZA   CHAR(1),
    CUEN_MOVIMIENTO   CHAR(1),
    CUEN_TERCERO      CHAR(1),
    CUEN_CENTRO       CHAR(1),
    CUEN_BASE         CHAR(1),
    CUEN_PORCBASE     NUMERIC(15,4),
    CUEN_NIIF         VARCHAR(20),
    CUEN_AJUSTE       CHAR(1),
    CUEN_ACTIVA       CHAR(1) DEFAULT 'S',
    CUEN_FECHA        DATE,
    CUEN_USUARIO      VARCHAR(20),
    CONSTRAINT PK_CUENTAS PRIMARY KEY (CUEN_COD)
);

/* Document prefixes per document type.  The first 14 columns are shared by
   every company; the numbering range and the tax authority's resolution
   after them are granted to each company separately. */
CREATE TABLE PREFIJOS (
    TIDO_COD          INTEGER NOT NULL,
    PREF_PRE          VARCHAR(4) NOT NULL,
    PREF_ACTUAL       INTEGER DEFAULT 0,
    PREF_AUTO         CHAR(1),
    PREF_IVAINC       CHAR(1),
    PREF_PROY         VARCHAR(20),
    PREF_CENTRO       VARCHAR(20),
    PREF_ACTIVO       CHAR(1),
    PREF_USUARIO      VARCHAR(20),
    TICO_COD          VARCHAR(20),
    SUCU_ID           INTEGER,
    PREF_SUBC         CHAR(1),
    PREF_DEC1818      CHAR(1),
    PREF_FLETE        CHAR(1),
    /* local to each company */
    PREF_NOMBRE       VARCHAR(60),
    PREF_INICIAL      INTEGER DEFAULT 1,
    PREF_FINAL        INTEGER DEFAULT 99999999,
    PREF_RESOLUCION   VARCHAR(60),
    PREF_FECRES       DATE,
    PREF_FECVENCE     DATE,
    PREF_OBS          VARCHAR(200),
    CONSTRAINT PK_PREFIJOS PRIMARY KEY (TIDO_COD, PREF_PRE)
);

/* Accounting interfaces: for each kind of operation, the accounts it posts
   to.  An interface is a header keyed by its id and numbered account lines
   (the *_CTAS table: interface id, line number, then the posting).  Ids are
   assigned by the company that defines the interface and kept everywhere. */

CREATE SEQUENCE GEN_INTERFAZ;

CREATE TABLE INTERFAZ_BANCOS (
    INBA_ID           INTEGER NOT NULL,
    INBA_NOMBRE       VARCHAR(60),
    TIDO_COD          INTEGER,
    CUBA_COD          INTEGER,
    TICO_COD          VARCHAR(20),
    INBA_ACTIVA       CHAR(1) DEFAULT 'S',
    INBA_FECHA        DATE,
    INBA_USUARIO      VARCHAR(20),
    CONSTRAINT PK_INTERFAZ_BANCOS PRIMARY KEY (INBA_ID)
);

CREATE TABLE INTERFAZ_BANCOS_CTAS (
    INBA_ID           INTEGER NOT NULL,
    INBC_ITEM         INTEGER NOT NULL,
    INBC_CONCEPTO     VARCHAR(60),
    CUEN_COD          VARCHAR(20),
    INBC_NATURALEZA   CHAR(1),
    INBC_BASE         VARCHAR(20),
    INBC_PORCENTAJE   NUMERIC(15,4),
    INBC_TERCERO      VARCHAR(20),
    INBC_CENTRO       VARCHAR(20),
    CONSTRAINT PK_INTERFAZ_BANCOS_CTAS PRIMARY KEY (INBA_ID, INBC_ITEM)
);

CREATE TABLE INTERFAZ_CAJA (
    INCJ_ID           INTEGER NOT NULL,
    INCJ_NOMBRE       VARCHAR(60),
    TIDO_COD          INTEGER,
    CAJA_COD          VARCHAR(20),
    TICO_COD          VARCHAR(20),
    INCJ_ACTIVA       CHAR(1) DEFAULT 'S',
    INCJ_FECHA        DATE,
    INCJ_USUARIO      VARCHAR(20),
    CONSTRAINT PK_INTERFAZ_CAJA PRIMARY KEY (INCJ_ID)
);

CREATE TABLE INTERFAZ_CAJA_CTAS (
    INCJ_ID           INTEGER NOT NULL,
    INJC_ITEM         INTEGER NOT NULL,
    INJC_CONCEPTO     VARCHAR(60),
    CUEN_COD          VARCHAR(20),
    INJC_NATURALEZA   CHAR(1),
    INJC_BASE         VARCHAR(20),
    INJC_PORCENTAJE   NUMERIC(15,4),
    INJC_TERCERO      VARCHAR(20),
    INJC_CENTRO       VARCHAR(20),
    CONSTRAINT PK_INTERFAZ_CAJA_CTAS PRIMARY KEY (INCJ_ID, INJC_ITEM)
);

CREATE TABLE INTERFAZ_CARTERA (
    INCA_ID           INTEGER NOT NULL,
    INCA_NOMBRE       VARCHAR(60),
    TIDO_COD          INTEGER,
    TICO_COD          VARCHAR(20),
    INCA_ACTIVA       CHAR(1) DEFAULT 'S',
    INCA_FECHA        DATE,
    INCA_USUARIO      VARCHAR(20),
    CONSTRAINT PK_INTERFAZ_CARTERA PRIMARY KEY (INCA_ID)
);

CREATE TABLE INTERFAZ_CARTERA_CTAS (
    INCA_ID           INTEGER NOT NULL,
    INCD_ITEM         INTEGER NOT NULL,
    INCD_CONCEPTO     VARCHAR(60),
    CUEN_COD          VARCHAR(20),
    INCD_NATURALEZA   CHAR(1),
    INCD_BASE         VARCHAR(20),
    INCD_PORCENTAJE   NUMERIC(15,4),
    INCD_TERCERO      VARCHAR(20),
    INCD_CENTRO       VARCHAR(20),
    CONSTRAINT PK_INTERFAZ_CARTERA_CTAS PRIMARY KEY (INCA_ID, INCD_ITEM)
);

CREATE TABLE INTERFAZ_COMPRAS (
    INCO_ID           INTEGER NOT NULL,
    INCO_NOMBRE       VARCHAR(60),
    TIDO_COD          INTEGER,
    TICO_COD          VARCHAR(20),
    FAIN_COD          VARCHAR(20),
    INCO_ACTIVA       CHAR(1) DEFAULT 'S',
    INCO_FECHA        DATE,
    INCO_USUARIO      VARCHAR(20),
    CONSTRAINT PK_INTERFAZ_COMPRAS PRIMARY KEY (INCO_ID)
);

CREATE TABLE INTERFAZ_COMPRAS_CTAS (
    INCO_ID           INTEGER NOT NULL,
    INCC_ITEM         INTEGER NOT NULL,
    INCC_CONCEPTO     VARCHAR(60),
    CUEN_COD          VARCHAR(20),
    INCC_NATURALEZA   CHAR(1),
    INCC_BASE         VARCHAR(20),
    INCC_PORCENTAJE   NUMERIC(15,4),
    INCC_TERCERO      VARCHAR(20),
    INCC_CENTRO       VARCHAR(20),
    CONSTRAINT PK_INTERFAZ_COMPRAS_CTAS PRIMARY KEY (INCO_ID, INCC_ITEM)
);

CREATE TABLE INTERFAZ_CXPAGAR (
    INCP_ID           INTEGER NOT NULL,
    INCP_NOMBRE       VARCHAR(60),
    TIDO_COD          INTEGER,
    TICO_COD          VARCHAR(20),
    INCP_ACTIVA       CHAR(1) DEFAULT 'S',
    INCP_FECHA        DATE,
    INCP_USUARIO      VARCHAR(20),
    CONSTRAINT PK_INTERFAZ_CXPAGAR PRIMARY KEY (INCP_ID)
);

CREATE TABLE INTERFAZ_CXPAGAR_CTAS (
    INCP_ID           INTEGER NOT NULL,
    INPC_ITEM         INTEGER NOT NULL,
    INPC_CONCEPTO     VARCHAR(60),
    CUEN_COD          VARCHAR(20),
    INPC_NATURALEZA   CHAR(1),
    INPC_BASE         VARCHAR(20),
    INPC_PORCENTAJE   NUMERIC(15,4),
    INPC_TERCERO      VARCHAR(20),
    INPC_CENTRO       VARCHAR(20),
    CONSTRAINT PK_INTERFAZ_CXPAGAR_CTAS PRIMARY KEY (INCP_ID, INPC_ITEM)
);

CREATE TABLE INTERFAZ_INVENTARIO (
    ININ_ID           INTEGER NOT NULL,
    ININ_NOMBRE       VARCHAR(60),
    TIDO_COD          INTEGER,
    TICO_COD          VARCHAR(20),
    FAIN_COD          VARCHAR(20),
    ININ_ACTIVA       CHAR(1) DEFAULT 'S',
    ININ_FECHA        DATE,
    ININ_USUARIO      VARCHAR(20),
    CONSTRAINT PK_INTERFAZ_INVENTARIO PRIMARY KEY (ININ_ID)
);

CREATE TABLE INTERFAZ_INVENTARIO_CTAS (
    ININ_ID           INTEGER NOT NULL,
    INIC_ITEM         INTEGER NOT NULL,
    INIC_CONCEPTO     VARCHAR(60),
    CUEN_COD          VARCHAR(20),
    INIC_NATURALEZA   CHAR(1),
    INIC_BASE         VARCHAR(20),
    INIC_PORCENTAJE   NUMERIC(15,4),
    INIC_TERCERO      VARCHAR(20),
    INIC_CENTRO       VARCHAR(20),
    CONSTRAINT PK_INTERFAZ_INVENTARIO_CTAS PRIMARY KEY (ININ_ID, INIC_ITEM)
);

CREATE TABLE INTERFAZ_VENTAS (
    INVE_ID           INTEGER NOT NULL,
    INVE_NOMBRE       VARCHAR(60),
    TIDO_COD          INTEGER,
    TICO_COD          VARCHAR(20),
    FAIN_COD          VARCHAR(20),
    INVE_ACTIVA       CHAR(1) DEFAULT 'S',
    INVE_FECHA        DATE,
    INVE_USUARIO      VARCHAR(20),
    CONSTRAINT PK_INTERFAZ_VENTAS PRIMARY KEY (INVE_ID)
);

CREATE TABLE INTERFAZ_VENTAS_CTAS (
    INVE_ID           INTEGER NOT NULL,
    INVC_ITEM         INTEGER NOT NULL,
    INVC_CONCEPTO     VARCHAR(60),
    CUEN_COD          VARCHAR(20),
    INVC_NATURALEZA   CHAR(1),
    INVC_BASE         VARCHAR(20),
    INVC_PORCENTAJE   NUMERIC(15,4),
    INVC_TERCERO      VARCHAR(20),
    INVC_CENTRO       VARCHAR(20),
    CONSTRAINT PK_INTERFAZ_VENTAS_CTAS PRIMARY KEY (INVE_ID, INVC_ITEM)
);

COMMIT;
