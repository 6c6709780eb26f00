/*
 * Company database, treasury documents: cash receipts, disbursements,
 * document exchanges, card deposits, provisional receipts, cash transfers,
 * the bank documents, and the customers' loyalty points with the procedure
 * that accrues them (ACUMULA_PUNTOS_CLIENTE).
 *
 * As everywhere in the company schema, replicated rows travel column by
 * column, by position: only append columns.  Header tables start with their
 * integer id; line tables start with the id of their header and are keyed
 * on (header id, line number).
 *
 * Bank documents belong to a bank account (CUBA_COD, a number) and a bank
 * prefix (PRBA_PREF): the same prefix and number may exist once per
 * account.
 */

/* ---------------------------------------------------------------------
 * Cash receipts.  The lines of RECIBOS_CAJA_DETALLE (documents paid) and
 * RECIBOS_CAJA_CRUCEC (supplier documents crossed against the receipt)
 * name another document by type code, id, prefix and number in their
 * third to sixth columns; the id is local to this database and is looked
 * up again by prefix and number wherever the line is copied.  The amount
 * of a paid document is the seventh column.
 * ------------------------------------------------------------------- */

CREATE SEQUENCE GEN_RECIBOS_CAJA;
CREATE VIEW CAMBIE_ID_RECICAJA (ID) AS
    SELECT NEXT VALUE FOR GEN_RECIBOS_CAJA FROM RDB$DATABASE;

CREATE TABLE RECIBOS_CAJA (
    RECA_ID           INTEGER NOT NULL,
    PREF_PRE          VARCHAR(4) NOT NULL,
    RECA_NUMERO       VARCHAR(8) NOT NULL,
    RECA_FECHA        DATE,
    RECA_HORA         TIME,
    TERC_NIT          VARCHAR(20),
    RECA_NOMTERC      VARCHAR(80),
    COBR_COD          INTEGER,
    CAJA_COD          VARCHAR(20),
    RECA_CONCEPTO     VARCHAR(120),
    RECA_VALOR        NUMERIC(15,2),
    RECA_DESCUENTO    NUMERIC(15,2),
    RECA_RETEFUENTE   NUMERIC(15,2),
    RECA_RETEIVA      NUMERIC(15,2),
    RECA_RETEICA      NUMERIC(15,2),
    RECA_INTERES      NUMERIC(15,2),
    RECA_TOTAL        NUMERIC(15,2),
    RECA_EFECTIVO     NUMERIC(15,2),
    RECA_OTROSPAGOS   NUMERIC(15,2),
    RECA_OBS          VARCHAR(200),
    RECA_ANULADO      CHAR(1),
    RECA_TRANSMIT     CHAR(1),
    RECA_USUARIO      VARCHAR(20),
    RECA_FECREG       DATE,
    NUMOK             CHAR(1),
    CONSTRAINT PK_RECIBOS_CAJA PRIMARY KEY (RECA_ID)
);

CREATE INDEX IX_RECIBOS_CAJA_NUMERO ON RECIBOS_CAJA (PREF_PRE, RECA_NUMERO);

/* Documents the receipt pays: invoices (31), sales returns (33), customer
   notes (41, 42) and advances (45). */
CREATE TABLE RECIBOS_CAJA_DETALLE (
    RECA_ID           INTEGER NOT NULL,
    RCDE_ITEM         INTEGER NOT NULL,
    RCDE_TIPODOC      INTEGER,
    RCDE_IDDOC        INTEGER,
    RCDE_PREFDOC      VARCHAR(4),
    RCDE_NUMDOC       VARCHAR(8),
    RCDE_VALOR        NUMERIC(15,2),
    RCDE_DESCUENTO    NUMERIC(15,2),
    RCDE_RETEFUENTE   NUMERIC(15,2),
    RCDE_RETEIVA      NUMERIC(15,2),
    RCDE_RETEICA      NUMERIC(15,2),
    RCDE_INTERES      NUMERIC(15,2),
    RCDE_SALDOANT     NUMERIC(15,2),
    RCDE_FECDOC       DATE,
    RCDE_FECVENCE     DATE,
    CUEN_COD          VARCHAR(20),
    RCDE_OBS          VARCHAR(200),
    CONSTRAINT PK_RECIBOS_CAJA_DETALLE PRIMARY KEY (RECA_ID, RCDE_ITEM)
);

/* Supplier documents (21, 24, 51, 52, 55) crossed against the receipt. */
CREATE TABLE RECIBOS_CAJA_CRUCEC (
    RECA_ID           INTEGER NOT NULL,
    RCCC_ITEM         INTEGER NOT NULL,
    RCCC_TIPODOC      INTEGER,
    RCCC_IDDOC        INTEGER,
    RCCC_PREFDOC      VARCHAR(4),
    RCCC_NUMDOC       VARCHAR(8),
    RCCC_VALOR        NUMERIC(15,2),
    TERC_NIT          VARCHAR(20),
    RCCC_SALDOANT     NUMERIC(15,2),
    RCCC_FECDOC       DATE,
    RCCC_FECVENCE     DATE,
    CUEN_COD          VARCHAR(20),
    RCCC_DESCUENTO    NUMERIC(15,2),
    RCCC_RETEFUENTE   NUMERIC(15,2),
    RCCC_OBS          VARCHAR(200),
    CONSTRAINT PK_RECIBOS_CAJA_CRUCEC PRIMARY KEY (RECA_ID, RCCC_ITEM)
);

/* How the receipt was paid: cash, cheques, cards, transfers. */
CREATE TABLE RECIBOS_CAJA_PAGO (
    RECA_ID           INTEGER NOT NULL,
    RCPA_ITEM         INTEGER NOT NULL,
    FOPA_COD          VARCHAR(20),
    RCPA_VALOR        NUMERIC(15,2),
    RCPA_FECHA        DATE,
    BANC_COD          VARCHAR(20),
    RCPA_NUMDOC       VARCHAR(20),
    RCPA_GIRADOR      VARCHAR(80),
    RCPA_AUTORIZA     VARCHAR(20),
    TARJ_COD          VARCHAR(20),
    CUBA_COD          INTEGER,          /* account of a transfer received */
    RCPA_COMISION     NUMERIC(15,2),
    RCPA_CONSIGNADO   CHAR(1),          /* S once deposited in a bank */
    RCPA_FECCONSIG    DATE,
    RCPA_OBS          VARCHAR(200),
    CONSTRAINT PK_RECIBOS_CAJA_PAGO PRIMARY KEY (RECA_ID, RCPA_ITEM)
);

/* ---------------------------------------------------------------------
 * Disbursements.  EGRESOS_DETALLE names the supplier documents paid in
 * its third to sixth columns (type, id, prefix, number);
 * EGRESOS_CRUCEC names the customer documents crossed by type, prefix and
 * number in its third to fifth columns and keeps their id in EGCC_IDDOC.
 * ------------------------------------------------------------------- */

CREATE SEQUENCE GEN_EGRESOS;
CREATE VIEW CAMBIE_ID_EGRESO (ID) AS
    SELECT NEXT VALUE FOR GEN_EGRESOS FROM RDB$DATABASE;

CREATE TABLE EGRESOS (
    EGRE_ID            INTEGER NOT NULL,
    PREF_PRE           VARCHAR(4) NOT NULL,
    EGRE_NUMERO        VARCHAR(8) NOT NULL,
    EGRE_FECHA         DATE,
    EGRE_HORA          TIME,
    TERC_NIT           VARCHAR(20),
    EGRE_BENEFICIARIO  VARCHAR(80),
    EGRE_CONCEPTO      VARCHAR(120),
    CAJA_COD           VARCHAR(20),
    CUBA_COD           INTEGER,
    EGRE_FORMAPAGO     CHAR(1),         /* E cash, C cheque, T transfer */
    EGRE_NUMCHEQUE     VARCHAR(20),
    EGRE_VALOR         NUMERIC(15,2),
    EGRE_DESCUENTO     NUMERIC(15,2),
    EGRE_RETEFUENTE    NUMERIC(15,2),
    EGRE_RETEIVA       NUMERIC(15,2),
    EGRE_RETEICA       NUMERIC(15,2),
    EGRE_TOTAL         NUMERIC(15,2),
    EGRE_OBS           VARCHAR(200),
    EGRE_ANULADO       CHAR(1),
    EGRE_TRANSMIT      CHAR(1),
    EGRE_USUARIO       VARCHAR(20),
    EGRE_FECREG        DATE,
    NUMOK              CHAR(1),
    CONSTRAINT PK_EGRESOS PRIMARY KEY (EGRE_ID)
);

CREATE INDEX IX_EGRESOS_NUMERO ON EGRESOS (PREF_PRE, EGRE_NUMERO);

/* Supplier documents paid: purchase invoices (21), purchase returns (24),
   supplier notes (51, 52) and advances (55). */
CREATE TABLE EGRESOS_DETALLE (
    EGRE_ID           INTEGER NOT NULL,
    EGDE_ITEM         INTEGER NOT NULL,
    EGDE_TIPODOC      INTEGER,
    EGDE_IDDOC        INTEGER,
    EGDE_PREFDOC      VARCHAR(4),
    EGDE_NUMDOC       VARCHAR(8),
    EGDE_VALOR        NUMERIC(15,2),
    EGDE_DESCUENTO    NUMERIC(15,2),
    EGDE_RETEFUENTE   NUMERIC(15,2),
    EGDE_RETEIVA      NUMERIC(15,2),
    EGDE_RETEICA      NUMERIC(15,2),
    EGDE_SALDOANT     NUMERIC(15,2),
    EGDE_FECDOC       DATE,
    EGDE_FECVENCE     DATE,
    CUEN_COD          VARCHAR(20),
    EGDE_OBS          VARCHAR(200),
    CONSTRAINT PK_EGRESOS_DETALLE PRIMARY KEY (EGRE_ID, EGDE_ITEM)
);

/* Customer documents (31, 33, 41, 42, 45) crossed against the payment. */
CREATE TABLE EGRESOS_CRUCEC (
    EGRE_ID           INTEGER NOT NULL,
    EGCC_ITEM         INTEGER NOT NULL,
    EGCC_TIPODOC      INTEGER,
    EGCC_PREFDOC      VARCHAR(4),
    EGCC_NUMDOC       VARCHAR(8),
    EGCC_IDDOC        INTEGER,
    EGCC_VALOR        NUMERIC(15,2),
    TERC_NIT          VARCHAR(20),
    EGCC_SALDOANT     NUMERIC(15,2),
    EGCC_FECDOC       DATE,
    EGCC_FECVENCE     DATE,
    CUEN_COD          VARCHAR(20),
    EGCC_DESCUENTO    NUMERIC(15,2),
    EGCC_RETEFUENTE   NUMERIC(15,2),
    EGCC_OBS          VARCHAR(200),
    CONSTRAINT PK_EGRESOS_CRUCEC PRIMARY KEY (EGRE_ID, EGCC_ITEM)
);

/* Cash-desk part of a disbursement. */
CREATE TABLE EGRESOS_CAJA (
    EGRE_ID           INTEGER NOT NULL,
    EGCJ_ITEM         INTEGER NOT NULL,
    CAJA_COD          VARCHAR(20),
    FOPA_COD          VARCHAR(20),
    EGCJ_VALOR        NUMERIC(15,2),
    EGCJ_FECHA        DATE,
    EGCJ_HORA         TIME,
    EGCJ_RECIBE       VARCHAR(80),      /* who took the money */
    EGCJ_DOCRECIBE    VARCHAR(20),
    EGCJ_BASE         NUMERIC(15,2),
    EGCJ_SALDOCAJA    NUMERIC(15,2),
    EGCJ_ARQUEADO     CHAR(1),
    CUEN_COD          VARCHAR(20),
    EGCJ_USUARIO      VARCHAR(20),
    EGCJ_OBS          VARCHAR(200),
    CONSTRAINT PK_EGRESOS_CAJA PRIMARY KEY (EGRE_ID, EGCJ_ITEM)
);

/* Bank part of a disbursement: cheques written and transfers sent. */
CREATE TABLE EGRESOS_BANCO (
    EGRE_ID           INTEGER NOT NULL,
    EGBA_ITEM         INTEGER NOT NULL,
    CUBA_COD          INTEGER,
    PRBA_PREF         VARCHAR(4),
    EGBA_NUMDOC       VARCHAR(20),      /* cheque or transfer number */
    EGBA_VALOR        NUMERIC(15,2),
    EGBA_FECHA        DATE,
    EGBA_FECCOBRO     DATE,
    BANC_COD          VARCHAR(20),
    EGBA_BENEFICIARIO VARCHAR(80),
    EGBA_CTADESTINO   VARCHAR(30),
    EGBA_COMISION     NUMERIC(15,2),
    EGBA_GMF          NUMERIC(15,2),    /* financial transaction tax */
    CHEQ_ID           INTEGER,
    CUEN_COD          VARCHAR(20),
    EGBA_OBS          VARCHAR(200),
    CONSTRAINT PK_EGRESOS_BANCO PRIMARY KEY (EGRE_ID, EGBA_ITEM)
);

/* Accounting entries typed by hand on a disbursement. */
CREATE TABLE EGRESOS_CONTABILIDAD (
    EGRE_ID           INTEGER NOT NULL,
    EGCO_ITEM         INTEGER NOT NULL,
    CUEN_COD          VARCHAR(20),
    TERC_NIT          VARCHAR(20),
    CENC_COD          VARCHAR(20),      /* cost centre */
    EGCO_DEBITO       NUMERIC(15,2),
    EGCO_CREDITO      NUMERIC(15,2),
    EGCO_BASE         NUMERIC(15,2),
    EGCO_PORCENTAJE   NUMERIC(15,4),
    EGCO_PREFDOC      VARCHAR(4),
    EGCO_NUMDOC       VARCHAR(8),
    EGCO_FECDOC       DATE,
    EGCO_FECVENCE     DATE,
    EGCO_DETALLE      VARCHAR(120),
    EGCO_OBS          VARCHAR(200),
    CONSTRAINT PK_EGRESOS_CONTABILIDAD PRIMARY KEY (EGRE_ID, EGCO_ITEM)
);

/* The hand-typed entries have no meaning without their disbursement: they
   go with it when it is deleted, so an undone copy leaves none behind. */
SET TERM ^ ;
CREATE TRIGGER EGRESOS_AD_CONTABILIDAD FOR EGRESOS
ACTIVE AFTER DELETE POSITION 0
AS
BEGIN
    DELETE FROM EGRESOS_CONTABILIDAD WHERE EGRE_ID = OLD.EGRE_ID;
END^
SET TERM ; ^

/* ---------------------------------------------------------------------
 * Document exchanges: the customer hands in documents of value (cheques,
 * vouchers) and receives others in exchange.
 * ------------------------------------------------------------------- */

CREATE SEQUENCE GEN_CAMBIO_DOCUMENTOS;
CREATE VIEW CAMBIE_ID_CAMBDOCU (ID) AS
    SELECT NEXT VALUE FOR GEN_CAMBIO_DOCUMENTOS FROM RDB$DATABASE;

CREATE TABLE CAMBIO_DOCUMENTOS (
    CADO_ID           INTEGER NOT NULL,
    PREF_PRE          VARCHAR(4) NOT NULL,
    CADO_NUMERO       VARCHAR(8) NOT NULL,
    CADO_FECHA        DATE,
    CADO_HORA         TIME,
    TERC_NIT          VARCHAR(20),
    CADO_NOMTERC      VARCHAR(80),
    CAJA_COD          VARCHAR(20),
    CADO_CONCEPTO     VARCHAR(120),
    CADO_VALORENTRA   NUMERIC(15,2),
    CADO_VALORSALE    NUMERIC(15,2),
    CADO_DIFERENCIA   NUMERIC(15,2),
    CADO_COMISION     NUMERIC(15,2),
    CADO_OBS          VARCHAR(200),
    CADO_ANULADO      CHAR(1),
    CADO_TRANSMIT     CHAR(1),
    CADO_USUARIO      VARCHAR(20),
    CADO_FECREG       DATE,
    NUMOK             CHAR(1),
    CONSTRAINT PK_CAMBIO_DOCUMENTOS PRIMARY KEY (CADO_ID)
);

CREATE INDEX IX_CAMBIO_DOCUMENTOS_NUMERO ON CAMBIO_DOCUMENTOS (PREF_PRE, CADO_NUMERO);

CREATE TABLE CAMBIODOC_ENTRADAS (
    CADO_ID           INTEGER NOT NULL,
    CDEN_ITEM         INTEGER NOT NULL,
    FOPA_COD          VARCHAR(20),
    CDEN_VALOR        NUMERIC(15,2),
    CDEN_FECHA        DATE,
    CDEN_FECCOBRO     DATE,
    BANC_COD          VARCHAR(20),
    CDEN_NUMDOC       VARCHAR(20),
    CDEN_GIRADOR      VARCHAR(80),
    CDEN_AUTORIZA     VARCHAR(20),
    TARJ_COD          VARCHAR(20),
    CDEN_COMISION     NUMERIC(15,2),
    CDEN_CONSIGNADO   CHAR(1),
    CUEN_COD          VARCHAR(20),
    CDEN_OBS          VARCHAR(200),
    CONSTRAINT PK_CAMBIODOC_ENTRADAS PRIMARY KEY (CADO_ID, CDEN_ITEM)
);

CREATE TABLE CAMBIODOC_SALIDAS (
    CADO_ID           INTEGER NOT NULL,
    CDSA_ITEM         INTEGER NOT NULL,
    FOPA_COD          VARCHAR(20),
    CDSA_VALOR        NUMERIC(15,2),
    CDSA_FECHA        DATE,
    CDSA_FECCOBRO     DATE,
    BANC_COD          VARCHAR(20),
    CDSA_NUMDOC       VARCHAR(20),
    CDSA_GIRADOR      VARCHAR(80),
    CDSA_AUTORIZA     VARCHAR(20),
    TARJ_COD          VARCHAR(20),
    CDSA_COMISION     NUMERIC(15,2),
    CDSA_IDENTRADA    INTEGER,          /* document of value handed back */
    CUEN_COD          VARCHAR(20),
    CDSA_OBS          VARCHAR(200),
    CONSTRAINT PK_CAMBIODOC_SALIDAS PRIMARY KEY (CADO_ID, CDSA_ITEM)
);

/* ---------------------------------------------------------------------
 * Card deposits: card vouchers taken at the cash desk, settled into a
 * bank account by the card network.
 * ------------------------------------------------------------------- */

CREATE SEQUENCE GEN_CONSIGNA_TARJETAS;
CREATE VIEW CAMBIE_ID_CONSIGNATAR (ID) AS
    SELECT NEXT VALUE FOR GEN_CONSIGNA_TARJETAS FROM RDB$DATABASE;

CREATE TABLE CONSIGNA_TARJETAS (
    COTJ_ID           INTEGER NOT NULL,
    PREF_PRE          VARCHAR(4) NOT NULL,
    COTJ_NUMERO       VARCHAR(8) NOT NULL,
    COTJ_FECHA        DATE,
    COTJ_HORA         TIME,
    CUBA_COD          INTEGER,
    CAJA_COD          VARCHAR(20),
    TARJ_COD          VARCHAR(20),
    TERC_NIT          VARCHAR(20),      /* card network */
    COTJ_VALOR        NUMERIC(15,2),
    COTJ_COMISION     NUMERIC(15,2),
    COTJ_RETEFUENTE   NUMERIC(15,2),
    COTJ_RETEIVA      NUMERIC(15,2),
    COTJ_RETEICA      NUMERIC(15,2),
    COTJ_NETO         NUMERIC(15,2),
    COTJ_OBS          VARCHAR(200),
    COTJ_ANULADO      CHAR(1),
    COTJ_TRANSMIT     CHAR(1),
    COTJ_USUARIO      VARCHAR(20),
    COTJ_FECREG       DATE,
    NUMOK             CHAR(1),
    CONSTRAINT PK_CONSIGNA_TARJETAS PRIMARY KEY (COTJ_ID)
);

CREATE INDEX IX_CONSIGNA_TARJETAS_NUMERO ON CONSIGNA_TARJETAS (PREF_PRE, COTJ_NUMERO);

CREATE TABLE CONSIGNA_TARJETAS_DET (
    COTJ_ID           INTEGER NOT NULL,
    CTDE_ITEM         INTEGER NOT NULL,
    TARJ_COD          VARCHAR(20),
    CTDE_VOUCHER      VARCHAR(20),
    CTDE_AUTORIZA     VARCHAR(20),
    CTDE_FECHA        DATE,
    CTDE_VALOR        NUMERIC(15,2),
    CTDE_COMISION     NUMERIC(15,2),
    CTDE_RETEFUENTE   NUMERIC(15,2),
    CTDE_RETEIVA      NUMERIC(15,2),
    CTDE_NETO         NUMERIC(15,2),
    CTDE_PREFDOC      VARCHAR(4),       /* receipt or invoice paid by card */
    CTDE_NUMDOC       VARCHAR(8),
    CTDE_TIPODOC      INTEGER,
    CTDE_OBS          VARCHAR(200),
    CONSTRAINT PK_CONSIGNA_TARJETAS_DET PRIMARY KEY (COTJ_ID, CTDE_ITEM)
);

/* ---------------------------------------------------------------------
 * Provisional receipts: money taken before the documents it pays are
 * known; a cash receipt settles it later.
 * ------------------------------------------------------------------- */

CREATE SEQUENCE GEN_RECIBO_PROVISIONAL;
CREATE VIEW CAMBIE_ID_RECIPROV (ID) AS
    SELECT NEXT VALUE FOR GEN_RECIBO_PROVISIONAL FROM RDB$DATABASE;

CREATE TABLE RECIBO_PROVISIONAL (
    RCPR_ID           INTEGER NOT NULL,
    PREF_PRE          VARCHAR(4) NOT NULL,
    RCPR_NUMERO       VARCHAR(8) NOT NULL,
    RCPR_FECHA        DATE,
    RCPR_HORA         TIME,
    TERC_NIT          VARCHAR(20),
    RCPR_NOMTERC      VARCHAR(80),
    COBR_COD          INTEGER,
    CAJA_COD          VARCHAR(20),
    RCPR_CONCEPTO     VARCHAR(120),
    RCPR_VALOR        NUMERIC(15,2),
    RCPR_APLICADO     NUMERIC(15,2),    /* part already settled */
    RCPR_SALDO        NUMERIC(15,2),
    RCPR_RECAID       INTEGER,          /* receipt that settled it */
    RCPR_OBS          VARCHAR(200),
    RCPR_ANULADO      CHAR(1),
    RCPR_TRANSMIT     CHAR(1),
    RCPR_USUARIO      VARCHAR(20),
    RCPR_FECREG       DATE,
    NUMOK             CHAR(1),
    CONSTRAINT PK_RECIBO_PROVISIONAL PRIMARY KEY (RCPR_ID)
);

CREATE INDEX IX_RECIBO_PROVISIONAL_NUMERO ON RECIBO_PROVISIONAL (PREF_PRE, RCPR_NUMERO);

CREATE TABLE RECIBO_PROVISIONAL_DETALLE (
    RCPR_ID           INTEGER NOT NULL,
    RPDE_ITEM         INTEGER NOT NULL,
    RPDE_TIPODOC      INTEGER,
    RPDE_PREFDOC      VARCHAR(4),
    RPDE_NUMDOC       VARCHAR(8),
    RPDE_VALOR        NUMERIC(15,2),
    RPDE_DESCUENTO    NUMERIC(15,2),
    RPDE_RETEFUENTE   NUMERIC(15,2),
    RPDE_SALDOANT     NUMERIC(15,2),
    RPDE_FECDOC       DATE,
    RPDE_FECVENCE     DATE,
    CUEN_COD          VARCHAR(20),
    RPDE_CONCEPTO     VARCHAR(120),
    RPDE_APLICADO     CHAR(1),
    RPDE_OBS          VARCHAR(200),
    CONSTRAINT PK_RECIBO_PROVISIONAL_DETALLE PRIMARY KEY (RCPR_ID, RPDE_ITEM)
);

CREATE TABLE RECIBO_PROVISIONAL_PAGO (
    RCPR_ID           INTEGER NOT NULL,
    RPPA_ITEM         INTEGER NOT NULL,
    FOPA_COD          VARCHAR(20),
    RPPA_VALOR        NUMERIC(15,2),
    RPPA_FECHA        DATE,
    BANC_COD          VARCHAR(20),
    RPPA_NUMDOC       VARCHAR(20),
    RPPA_GIRADOR      VARCHAR(80),
    RPPA_AUTORIZA     VARCHAR(20),
    TARJ_COD          VARCHAR(20),
    CUBA_COD          INTEGER,
    RPPA_COMISION     NUMERIC(15,2),
    RPPA_CONSIGNADO   CHAR(1),
    RPPA_FECCONSIG    DATE,
    RPPA_OBS          VARCHAR(200),
    CONSTRAINT PK_RECIBO_PROVISIONAL_PAGO PRIMARY KEY (RCPR_ID, RPPA_ITEM)
);

/* ---------------------------------------------------------------------
 * Cash transfers between cash desks.
 * ------------------------------------------------------------------- */

CREATE SEQUENCE GEN_TRASLADOS_CAJA;
CREATE VIEW CAMBIE_ID_TRASLACAJA (ID) AS
    SELECT NEXT VALUE FOR GEN_TRASLADOS_CAJA FROM RDB$DATABASE;

CREATE TABLE TRASLADOS_CAJA (
    TRCJ_ID           INTEGER NOT NULL,
    PREF_PRE          VARCHAR(4) NOT NULL,
    TRCJ_NUMERO       VARCHAR(8) NOT NULL,
    TRCJ_FECHA        DATE,
    TRCJ_HORA         TIME,
    TRCJ_CAJAORIGEN   VARCHAR(20),
    TRCJ_CAJADESTINO  VARCHAR(20),
    SUCU_COD          VARCHAR(20),
    TRCJ_CONCEPTO     VARCHAR(120),
    TRCJ_EFECTIVO     NUMERIC(15,2),
    TRCJ_CHEQUES      NUMERIC(15,2),
    TRCJ_OTROS        NUMERIC(15,2),
    TRCJ_TOTAL        NUMERIC(15,2),
    TRCJ_ENTREGA      VARCHAR(80),
    TRCJ_RECIBE       VARCHAR(80),
    TRCJ_RECIBIDO     CHAR(1),          /* S once the receiving desk confirms */
    TRCJ_OBS          VARCHAR(200),
    TRCJ_ANULADO      CHAR(1),
    TRCJ_TRANSMIT     CHAR(1),
    TRCJ_USUARIO      VARCHAR(20),
    TRCJ_FECREG       DATE,
    NUMOK             CHAR(1),
    CONSTRAINT PK_TRASLADOS_CAJA PRIMARY KEY (TRCJ_ID)
);

CREATE INDEX IX_TRASLADOS_CAJA_NUMERO ON TRASLADOS_CAJA (PREF_PRE, TRCJ_NUMERO);

CREATE TABLE TRASLADOS_CAJA_DET (
    TRCJ_ID           INTEGER NOT NULL,
    TCDE_ITEM         INTEGER NOT NULL,
    FOPA_COD          VARCHAR(20),
    TCDE_VALOR        NUMERIC(15,2),
    TCDE_FECHA        DATE,
    BANC_COD          VARCHAR(20),
    TCDE_NUMDOC       VARCHAR(20),
    TCDE_GIRADOR      VARCHAR(80),
    TCDE_FECCOBRO     DATE,
    TARJ_COD          VARCHAR(20),
    TCDE_PREFREF      VARCHAR(4),       /* receipt the value came in with */
    TCDE_NUMREF       VARCHAR(8),
    TCDE_DENOMINACION NUMERIC(15,2),    /* note or coin value, cash lines */
    TCDE_UNIDADES     INTEGER,
    TCDE_OBS          VARCHAR(200),
    CONSTRAINT PK_TRASLADOS_CAJA_DET PRIMARY KEY (TRCJ_ID, TCDE_ITEM)
);

/* ---------------------------------------------------------------------
 * Bank deposits.  CUBA_COD is the account deposited into.
 * ------------------------------------------------------------------- */

CREATE SEQUENCE GEN_CONSIGNA;
CREATE VIEW CAMBIE_ID_CONSIGNA (ID) AS
    SELECT NEXT VALUE FOR GEN_CONSIGNA FROM RDB$DATABASE;

CREATE TABLE CONSIGNA (
    CONS_ID           INTEGER NOT NULL,
    CUBA_COD          INTEGER NOT NULL,
    PRBA_PREF         VARCHAR(4) NOT NULL,
    CONS_NUMERO       VARCHAR(8) NOT NULL,
    CONS_FECHA        DATE,
    CONS_HORA         TIME,
    CAJA_COD          VARCHAR(20),
    TERC_NIT          VARCHAR(20),
    CONS_CONCEPTO     VARCHAR(120),
    CONS_EFECTIVO     NUMERIC(15,2),
    CONS_CHEQUES      NUMERIC(15,2),
    CONS_OTROS        NUMERIC(15,2),
    CONS_TOTAL        NUMERIC(15,2),
    CONS_NUMBANCO     VARCHAR(20),      /* the bank's own slip number */
    CONS_CONCILIADO   CHAR(1),
    CONS_FECCONCILIA  DATE,
    CONS_OBS          VARCHAR(200),
    CONS_ANULADO      CHAR(1),
    CONS_TRANSMIT     CHAR(1),
    CONS_USUARIO      VARCHAR(20),
    CONS_FECREG       DATE,
    NUMOK             CHAR(1),
    CONSTRAINT PK_CONSIGNA PRIMARY KEY (CONS_ID)
);

CREATE INDEX IX_CONSIGNA_NUMERO ON CONSIGNA (CUBA_COD, PRBA_PREF, CONS_NUMERO);

CREATE TABLE CONSIGNA_DETALLE (
    CONS_ID           INTEGER NOT NULL,
    CNDE_ITEM         INTEGER NOT NULL,
    FOPA_COD          VARCHAR(20),      /* cash, cheque, card... */
    CNDE_VALOR        NUMERIC(15,2),
    BANC_COD          VARCHAR(20),
    CNDE_NUMCHEQUE    VARCHAR(20),
    CNDE_GIRADOR      VARCHAR(80),
    CNDE_FECHA        DATE,
    CNDE_FECCOBRO     DATE,
    CNDE_TIPODOC      INTEGER,          /* document the value came in with */
    CNDE_PREFDOC      VARCHAR(4),
    CNDE_NUMDOC       VARCHAR(8),
    CNDE_DEVUELTO     CHAR(1),          /* S when the cheque bounced */
    CUEN_COD          VARCHAR(20),
    CNDE_OBS          VARCHAR(200),
    CONSTRAINT PK_CONSIGNA_DETALLE PRIMARY KEY (CONS_ID, CNDE_ITEM)
);

/* ---------------------------------------------------------------------
 * Cheques written on an account.
 * ------------------------------------------------------------------- */

CREATE SEQUENCE GEN_CHEQUES;
CREATE VIEW CAMBIE_ID_CHEQUE (ID) AS
    SELECT NEXT VALUE FOR GEN_CHEQUES FROM RDB$DATABASE;

CREATE TABLE CHEQUES (
    CHEQ_ID            INTEGER NOT NULL,
    CUBA_COD           INTEGER NOT NULL,
    PRBA_PREF          VARCHAR(4) NOT NULL,
    CHEQ_NUMERO        VARCHAR(8) NOT NULL,
    CHEQ_FECHA         DATE,
    CHEQ_FECCOBRO      DATE,
    TERC_NIT           VARCHAR(20),
    CHEQ_BENEFICIARIO  VARCHAR(80),
    CHEQ_CONCEPTO      VARCHAR(120),
    CHEQ_VALOR         NUMERIC(15,2),
    CHEQ_GMF           NUMERIC(15,2),
    CHEQ_PREFEGRE      VARCHAR(4),      /* disbursement that issued it */
    CHEQ_NUMEGRE       VARCHAR(8),
    CHEQ_ESTADO        CHAR(1),         /* G written, E delivered, C cashed */
    CHEQ_CONCILIADO    CHAR(1),
    CHEQ_FECCONCILIA   DATE,
    CHEQ_OBS           VARCHAR(200),
    CHEQ_ANULADO       CHAR(1),
    CHEQ_TRANSMIT      CHAR(1),
    CHEQ_USUARIO       VARCHAR(20),
    CHEQ_FECREG        DATE,
    NUMOK              CHAR(1),
    CONSTRAINT PK_CHEQUES PRIMARY KEY (CHEQ_ID)
);

CREATE INDEX IX_CHEQUES_NUMERO ON CHEQUES (CUBA_COD, PRBA_PREF, CHEQ_NUMERO);

/* ---------------------------------------------------------------------
 * Withdrawals from an account.
 * ------------------------------------------------------------------- */

CREATE SEQUENCE GEN_RETIROS;
CREATE VIEW CAMBIE_ID_RETIRO (ID) AS
    SELECT NEXT VALUE FOR GEN_RETIROS FROM RDB$DATABASE;

CREATE TABLE RETIROS (
    RETI_ID           INTEGER NOT NULL,
    CUBA_COD          INTEGER NOT NULL,
    PRBA_PREF         VARCHAR(4) NOT NULL,
    RETI_NUMERO       VARCHAR(8) NOT NULL,
    RETI_FECHA        DATE,
    RETI_HORA         TIME,
    CAJA_COD          VARCHAR(20),      /* cash desk that received it */
    TERC_NIT          VARCHAR(20),
    RETI_CONCEPTO     VARCHAR(120),
    RETI_VALOR        NUMERIC(15,2),
    RETI_GMF          NUMERIC(15,2),
    RETI_COMISION     NUMERIC(15,2),
    RETI_MEDIO        CHAR(1),          /* V teller, C cash machine */
    RETI_CONCILIADO   CHAR(1),
    RETI_FECCONCILIA  DATE,
    RETI_OBS          VARCHAR(200),
    RETI_ANULADO      CHAR(1),
    RETI_TRANSMIT     CHAR(1),
    RETI_USUARIO      VARCHAR(20),
    RETI_FECREG       DATE,
    NUMOK             CHAR(1),
    CONSTRAINT PK_RETIROS PRIMARY KEY (RETI_ID)
);

CREATE INDEX IX_RETIROS_NUMERO ON RETIROS (CUBA_COD, PRBA_PREF, RETI_NUMERO);

/* ---------------------------------------------------------------------
 * Bank debit and credit notes: charges and credits the bank makes on an
 * account (fees, interest, taxes, direct payments).
 * ------------------------------------------------------------------- */

CREATE SEQUENCE GEN_NOTAS_DEBITO;
CREATE VIEW CAMBIE_ID_NOTA_DB_BANCO (ID) AS
    SELECT NEXT VALUE FOR GEN_NOTAS_DEBITO FROM RDB$DATABASE;

CREATE TABLE NOTAS_DEBITO (
    NDBC_ID           INTEGER NOT NULL,
    CUBA_COD          INTEGER NOT NULL,
    PRBA_PREF         VARCHAR(4) NOT NULL,
    NDBC_NUMERO       VARCHAR(8) NOT NULL,
    NDBC_FECHA        DATE,
    TERC_NIT          VARCHAR(20),
    NDBC_CONCEPTO     VARCHAR(120),
    CUEN_COD          VARCHAR(20),      /* ledger account charged */
    CENC_COD          VARCHAR(20),
    NDBC_VALOR        NUMERIC(15,2),
    NDBC_IVA          NUMERIC(15,2),
    NDBC_GMF          NUMERIC(15,2),
    NDBC_TOTAL        NUMERIC(15,2),
    NDBC_NUMBANCO     VARCHAR(20),
    NDBC_CONCILIADO   CHAR(1),
    NDBC_FECCONCILIA  DATE,
    NDBC_OBS          VARCHAR(200),
    NDBC_ANULADO      CHAR(1),
    NDBC_TRANSMIT     CHAR(1),
    NDBC_USUARIO      VARCHAR(20),
    NDBC_FECREG       DATE,
    NUMOK             CHAR(1),
    CONSTRAINT PK_NOTAS_DEBITO PRIMARY KEY (NDBC_ID)
);

CREATE INDEX IX_NOTAS_DEBITO_NUMERO ON NOTAS_DEBITO (CUBA_COD, PRBA_PREF, NDBC_NUMERO);

CREATE SEQUENCE GEN_NOTAS_CREDITO;
CREATE VIEW CAMBIE_ID_NOTA_CR_BANCO (ID) AS
    SELECT NEXT VALUE FOR GEN_NOTAS_CREDITO FROM RDB$DATABASE;

CREATE TABLE NOTAS_CREDITO (
    NCBC_ID           INTEGER NOT NULL,
    CUBA_COD          INTEGER NOT NULL,
    PRBA_PREF         VARCHAR(4) NOT NULL,
    NCBC_NUMERO       VARCHAR(8) NOT NULL,
    NCBC_FECHA        DATE,
    TERC_NIT          VARCHAR(20),
    NCBC_CONCEPTO     VARCHAR(120),
    CUEN_COD          VARCHAR(20),      /* ledger account credited */
    CENC_COD          VARCHAR(20),
    NCBC_VALOR        NUMERIC(15,2),
    NCBC_RETEFUENTE   NUMERIC(15,2),
    NCBC_RETEICA      NUMERIC(15,2),
    NCBC_TOTAL        NUMERIC(15,2),
    NCBC_NUMBANCO     VARCHAR(20),
    NCBC_CONCILIADO   CHAR(1),
    NCBC_FECCONCILIA  DATE,
    NCBC_OBS          VARCHAR(200),
    NCBC_ANULADO      CHAR(1),
    NCBC_TRANSMIT     CHAR(1),
    NCBC_USUARIO      VARCHAR(20),
    NCBC_FECREG       DATE,
    NUMOK             CHAR(1),
    CONSTRAINT PK_NOTAS_CREDITO PRIMARY KEY (NCBC_ID)
);

CREATE INDEX IX_NOTAS_CREDITO_NUMERO ON NOTAS_CREDITO (CUBA_COD, PRBA_PREF, NCBC_NUMERO);

/* ---------------------------------------------------------------------
 * Transfers between two bank accounts; CUBA_COD is the account debited.
 * ------------------------------------------------------------------- */

CREATE SEQUENCE GEN_TRASLADOS;
CREATE VIEW CAMBIE_ID_TRASLADO (ID) AS
    SELECT NEXT VALUE FOR GEN_TRASLADOS FROM RDB$DATABASE;

CREATE TABLE TRASLADOS (
    TRAS_ID           INTEGER NOT NULL,
    CUBA_COD          INTEGER NOT NULL,
    PRBA_PREF         VARCHAR(4) NOT NULL,
    TRAS_NUMERO       VARCHAR(8) NOT NULL,
    TRAS_FECHA        DATE,
    TRAS_CUBADESTINO  INTEGER,          /* account credited */
    TERC_NIT          VARCHAR(20),
    TRAS_CONCEPTO     VARCHAR(120),
    TRAS_VALOR        NUMERIC(15,2),
    TRAS_COMISION     NUMERIC(15,2),
    TRAS_GMF          NUMERIC(15,2),
    TRAS_TOTAL        NUMERIC(15,2),
    TRAS_NUMBANCO     VARCHAR(20),
    TRAS_CONCILIADO   CHAR(1),
    TRAS_FECCONCILIA  DATE,
    TRAS_OBS          VARCHAR(200),
    TRAS_ANULADO      CHAR(1),
    TRAS_TRANSMIT     CHAR(1),
    TRAS_USUARIO      VARCHAR(20),
    TRAS_FECREG       DATE,
    NUMOK             CHAR(1),
    CONSTRAINT PK_TRASLADOS PRIMARY KEY (TRAS_ID)
);

CREATE INDEX IX_TRASLADOS_NUMERO ON TRASLADOS (CUBA_COD, PRBA_PREF, TRAS_NUMERO);

/* ---------------------------------------------------------------------
 * Returned cheques: a deposited customer cheque the bank sent back.  The
 * document number column is DVCH_NUMDOC; DVCH_NUMCHEQUE is the cheque's
 * own number.
 * ------------------------------------------------------------------- */

CREATE SEQUENCE GEN_DEVOLUCION_CHEQUES;
CREATE VIEW CAMBIE_ID_DEV_CHEQUES (ID) AS
    SELECT NEXT VALUE FOR GEN_DEVOLUCION_CHEQUES FROM RDB$DATABASE;

CREATE TABLE DEVOLUCION_CHEQUES (
    DVCH_ID           INTEGER NOT NULL,
    CUBA_COD          INTEGER NOT NULL,
    PRBA_PREF         VARCHAR(4) NOT NULL,
    DVCH_NUMDOC       VARCHAR(8) NOT NULL,
    DVCH_FECHA        DATE,
    TERC_NIT          VARCHAR(20),
    DVCH_GIRADOR      VARCHAR(80),
    BANC_COD          VARCHAR(20),
    DVCH_NUMCHEQUE    VARCHAR(20),
    DVCH_VALOR        NUMERIC(15,2),
    DVCH_COMISION     NUMERIC(15,2),
    DVCH_MOTIVO       VARCHAR(80),
    DVCH_PREFCONS     VARCHAR(4),       /* deposit the cheque went in with */
    DVCH_NUMCONS      VARCHAR(8),
    DVCH_TIPODOC      INTEGER,          /* document the cheque paid */
    DVCH_PREFREF      VARCHAR(4),
    DVCH_NUMREF       VARCHAR(8),
    DVCH_RECUPERADO   CHAR(1),          /* S once the customer paid again */
    DVCH_OBS          VARCHAR(200),
    DVCH_ANULADO      CHAR(1),
    DVCH_TRANSMIT     CHAR(1),
    DVCH_USUARIO      VARCHAR(20),
    DVCH_FECREG       DATE,
    NUMOK             CHAR(1),
    CONSTRAINT PK_DEVOLUCION_CHEQUES PRIMARY KEY (DVCH_ID)
);

CREATE INDEX IX_DEVOLUCION_CHEQUES_NUMERO ON DEVOLUCION_CHEQUES (CUBA_COD, PRBA_PREF, DVCH_NUMDOC);

/* ---------------------------------------------------------------------
 * Loyalty points.
 *
 * PUNTOS_CLIENTE holds one record per document that moved a customer's
 * points: sales invoices (31) earn, sales returns (33) give back,
 * redemptions (81) spend.  A record is identified across companies by
 * document type, prefix and number; PTCL_IDDOC is the document's id in
 * the database that holds the record.  CLIENTE_PUNTOS_SALDO keeps each
 * customer's balance; ACUMULA_PUNTOS_CLIENTE maintains both.
 * ------------------------------------------------------------------- */

CREATE SEQUENCE GEN_PUNTOS_REDENCION;
CREATE VIEW CAMBIE_ID_REDIPTOS (ID) AS
    SELECT NEXT VALUE FOR GEN_PUNTOS_REDENCION FROM RDB$DATABASE;

CREATE TABLE PUNTOS_REDENCION (
    PTRE_ID           INTEGER NOT NULL,
    PREF_PRE          VARCHAR(4) NOT NULL,
    PTRE_NUMERO       VARCHAR(8) NOT NULL,
    PTRE_FECHA        DATE,
    PTRE_HORA         TIME,
    TERC_NIT          VARCHAR(20),
    PTRE_NOMCLIENTE   VARCHAR(80),
    BODE_COD          VARCHAR(20),
    CAJA_COD          VARCHAR(20),
    PTRE_PUNTOS       NUMERIC(15,2),    /* points spent */
    PTRE_VALOR        NUMERIC(15,2),    /* money they were worth */
    PTRE_TIPODOC      INTEGER,          /* document the points paid */
    PTRE_PREFDOC      VARCHAR(4),
    PTRE_NUMDOC       VARCHAR(8),
    PTRE_OBS          VARCHAR(200),
    PTRE_ANULADO      CHAR(1),
    PTRE_TRANSMIT     CHAR(1),
    PTRE_USUARIO      VARCHAR(20),
    PTRE_FECREG       DATE,
    NUMOK             CHAR(1),
    CONSTRAINT PK_PUNTOS_REDENCION PRIMARY KEY (PTRE_ID)
);

CREATE INDEX IX_PUNTOS_REDENCION_NUMERO ON PUNTOS_REDENCION (PREF_PRE, PTRE_NUMERO);

/* Records have no id view: a copied record keeps the id it had where it
   was made; ids of new local records come from this sequence. */
CREATE SEQUENCE GEN_PUNTOS_CLIENTE;

CREATE TABLE PUNTOS_CLIENTE (
    PTCL_ID           INTEGER NOT NULL,
    PTCL_TIPODOC      INTEGER,
    PTCL_PREF         VARCHAR(4),
    PTCL_NUMERO       VARCHAR(8),
    PTCL_IDDOC        INTEGER,
    TERC_NIT          VARCHAR(20),
    PTCL_FECHA        DATE,
    PTCL_BASE         NUMERIC(15,2),    /* amount the points were worked out on */
    PTCL_VALORPUNTO   NUMERIC(15,2),    /* amount that earns one point */
    PTCL_PUNTOS       NUMERIC(15,2),    /* signed: returns and redemptions < 0 */
    PTCL_FECVENCE     DATE,
    PTCL_ESTADO       CHAR(1),          /* A active, N annulled document */
    PTCL_USUARIO      VARCHAR(20),
    PTCL_FECREG       DATE,
    PTCL_HORAREG      TIME,
    PTCL_OBS          VARCHAR(200),
    CONSTRAINT PK_PUNTOS_CLIENTE PRIMARY KEY (PTCL_ID)
);

CREATE INDEX IX_PUNTOS_CLIENTE_DOC ON PUNTOS_CLIENTE (PTCL_TIPODOC, PTCL_PREF, PTCL_NUMERO);
CREATE INDEX IX_PUNTOS_CLIENTE_NIT ON PUNTOS_CLIENTE (TERC_NIT);

/* Balance per customer, always the sum of the customer's records as the
   procedure last saw them. */
CREATE TABLE CLIENTE_PUNTOS_SALDO (
    TERC_NIT          VARCHAR(20) NOT NULL,
    CPSA_GANADOS      NUMERIC(15,2),    /* earned, net of returns */
    CPSA_REDIMIDOS    NUMERIC(15,2),
    CPSA_SALDO        NUMERIC(15,2),
    CPSA_DOCUMENTOS   INTEGER,
    CPSA_FECULT       DATE,
    CPSA_HORAULT      TIME,
    CPSA_USUARIO      VARCHAR(20),
    CONSTRAINT PK_CLIENTE_PUNTOS_SALDO PRIMARY KEY (TERC_NIT)
);

SET TERM ^ ;

/* Recomputes the balance row of one customer from its points records.
   A customer without records keeps a row with zeros, so a balance that
   dropped to nothing still shows when it last moved. */
CREATE PROCEDURE RECALCULA_PUNTOS_SALDO (
    NIT      VARCHAR(20),
    USUARIO  VARCHAR(20))
AS
    DECLARE VARIABLE GANADOS NUMERIC(15,2);
    DECLARE VARIABLE REDIMIDOS NUMERIC(15,2);
    DECLARE VARIABLE DOCUMENTOS INTEGER;
BEGIN
    IF (NIT IS NULL) THEN
        EXIT;

    SELECT COALESCE(SUM(IIF(PTCL_TIPODOC = 81, 0, PTCL_PUNTOS)), 0),
           COALESCE(SUM(IIF(PTCL_TIPODOC = 81, -PTCL_PUNTOS, 0)), 0),
           COUNT(*)
      FROM PUNTOS_CLIENTE
     WHERE TERC_NIT = :NIT
      INTO :GANADOS, :REDIMIDOS, :DOCUMENTOS;

    UPDATE OR INSERT INTO CLIENTE_PUNTOS_SALDO
        (TERC_NIT, CPSA_GANADOS, CPSA_REDIMIDOS, CPSA_SALDO, CPSA_DOCUMENTOS,
         CPSA_FECULT, CPSA_HORAULT, CPSA_USUARIO)
    VALUES
        (:NIT, :GANADOS, :REDIMIDOS, :GANADOS - :REDIMIDOS, :DOCUMENTOS,
         CURRENT_DATE, CAST(CURRENT_TIME AS TIME), :USUARIO)
    MATCHING (TERC_NIT);
END^

/*
 * ACUMULA_PUNTOS_CLIENTE (document type, document id, customer NIT or NULL,
 * user or NULL)
 *
 * (Re)computes the points record of one document and the balance of the
 * customer it belongs to.  Safe to call any number of times for the same
 * document: the record of the document (found by type, prefix and number)
 * is rewritten, never duplicated, and balances are recomputed from the
 * records rather than incremented.
 *
 * - 31 sales invoice (FACTURAS): one point per whole 1000 of FACT_TOTAL.
 * - 33 sales return (DEVOLUCIONES_VENTAS): the same rule on DEVT_TOTAL,
 *   negative.
 * - 81 redemption (PUNTOS_REDENCION): minus PTRE_PUNTOS.
 * An annulled document keeps its record with 0 points.  Any other type,
 * or an id that names no document, changes nothing.
 *
 * The customer is the NIT given, or the document's TERC_NIT when NULL or
 * empty.  When the record moves to another customer both balances are
 * recomputed.  The fourth argument names the user recorded on the rows;
 * NULL records the database user.
 */
CREATE PROCEDURE ACUMULA_PUNTOS_CLIENTE (
    TIPODOC  INTEGER,
    IDDOC    INTEGER,
    NIT      VARCHAR(20),
    USUARIO  VARCHAR(20))
AS
    DECLARE VARIABLE VALOR_PUNTO NUMERIC(15,2) = 1000;
    DECLARE VARIABLE PREF VARCHAR(4);
    DECLARE VARIABLE NUMERO VARCHAR(8);
    DECLARE VARIABLE DOCNIT VARCHAR(20);
    DECLARE VARIABLE CLIENTE VARCHAR(20);
    DECLARE VARIABLE FECHA DATE;
    DECLARE VARIABLE BASE NUMERIC(15,2);
    DECLARE VARIABLE ANULADO CHAR(1);
    DECLARE VARIABLE PUNTOS NUMERIC(15,2);
    DECLARE VARIABLE ESTADO CHAR(1);
    DECLARE VARIABLE PTCLID INTEGER;
    DECLARE VARIABLE ANTNIT VARCHAR(20);
BEGIN
    IF (USUARIO IS NULL) THEN
        USUARIO = SUBSTRING(CURRENT_USER FROM 1 FOR 20);

    NUMERO = NULL;
    IF (TIPODOC = 31) THEN
    BEGIN
        SELECT PREF_PRE, FACT_NUMERO, TERC_NIT, FACT_FECHA, FACT_TOTAL, FACT_ANULADO
          FROM FACTURAS
         WHERE FACT_ID = :IDDOC
          INTO :PREF, :NUMERO, :DOCNIT, :FECHA, :BASE, :ANULADO;
        PUNTOS = TRUNC(COALESCE(BASE, 0) / VALOR_PUNTO);
    END
    ELSE IF (TIPODOC = 33) THEN
    BEGIN
        SELECT PREF_PRE, DEVT_NUMERO, TERC_NIT, DEVT_FECHA, DEVT_TOTAL, DEVT_ANULADO
          FROM DEVOLUCIONES_VENTAS
         WHERE DEVT_ID = :IDDOC
          INTO :PREF, :NUMERO, :DOCNIT, :FECHA, :BASE, :ANULADO;
        PUNTOS = -TRUNC(COALESCE(BASE, 0) / VALOR_PUNTO);
    END
    ELSE IF (TIPODOC = 81) THEN
    BEGIN
        SELECT PREF_PRE, PTRE_NUMERO, TERC_NIT, PTRE_FECHA, PTRE_VALOR, PTRE_ANULADO,
               -COALESCE(PTRE_PUNTOS, 0)
          FROM PUNTOS_REDENCION
         WHERE PTRE_ID = :IDDOC
          INTO :PREF, :NUMERO, :DOCNIT, :FECHA, :BASE, :ANULADO, :PUNTOS;
    END

    IF (NUMERO IS NULL) THEN
        EXIT;

    ESTADO = 'A';
    IF (ANULADO = 'S') THEN
    BEGIN
        PUNTOS = 0;
        ESTADO = 'N';
    END

    CLIENTE = COALESCE(NULLIF(TRIM(NIT), ''), DOCNIT);

    PTCLID = NULL;
    ANTNIT = NULL;
    SELECT FIRST 1 PTCL_ID, TERC_NIT
      FROM PUNTOS_CLIENTE
     WHERE PTCL_TIPODOC = :TIPODOC AND PTCL_PREF = :PREF AND PTCL_NUMERO = :NUMERO
     ORDER BY PTCL_ID
      INTO :PTCLID, :ANTNIT;

    IF (PTCLID IS NULL) THEN
    BEGIN
        /* Records copied from other companies keep their own ids, which
           may already have taken values of the local sequence. */
        PTCLID = NEXT VALUE FOR GEN_PUNTOS_CLIENTE;
        WHILE (EXISTS (SELECT 1 FROM PUNTOS_CLIENTE WHERE PTCL_ID = :PTCLID)) DO
            PTCLID = NEXT VALUE FOR GEN_PUNTOS_CLIENTE;

        INSERT INTO PUNTOS_CLIENTE
            (PTCL_ID, PTCL_TIPODOC, PTCL_PREF, PTCL_NUMERO, PTCL_IDDOC, TERC_NIT,
             PTCL_FECHA, PTCL_BASE, PTCL_VALORPUNTO, PTCL_PUNTOS, PTCL_FECVENCE,
             PTCL_ESTADO, PTCL_USUARIO, PTCL_FECREG, PTCL_HORAREG)
        VALUES
            (:PTCLID, :TIPODOC, :PREF, :NUMERO, :IDDOC, :CLIENTE,
             :FECHA, :BASE, :VALOR_PUNTO, :PUNTOS, DATEADD(1 YEAR TO :FECHA),
             :ESTADO, :USUARIO, CURRENT_DATE, CAST(CURRENT_TIME AS TIME));
    END
    ELSE
        UPDATE PUNTOS_CLIENTE
           SET PTCL_IDDOC = :IDDOC,
               TERC_NIT = :CLIENTE,
               PTCL_FECHA = :FECHA,
               PTCL_BASE = :BASE,
               PTCL_VALORPUNTO = :VALOR_PUNTO,
               PTCL_PUNTOS = :PUNTOS,
               PTCL_FECVENCE = DATEADD(1 YEAR TO :FECHA),
               PTCL_ESTADO = :ESTADO,
               PTCL_USUARIO = :USUARIO,
               PTCL_FECREG = CURRENT_DATE,
               PTCL_HORAREG = CAST(CURRENT_TIME AS TIME)
         WHERE PTCL_ID = :PTCLID;

    EXECUTE PROCEDURE RECALCULA_PUNTOS_SALDO(:CLIENTE, :USUARIO);
    IF (ANTNIT IS DISTINCT FROM CLIENTE) THEN
        EXECUTE PROCEDURE RECALCULA_PUNTOS_SALDO(:ANTNIT, :USUARIO);
END^

SET TERM ; ^
