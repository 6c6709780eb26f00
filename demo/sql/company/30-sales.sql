/*
 * Company database, sales documents: invoices with their lines and cash
 * payments, sales delivery notes, sales returns, customer orders and
 * quotations.
 *
 * Rows of these tables travel between companies column by column, by
 * position, so the column order below is part of the contract between
 * company databases: never insert a column in the middle of a table, only
 * append.  Header tables start with their integer id; detail tables start
 * with the id of their header and are keyed on (header id, line number),
 * the line number being an ordinary column that travels with the row.
 * Each document family has a sequence and a CAMBIE_ID_* view that hands out
 * one fresh header id per read.
 *
 * Loyalty points earned by invoices and returns are kept by the treasury
 * file (ACUMULA_PUNTOS_CLIENTE), which reads the headers defined here.
 */

/* ---------------------------------------------------------------------
 * Sales invoices.
 * ------------------------------------------------------------------- */

CREATE SEQUENCE GEN_FACTURAS;
CREATE VIEW CAMBIE_ID_FACTURA (ID) AS
    SELECT NEXT VALUE FOR GEN_FACTURAS FROM RDB$DATABASE;

CREATE TABLE FACTURAS (
    FACT_ID           INTEGER NOT NULL,
    PREF_PRE          VARCHAR(4) NOT NULL,
    FACT_NUMERO       VARCHAR(8) NOT NULL,
    FACT_FECHA        DATE,
    FACT_HORA         TIME,
    TERC_NIT          VARCHAR(20),
    FACT_NOMCLIENTE   VARCHAR(80),
    BODE_COD          VARCHAR(20),
    VEND_COD          INTEGER,
    LIPR_COD          INTEGER,
    FACT_FORMAPAGO    CHAR(1),          /* C cash, R credit */
    FACT_PLAZO        INTEGER,
    FACT_FECVENCE     DATE,
    FACT_IVAINC       CHAR(1),          /* S when prices include VAT */
    FACT_SUBTOTAL     NUMERIC(15,2),
    FACT_DESCUENTO    NUMERIC(15,2),
    FACT_IVA          NUMERIC(15,2),
    FACT_CONSUMO      NUMERIC(15,2),
    FACT_RETEFUENTE   NUMERIC(15,2),
    FACT_TOTAL        NUMERIC(15,2),
    FACT_ABONOS       NUMERIC(15,2),
    FACT_SALDO        NUMERIC(15,2),
    FACT_TASACAMBIO   NUMERIC(15,4),
    FACT_OBS          VARCHAR(200),
    FACT_ANULADO      CHAR(1),
    FACT_TRANSMIT     CHAR(1),
    FACT_USUARIO      VARCHAR(20),
    FACT_FECREG       DATE,
    NUMOK             CHAR(1),
    CONSTRAINT PK_FACTURAS PRIMARY KEY (FACT_ID)
);

/* Invoices are found across companies by prefix and number. */
CREATE INDEX IX_FACTURAS_NUMERO ON FACTURAS (PREF_PRE, FACT_NUMERO);
CREATE INDEX IX_FACTURAS_CLIENTE ON FACTURAS (TERC_NIT);

/* FADE_DEVUELTO (returned quantity, in base units) must stay the
   nineteenth column: a copied line is reset there by position before the
   returns written on the same invoice are matched against it. */
CREATE TABLE FACTURAS_DETALLE (
    FACT_ID           INTEGER NOT NULL,
    FADE_ITEM         INTEGER NOT NULL,
    ARTI_COD          VARCHAR(20),
    BODE_COD          VARCHAR(20),
    FADE_CANT         NUMERIC(15,4),
    FADE_UNIDAD       VARCHAR(20),
    FADE_FACTOR       NUMERIC(15,4),
    FADE_LOTE         VARCHAR(20),
    FADE_PRUNIT       NUMERIC(15,4),
    FADE_DESC         VARCHAR(100),     /* item description as printed */
    FADE_IVAPORC      NUMERIC(15,2),
    FADE_IVAMONTO     NUMERIC(15,2),
    FADE_CONSUMO      NUMERIC(15,2),
    FADE_CODBAR       VARCHAR(20),
    FADE_OBS          VARCHAR(200),
    FADE_ANULADO      CHAR(1),
    FADE_TOTAL        NUMERIC(15,2),
    FADE_COSTO        NUMERIC(15,4),
    FADE_DEVUELTO     NUMERIC(15,4),
    VEND_COD          INTEGER,
    FADE_PRECIOLISTA  NUMERIC(15,4),
    FADE_SERIAL       VARCHAR(40),
    FADE_DTOPORC      NUMERIC(15,2),
    FADE_DTOMONTO     NUMERIC(15,2),
    CONSTRAINT PK_FACTURAS_DETALLE PRIMARY KEY (FACT_ID, FADE_ITEM)
);

CREATE INDEX IX_FACTURAS_DETALLE_ARTI ON FACTURAS_DETALLE (ARTI_COD);

/* Cash-payment lines: how a cash invoice was paid.  FCNT_ID holds the
   invoice's FACT_ID. */
CREATE TABLE FACTURAS_CONTADO_PAGO (
    FCNT_ID           INTEGER NOT NULL,
    FCNT_ITEM         INTEGER NOT NULL,
    FOPA_COD          VARCHAR(20),      /* payment method */
    FCNT_VALOR        NUMERIC(15,2),
    FCNT_FECHA        DATE,
    BANC_COD          VARCHAR(20),
    FCNT_NUMDOC       VARCHAR(20),      /* cheque or card voucher number */
    FCNT_AUTORIZA     VARCHAR(20),
    TARJ_COD          VARCHAR(20),
    FCNT_CUOTAS       INTEGER,
    FCNT_COMISION     NUMERIC(15,2),
    FCNT_RETENCION    NUMERIC(15,2),
    FCNT_CAMBIO       NUMERIC(15,2),    /* change handed back */
    CAJA_COD          VARCHAR(20),
    FCNT_FECVENCE     DATE,
    FCNT_OBS          VARCHAR(200),
    CONSTRAINT PK_FACTURAS_CONTADO_PAGO PRIMARY KEY (FCNT_ID, FCNT_ITEM)
);

/* ---------------------------------------------------------------------
 * Sales delivery notes: goods sent to a customer ahead of the invoice.
 * ------------------------------------------------------------------- */

CREATE SEQUENCE GEN_REMISIONES_VENTA;
CREATE VIEW CAMBIE_ID_REMICLIE (ID) AS
    SELECT NEXT VALUE FOR GEN_REMISIONES_VENTA FROM RDB$DATABASE;

CREATE TABLE REMISIONES_VENTA (
    REVT_ID           INTEGER NOT NULL,
    PREF_PRE          VARCHAR(4) NOT NULL,
    REVT_NUMERO       VARCHAR(8) NOT NULL,
    REVT_FECHA        DATE,
    REVT_HORA         TIME,
    TERC_NIT          VARCHAR(20),
    REVT_NOMCLIENTE   VARCHAR(80),
    CLCU_COD          VARCHAR(20),      /* customer branch delivered to */
    BODE_COD          VARCHAR(20),
    VEND_COD          INTEGER,
    LIPR_COD          INTEGER,
    REVT_DIRENTREGA   VARCHAR(120),
    REVT_TRANSPORTA   VARCHAR(80),
    REVT_GUIA         VARCHAR(20),
    REVT_SUBTOTAL     NUMERIC(15,2),
    REVT_DESCUENTO    NUMERIC(15,2),
    REVT_IVA          NUMERIC(15,2),
    REVT_TOTAL        NUMERIC(15,2),
    REVT_FACTURADA    CHAR(1),          /* S once invoiced */
    REVT_OBS          VARCHAR(200),
    REVT_ANULADO      CHAR(1),
    REVT_TRANSMIT     CHAR(1),
    REVT_USUARIO      VARCHAR(20),
    REVT_FECREG       DATE,
    NUMOK             CHAR(1),
    CONSTRAINT PK_REMISIONES_VENTA PRIMARY KEY (REVT_ID)
);

CREATE INDEX IX_REMISIONES_VENTA_NUMERO ON REMISIONES_VENTA (PREF_PRE, REVT_NUMERO);

CREATE TABLE REMISIONES_VENTA_DETALLE (
    REVT_ID           INTEGER NOT NULL,
    RVDE_ITEM         INTEGER NOT NULL,
    ARTI_COD          VARCHAR(20),
    BODE_COD          VARCHAR(20),
    RVDE_CANT         NUMERIC(15,4),
    RVDE_UNIDAD       VARCHAR(20),
    RVDE_FACTOR       NUMERIC(15,4),
    RVDE_LOTE         VARCHAR(20),
    RVDE_PRUNIT       NUMERIC(15,4),
    RVDE_DTOPORC      NUMERIC(15,2),
    RVDE_IVAPORC      NUMERIC(15,2),
    RVDE_IVAMONTO     NUMERIC(15,2),
    RVDE_TOTAL        NUMERIC(15,2),
    RVDE_COSTO        NUMERIC(15,4),
    RVDE_CANTFACT     NUMERIC(15,4),    /* quantity already invoiced */
    RVDE_CODBAR       VARCHAR(20),
    RVDE_OBS          VARCHAR(200),
    RVDE_ANULADO      CHAR(1),
    CONSTRAINT PK_REMISIONES_VENTA_DETALLE PRIMARY KEY (REVT_ID, RVDE_ITEM)
);

/* ---------------------------------------------------------------------
 * Sales returns.  DEVT_FACTID and DEVT_IDEGRE hold ids valid only in the
 * database that holds the return (the returned invoice and the
 * disbursement that refunded it); DEVT_FACTURA keeps the invoice as prefix
 * followed by its 8-character number so the id can be found again
 * elsewhere.  DEVT_CONTABILIZADO, the thirtieth column, is this company's
 * own accounting state of the return: a replayed copy leaves it alone.
 * ------------------------------------------------------------------- */

CREATE SEQUENCE GEN_DEVOLUCIONES_VENTAS;
CREATE VIEW CAMBIE_ID_DEVOLCLIE (ID) AS
    SELECT NEXT VALUE FOR GEN_DEVOLUCIONES_VENTAS FROM RDB$DATABASE;

CREATE TABLE DEVOLUCIONES_VENTAS (
    DEVT_ID             INTEGER NOT NULL,
    PREF_PRE            VARCHAR(4) NOT NULL,
    DEVT_NUMERO         VARCHAR(8) NOT NULL,
    DEVT_FECHA          DATE,
    DEVT_HORA           TIME,
    TERC_NIT            VARCHAR(20),
    DEVT_NOMCLIENTE     VARCHAR(80),
    BODE_COD            VARCHAR(20),
    VEND_COD            INTEGER,
    DEVT_FACTID         INTEGER,
    DEVT_FACTURA        VARCHAR(12),
    DEVT_IDEGRE         INTEGER,
    DEVT_MOTIVO         VARCHAR(20),
    DEVT_SUBTOTAL       NUMERIC(15,2),
    DEVT_DESCUENTO      NUMERIC(15,2),
    DEVT_IVA            NUMERIC(15,2),
    DEVT_CONSUMO        NUMERIC(15,2),
    DEVT_RETEFUENTE     NUMERIC(15,2),
    DEVT_TOTAL          NUMERIC(15,2),
    DEVT_FORMAPAGO      CHAR(1),
    DEVT_IMPLICA        CHAR(1),
    DEVT_ANULADO        CHAR(1),
    DEVT_TRANSMIT       CHAR(1),
    DEVT_OBS            VARCHAR(200),
    DEVT_USUARIO        VARCHAR(20),
    DEVT_FECREG         DATE,
    CAJA_COD            VARCHAR(20),
    DEVT_TASACAMBIO     NUMERIC(15,4),
    NUMOK               CHAR(1),
    DEVT_CONTABILIZADO  CHAR(1),
    DEVT_FECCONTAB      DATE,
    CONSTRAINT PK_DEVOLUCIONES_VENTAS PRIMARY KEY (DEVT_ID)
);

CREATE INDEX IX_DEVOLUCIONES_VENTAS_NUMERO ON DEVOLUCIONES_VENTAS (PREF_PRE, DEVT_NUMERO);

CREATE TABLE DEVOLUCIONES_VENTAS_DETALLE (
    DEVT_ID           INTEGER NOT NULL,
    DVDE_ITEM         INTEGER NOT NULL,
    ARTI_COD          VARCHAR(20),
    BODE_COD          VARCHAR(20),
    DVDE_CANT         NUMERIC(15,4),
    DVDE_UNIDAD       VARCHAR(20),
    DVDE_FACTOR       NUMERIC(15,4),
    DVDE_LOTE         VARCHAR(20),
    DVDE_PRUNIT       NUMERIC(15,4),
    DVDE_DTOPORC      NUMERIC(15,2),
    DVDE_IVAPORC      NUMERIC(15,2),
    DVDE_IVAMONTO     NUMERIC(15,2),
    DVDE_CONSUMO      NUMERIC(15,2),
    DVDE_TOTAL        NUMERIC(15,2),
    DVDE_COSTO        NUMERIC(15,4),
    DVDE_FACTITEM     INTEGER,          /* line of the returned invoice */
    DVDE_CODBAR       VARCHAR(20),
    DVDE_OBS          VARCHAR(200),
    DVDE_ANULADO      CHAR(1),
    CONSTRAINT PK_DEVOLUCIONES_VENTAS_DET PRIMARY KEY (DEVT_ID, DVDE_ITEM)
);

/* ---------------------------------------------------------------------
 * Customer orders.
 * ------------------------------------------------------------------- */

CREATE SEQUENCE GEN_PEDIDOS;
CREATE VIEW CAMBIE_ID_PEDIDO (ID) AS
    SELECT NEXT VALUE FOR GEN_PEDIDOS FROM RDB$DATABASE;

CREATE TABLE PEDIDOS (
    PEDI_ID           INTEGER NOT NULL,
    PREF_PRE          VARCHAR(4) NOT NULL,
    PEDI_NUMERO       VARCHAR(8) NOT NULL,
    PEDI_FECHA        DATE,
    PEDI_HORA         TIME,
    TERC_NIT          VARCHAR(20),
    PEDI_NOMCLIENTE   VARCHAR(80),
    CLCU_COD          VARCHAR(20),
    BODE_COD          VARCHAR(20),
    VEND_COD          INTEGER,
    LIPR_COD          INTEGER,
    PEDI_FECENTREGA   DATE,
    PEDI_DIRENTREGA   VARCHAR(120),
    PEDI_FORMAPAGO    CHAR(1),
    PEDI_PLAZO        INTEGER,
    PEDI_SUBTOTAL     NUMERIC(15,2),
    PEDI_DESCUENTO    NUMERIC(15,2),
    PEDI_IVA          NUMERIC(15,2),
    PEDI_TOTAL        NUMERIC(15,2),
    PEDI_ANTICIPO     NUMERIC(15,2),
    PEDI_ESTADO       CHAR(1),          /* P pending, D dispatched, C closed */
    PEDI_OBS          VARCHAR(200),
    PEDI_ANULADO      CHAR(1),
    PEDI_TRANSMIT     CHAR(1),
    PEDI_USUARIO      VARCHAR(20),
    PEDI_FECREG       DATE,
    NUMOK             CHAR(1),
    CONSTRAINT PK_PEDIDOS PRIMARY KEY (PEDI_ID)
);

CREATE INDEX IX_PEDIDOS_NUMERO ON PEDIDOS (PREF_PRE, PEDI_NUMERO);

CREATE TABLE PEDIDOS_DETALLE (
    PEDI_ID           INTEGER NOT NULL,
    PEDE_ITEM         INTEGER NOT NULL,
    ARTI_COD          VARCHAR(20),
    BODE_COD          VARCHAR(20),
    PEDE_CANT         NUMERIC(15,4),
    PEDE_UNIDAD       VARCHAR(20),
    PEDE_FACTOR       NUMERIC(15,4),
    PEDE_PRUNIT       NUMERIC(15,4),
    PEDE_DTOPORC      NUMERIC(15,2),
    PEDE_IVAPORC      NUMERIC(15,2),
    PEDE_IVAMONTO     NUMERIC(15,2),
    PEDE_TOTAL        NUMERIC(15,2),
    PEDE_CANTDESP     NUMERIC(15,4),    /* quantity already dispatched */
    PEDE_CANTFACT     NUMERIC(15,4),    /* quantity already invoiced */
    PEDE_FECENTREGA   DATE,
    PEDE_CODBAR       VARCHAR(20),
    PEDE_OBS          VARCHAR(200),
    PEDE_ANULADO      CHAR(1),
    CONSTRAINT PK_PEDIDOS_DETALLE PRIMARY KEY (PEDI_ID, PEDE_ITEM)
);

/* ---------------------------------------------------------------------
 * Quotations.
 * ------------------------------------------------------------------- */

CREATE SEQUENCE GEN_COTIZACIONES;
CREATE VIEW CAMBIE_ID_COTIZACI (ID) AS
    SELECT NEXT VALUE FOR GEN_COTIZACIONES FROM RDB$DATABASE;

CREATE TABLE COTIZACIONES (
    COTI_ID           INTEGER NOT NULL,
    PREF_PRE          VARCHAR(4) NOT NULL,
    COTI_NUMERO       VARCHAR(8) NOT NULL,
    COTI_FECHA        DATE,
    COTI_HORA         TIME,
    TERC_NIT          VARCHAR(20),
    COTI_NOMCLIENTE   VARCHAR(80),
    COTI_CONTACTO     VARCHAR(80),
    COTI_EMAIL        VARCHAR(80),
    BODE_COD          VARCHAR(20),
    VEND_COD          INTEGER,
    LIPR_COD          INTEGER,
    COTI_VALIDEZ      INTEGER,          /* days the offer holds */
    COTI_FECVENCE     DATE,
    COTI_FORMAPAGO    CHAR(1),
    COTI_SUBTOTAL     NUMERIC(15,2),
    COTI_DESCUENTO    NUMERIC(15,2),
    COTI_IVA          NUMERIC(15,2),
    COTI_TOTAL        NUMERIC(15,2),
    COTI_ESTADO       CHAR(1),          /* P pending, A accepted, R rejected */
    COTI_OBS          VARCHAR(200),
    COTI_ANULADO      CHAR(1),
    COTI_TRANSMIT     CHAR(1),
    COTI_USUARIO      VARCHAR(20),
    COTI_FECREG       DATE,
    NUMOK             CHAR(1),
    CONSTRAINT PK_COTIZACIONES PRIMARY KEY (COTI_ID)
);

CREATE INDEX IX_COTIZACIONES_NUMERO ON COTIZACIONES (PREF_PRE, COTI_NUMERO);

CREATE TABLE COTIZACIONES_DETALLE (
    COTI_ID           INTEGER NOT NULL,
    COTD_ITEM         INTEGER NOT NULL,
    ARTI_COD          VARCHAR(20),
    BODE_COD          VARCHAR(20),
    COTD_CANT         NUMERIC(15,4),
    COTD_UNIDAD       VARCHAR(20),
    COTD_FACTOR       NUMERIC(15,4),
    COTD_PRUNIT       NUMERIC(15,4),
    COTD_DTOPORC      NUMERIC(15,2),
    COTD_IVAPORC      NUMERIC(15,2),
    COTD_IVAMONTO     NUMERIC(15,2),
    COTD_TOTAL        NUMERIC(15,2),
    COTD_ENTREGA      INTEGER,          /* delivery time, days */
    COTD_DESCRIPCION  VARCHAR(200),
    COTD_CODBAR       VARCHAR(20),
    COTD_OBS          VARCHAR(200),
    COTD_ANULADO      CHAR(1),
    CONSTRAINT PK_COTIZACIONES_DETALLE PRIMARY KEY (COTI_ID, COTD_ITEM)
);
