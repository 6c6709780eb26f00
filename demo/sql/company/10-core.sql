/*
 * Company database, core objects: replication bookkeeping, settings,
 * branches, document types, the customer ledger, accounting vouchers and
 * the receivable/payable documents (customer and supplier notes, payment
 * applications, advances).
 *
 * Every company database is built from the same files, so replicated tables
 * have the same columns in the same order everywhere: rows travel between
 * companies column by column, by position.  Header tables start with their
 * integer id; detail tables start with the id of their header and are keyed
 * on (header id, line number).  Each family that receives new headers has a
 * sequence and a CAMBIE_ID_* view that hands out one fresh id per read.
 *
 * Nothing here writes REPLICA_EVENTOS: the ERP side records its events
 * explicitly, so rows written by the replication agent never raise events
 * of their own.
 */

/* ---------------------------------------------------------------------
 * Replication events.  One row per change that another company must
 * receive; pending while RPEV_FECREP is null.
 * ------------------------------------------------------------------- */

CREATE SEQUENCE GEN_REPLICA_EVENTOS;

CREATE TABLE REPLICA_EVENTOS (
    RPEV_ID        INTEGER NOT NULL,
    RPEV_COMPANIA  VARCHAR(3) NOT NULL,
    RPEV_TIPO      INTEGER NOT NULL,
    RPEV_IDDOC     INTEGER,
    RPEV_PREF      VARCHAR(4),
    RPEV_NUMERO    VARCHAR(8),
    RPEV_CODIGO    VARCHAR(20),
    RPEV_FECREG    DATE,
    RPEV_HORAREG   TIME,
    RPEV_FECREP    DATE,
    RPEV_HORAREP   TIME,
    RPEV_OPER      CHAR(1),
    RPEV_PREFDEST  VARCHAR(4),
    RPEV_PTVT      INTEGER,
    RPEV_ERROR     VARCHAR(2048),
    RPEV_DATOS     VARCHAR(4096),
    CONSTRAINT PK_REPLICA_EVENTOS PRIMARY KEY (RPEV_ID)
);

/* The selection of a phase filters on the pending state and the company and
   orders by registration time; these keep it cheap on large event tables. */
CREATE INDEX IX_RPEV_PENDIENTES ON REPLICA_EVENTOS (RPEV_FECREP, RPEV_COMPANIA);
CREATE INDEX IX_RPEV_REGISTRO ON REPLICA_EVENTOS (RPEV_FECREG, RPEV_HORAREG);

SET TERM ^ ;
CREATE TRIGGER REPLICA_EVENTOS_BI FOR REPLICA_EVENTOS
ACTIVE BEFORE INSERT POSITION 0
AS
BEGIN
    IF (NEW.RPEV_ID IS NULL) THEN
        NEW.RPEV_ID = NEXT VALUE FOR GEN_REPLICA_EVENTOS;
END^
SET TERM ; ^

/* Companies taking part in replication and where their servers are.
   RPCO_ERRO = 'S' marks the company whose server the download phase reads. */
CREATE TABLE REPLICA_COMPANIA (
    RPCO_COD       CHAR(3) NOT NULL,
    RPCP_NOMBRE    VARCHAR(80),
    RPCO_SERVIDOR  VARCHAR(60),
    RPCO_ERRO      CHAR(1),
    SUCU_ID        INTEGER,
    RPCO_ACTIVA    CHAR(1),
    CONSTRAINT PK_REPLICA_COMPANIA PRIMARY KEY (RPCO_COD)
);

/* Per-document replication settings kept for the ERP: which document type
   and prefix are replicated to which company. */
CREATE TABLE REPLICACION_CONFIGURA (
    REPC_TIPO      INTEGER NOT NULL,
    REPC_PREF      VARCHAR(4) NOT NULL,
    REPC_REPLICA   CHAR(1),
    REPC_COMPANIA  VARCHAR(3) NOT NULL,
    CONSTRAINT PK_REPLICACION_CONFIGURA PRIMARY KEY (REPC_TIPO, REPC_PREF, REPC_COMPANIA)
);

/* ---------------------------------------------------------------------
 * ERP settings: one text value per module, category and property.
 * ------------------------------------------------------------------- */

CREATE TABLE CONFIGURACION (
    CONF_MODULO       VARCHAR(30) NOT NULL,
    CONF_CATEGORIA    VARCHAR(30) NOT NULL,
    CONF_PROPIEDAD    VARCHAR(100) NOT NULL,
    CONF_VALOR        VARCHAR(200),
    CONF_DESCRIPCION  VARCHAR(200),
    CONF_TIPO         CHAR(1),
    CONF_FECHAMOD     DATE,
    CONF_USUARIO      VARCHAR(20),
    CONSTRAINT PK_CONFIGURACION PRIMARY KEY (CONF_MODULO, CONF_CATEGORIA, CONF_PROPIEDAD)
);

/* Branches (agencies) of the company. */
CREATE TABLE SUCURSALES (
    SUCU_ID         INTEGER NOT NULL,
    SUCU_NOMBRE     VARCHAR(60),
    SUCU_DIRECCION  VARCHAR(60),
    SUCU_TELEFONOS  VARCHAR(60),
    SUCU_CIUDAD     VARCHAR(60),
    SUCU_EMAIL      VARCHAR(100),
    SUCU_ACTIVA     CHAR(1),
    CONSTRAINT PK_SUCURSALES PRIMARY KEY (SUCU_ID)
);

/* ---------------------------------------------------------------------
 * Document types.  For documents the code is also the event type code of
 * REPLICA_EVENTOS; master records use the codes of their events too, so
 * every event can be shown with a short name.
 * ------------------------------------------------------------------- */

CREATE TABLE TIPO_DOCUMENTO (
    TIDO_COD          INTEGER NOT NULL,
    TIDO_NOMBRE       VARCHAR(60),
    TIDO_NOMCORTO     VARCHAR(10),
    TIDO_MODULO       VARCHAR(20),
    TIDO_AFECTAINV    CHAR(1),
    TIDO_CONTABILIZA  CHAR(1),
    TIDO_ACTIVO       CHAR(1),
    CONSTRAINT PK_TIPO_DOCUMENTO PRIMARY KEY (TIDO_COD)
);
INSERT INTO TIPO_DOCUMENTO VALUES (1, 'Comprobante contable', 'COMPROBANT', 'CONTABILIDAD', 'N', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (10, 'Cambio de costo', 'CAMBCOSTO', 'INVENTARIO', 'N', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (11, 'Entrada de inventario', 'ENTRADA', 'INVENTARIO', 'S', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (12, 'Salida de inventario', 'SALIDA', 'INVENTARIO', 'S', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (13, 'Traslado entre bodegas', 'TRASLADO', 'INVENTARIO', 'S', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (14, 'Ajuste de inventario', 'AJUSTE', 'INVENTARIO', 'S', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (15, 'Ensamble', 'ENSAMBLE', 'INVENTARIO', 'S', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (16, 'Desensamble', 'DESENSAMB', 'INVENTARIO', 'S', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (17, 'Reserva de inventario', 'RESERVA', 'INVENTARIO', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (18, 'Orden de mercancia', 'ORDENINV', 'INVENTARIO', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (19, 'Orden de produccion', 'ORDENPROD', 'PRODUCCION', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (20, 'Entrada de produccion', 'ENTPROD', 'PRODUCCION', 'S', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (21, 'Factura de compra', 'FACTCOMPRA', 'COMPRAS', 'S', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (22, 'Remision de proveedor', 'REMIPROV', 'COMPRAS', 'S', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (23, 'Orden de compra', 'ORDCOMPRA', 'COMPRAS', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (24, 'Devolucion en compras', 'DEVCOMPRA', 'COMPRAS', 'S', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (25, 'Cotizacion de proveedor', 'COTIPROV', 'COMPRAS', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (27, 'Plan de produccion', 'PLANPROD', 'PRODUCCION', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (28, 'Salida a produccion', 'SALPROD', 'PRODUCCION', 'S', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (29, 'Devolucion de produccion', 'DEVPROD', 'PRODUCCION', 'S', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (31, 'Factura de venta', 'FACTVENTA', 'FACTURACION', 'S', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (32, 'Remision de venta', 'REMIVENTA', 'FACTURACION', 'S', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (33, 'Devolucion en ventas', 'DEVVENTA', 'FACTURACION', 'S', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (34, 'Pedido de cliente', 'PEDIDO', 'FACTURACION', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (35, 'Cotizacion', 'COTIZACION', 'FACTURACION', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (40, 'Pendiente de ventas', 'PENDVENTA', 'FACTURACION', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (41, 'Nota debito a cliente', 'NDCLIENTE', 'CARTERA', 'N', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (42, 'Nota credito a cliente', 'NCCLIENTE', 'CARTERA', 'N', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (43, 'Aplicacion de pagos de cliente', 'APLICLIE', 'CARTERA', 'N', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (44, 'Cruce de cuentas de cliente', 'CRUCECLIE', 'CARTERA', 'N', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (45, 'Anticipo de cliente', 'ANTICLIE', 'CARTERA', 'N', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (50, 'Factura proforma', 'PROFORMA', 'FACTURACION', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (51, 'Nota debito de proveedor', 'NDPROV', 'CXPAGAR', 'N', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (52, 'Nota credito de proveedor', 'NCPROV', 'CXPAGAR', 'N', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (53, 'Aplicacion de pagos a proveedor', 'APLIPROV', 'CXPAGAR', 'N', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (54, 'Pago a proveedor', 'PAGOPROV', 'CXPAGAR', 'N', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (55, 'Anticipo a proveedor', 'ANTIPROV', 'CXPAGAR', 'N', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (56, 'Orden de servicio', 'ORDSERV', 'FACTURACION', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (61, 'Recibo de caja', 'RECIBOCAJA', 'CAJA', 'N', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (62, 'Comprobante de egreso', 'EGRESO', 'CAJA', 'N', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (63, 'Cambio de documentos', 'CAMBIODOC', 'CAJA', 'N', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (64, 'Consignacion de tarjetas', 'CONSTARJ', 'CAJA', 'N', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (65, 'Recibo provisional', 'RECPROV', 'CAJA', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (66, 'Traslado de caja', 'TRASCAJA', 'CAJA', 'N', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (67, 'Arqueo de caja', 'ARQUEO', 'CAJA', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (71, 'Consignacion bancaria', 'CONSIGNA', 'BANCOS', 'N', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (72, 'Cheque', 'CHEQUE', 'BANCOS', 'N', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (73, 'Retiro bancario', 'RETIRO', 'BANCOS', 'N', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (74, 'Nota debito bancaria', 'NDBANCO', 'BANCOS', 'N', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (75, 'Nota credito bancaria', 'NCBANCO', 'BANCOS', 'N', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (76, 'Traslado bancario', 'TRASBANCO', 'BANCOS', 'N', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (77, 'Devolucion de cheque', 'DEVCHEQUE', 'BANCOS', 'N', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (81, 'Redencion de puntos', 'REDPUNTOS', 'PUNTOS', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (94, 'Cartera de nomina', 'CARTNOMINA', 'NOMINA', 'N', 'S', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (96, 'Concepto de nomina', 'CONCNOMINA', 'NOMINA', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (100, 'Cuenta contable', 'CUENTA', 'CONTABILIDAD', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (101, 'Articulo', 'ARTICULO', 'INVENTARIO', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (102, 'Tercero', 'TERCERO', 'GENERAL', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (103, 'Cliente', 'CLIENTE', 'CARTERA', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (104, 'Proveedor', 'PROVEEDOR', 'CXPAGAR', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (105, 'Cobrador', 'COBRADOR', 'CARTERA', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (106, 'Vendedor', 'VENDEDOR', 'FACTURACION', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (111, 'Interfaz contable de bancos', 'INTBANCOS', 'CONTABILIDAD', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (112, 'Interfaz contable de caja', 'INTCAJA', 'CONTABILIDAD', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (113, 'Interfaz contable de cartera', 'INTCARTERA', 'CONTABILIDAD', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (114, 'Interfaz contable de compras', 'INTCOMPRAS', 'CONTABILIDAD', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (115, 'Interfaz contable de cuentas por pagar', 'INTCXPAGAR', 'CONTABILIDAD', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (116, 'Interfaz contable de inventario', 'INTINVENT', 'CONTABILIDAD', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (117, 'Interfaz contable de ventas', 'INTVENTAS', 'CONTABILIDAD', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (124, 'Unidades de articulo', 'UNIDADES', 'INVENTARIO', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (125, 'Codigos de barras de articulo', 'BARRAS', 'INVENTARIO', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (126, 'Precios de articulo', 'PRECIOS', 'INVENTARIO', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (127, 'Contabilidad de articulo', 'CONTABART', 'INVENTARIO', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (128, 'Productos de articulo', 'PRODUCTOS', 'INVENTARIO', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (129, 'Descuento de precios', 'DESCUENTOS', 'FACTURACION', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (142, 'Prefijos de documentos', 'PREFIJOS', 'GENERAL', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (152, 'Sucursal de cliente', 'SUCCLIENTE', 'CARTERA', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (192, 'Horas extras de nomina', 'HORASEXT', 'NOMINA', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (193, 'Novedad de nomina', 'NOVEDAD', 'NOMINA', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (201, 'Familia de inventario', 'FAMILIA', 'INVENTARIO', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (202, 'Grupo de inventario', 'GRUPO', 'INVENTARIO', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (203, 'Subgrupo de inventario', 'SUBGRUPO', 'INVENTARIO', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (204, 'Marca', 'MARCA', 'INVENTARIO', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (205, 'Submarca', 'SUBMARCA', 'INVENTARIO', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (235, 'Puntos de cliente', 'PUNTOSCLIE', 'PUNTOS', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (236, 'Saldo de puntos de cliente', 'SALDOPTOS', 'PUNTOS', 'N', 'N', 'S');
INSERT INTO TIPO_DOCUMENTO VALUES (1291, 'Detalle de descuento de precios', 'DESCDET', 'FACTURACION', 'N', 'N', 'S');

/* ---------------------------------------------------------------------
 * Customer ledger.  One movement per receivable document; the MVCL_*REF
 * columns name the document that caused it (type, prefix, number, id).
 * ------------------------------------------------------------------- */

CREATE SEQUENCE GEN_MOVIMIENTO_CLIENTES;

CREATE TABLE MOVIMIENTO_CLIENTES (
    MVCL_ID         INTEGER NOT NULL,
    TERC_NIT        VARCHAR(20),
    MVCL_FECHA      DATE,
    MVCL_VENCE      DATE,
    MVCL_TIPOREF    INTEGER,
    MVCL_PREFREF    VARCHAR(4),
    MVCL_NUMREF     VARCHAR(8),
    MVCL_IDREF      INTEGER,
    MVCL_CONC       VARCHAR(100),
    MVCL_DEBITO     NUMERIC(15,2),
    MVCL_CREDITO    NUMERIC(15,2),
    MVCL_SALDO      NUMERIC(15,2),
    VEND_COD        INTEGER,
    COBR_COD        INTEGER,
    SUCU_ID         INTEGER,
    MVCL_ANULADO    CHAR(1),
    MVCL_USUARIO    VARCHAR(20),
    MVCL_FECREG     DATE,
    CONSTRAINT PK_MOVIMIENTO_CLIENTES PRIMARY KEY (MVCL_ID)
);

CREATE INDEX IX_MVCL_REFERENCIA ON MOVIMIENTO_CLIENTES (MVCL_TIPOREF, MVCL_PREFREF, MVCL_NUMREF);

/* ---------------------------------------------------------------------
 * Accounting vouchers.  The first columns of the header are read by
 * position: id, voucher type, prefix, number and date; positions 7 and 8
 * name the document the voucher was generated from (type code and id).
 * A voucher generated by a document shares that document's prefix and
 * number.
 * ------------------------------------------------------------------- */

CREATE SEQUENCE GEN_COMPROBANTE_ENCABEZADO;

CREATE TABLE COMPROBANTE_ENCABEZADO (
    ENCO_CONSEC      INTEGER NOT NULL,
    TICO_COD         VARCHAR(20),
    PRCO_PREF        VARCHAR(4),
    ENCO_NUMERO      VARCHAR(8),
    ENCO_FECHA       DATE,
    ENCO_CONC        VARCHAR(100),
    TERC_NIT         VARCHAR(20),
    ENCO_TIPODOC     INTEGER,
    ENCO_IDDOC       INTEGER,
    ENCO_DEBITOS     NUMERIC(15,2),
    ENCO_CREDITOS    NUMERIC(15,2),
    ENCO_TASACAMBIO  NUMERIC(18,6),
    ENCO_ANO         INTEGER,
    ENCO_PERIODO     INTEGER,
    SUCU_ID          INTEGER,
    CENT_COD         VARCHAR(20),
    ENCO_ANULADO     CHAR(1),
    ENCO_CUADRADO    CHAR(1),
    ENCO_TRANSMIT    CHAR(1),
    ENCO_OBS         VARCHAR(200),
    ENCO_USUARIO     VARCHAR(20),
    ENCO_FECREG      DATE,
    ENCO_HORAREG     TIME,
    CONSTRAINT PK_COMPROBANTE_ENCABEZADO PRIMARY KEY (ENCO_CONSEC)
);

CREATE INDEX IX_ENCO_CLAVE ON COMPROBANTE_ENCABEZADO (TICO_COD, PRCO_PREF, ENCO_NUMERO);

CREATE TABLE COMPROBANTE_DETALLE (
    ENCO_CONSEC      INTEGER NOT NULL,
    CODE_ITEM        INTEGER NOT NULL,
    CUEN_COD         VARCHAR(20),
    TERC_NIT         VARCHAR(20),
    CENT_COD         VARCHAR(20),
    CODE_CONC        VARCHAR(100),
    CODE_DEBITO      NUMERIC(15,2),
    CODE_CREDITO     NUMERIC(15,2),
    CODE_BASE        NUMERIC(15,2),
    CODE_PORCRET     NUMERIC(15,4),
    CODE_TASACAMBIO  NUMERIC(18,6),
    CODE_VALOREXT    NUMERIC(15,4),
    CODE_TIPOREF     INTEGER,
    CODE_PREFREF     VARCHAR(4),
    CODE_NUMREF      VARCHAR(8),
    CODE_VENCE       DATE,
    CODE_CHEQUE      VARCHAR(20),
    CODE_ANULADO     CHAR(1),
    CODE_OBS         VARCHAR(200),
    CONSTRAINT PK_COMPROBANTE_DETALLE PRIMARY KEY (ENCO_CONSEC, CODE_ITEM)
);

/* The same lines as kept in the books under international standards. */
CREATE TABLE COMPROBANTE_DETALLE_NIIF (
    ENCO_CONSEC      INTEGER NOT NULL,
    CDNI_ITEM        INTEGER NOT NULL,
    CUEN_COD         VARCHAR(20),
    TERC_NIT         VARCHAR(20),
    CENT_COD         VARCHAR(20),
    CDNI_CONC        VARCHAR(100),
    CDNI_DEBITO      NUMERIC(15,2),
    CDNI_CREDITO     NUMERIC(15,2),
    CDNI_BASE        NUMERIC(15,2),
    CDNI_AJUSTE      NUMERIC(15,2),
    CDNI_TASACAMBIO  NUMERIC(18,6),
    CDNI_TIPOREF     INTEGER,
    CDNI_PREFREF     VARCHAR(4),
    CDNI_NUMREF      VARCHAR(8),
    CDNI_VENCE       DATE,
    CDNI_ANULADO     CHAR(1),
    CDNI_OBS         VARCHAR(200),
    CONSTRAINT PK_COMPROBANTE_DETALLE_NIIF PRIMARY KEY (ENCO_CONSEC, CDNI_ITEM)
);

CREATE VIEW CAMBIE_ID_COMPROBA (ID) AS
    SELECT NEXT VALUE FOR GEN_COMPROBANTE_ENCABEZADO FROM RDB$DATABASE;

/* ---------------------------------------------------------------------
 * Customer and supplier notes.  Header only; a note may name the document
 * it adjusts (type, prefix, number, id).  Customer credit notes draw their
 * ids from the same sequence as customer debit notes.
 * ------------------------------------------------------------------- */

CREATE SEQUENCE GEN_NOTAS_DEBITO_CLIENTES;

CREATE TABLE NOTAS_DEBITO_CLIENTES (
    NDCL_ID          INTEGER NOT NULL,
    TIDO_COD         INTEGER,
    PREF_PRE         VARCHAR(4),
    NDCL_NUMERO      VARCHAR(8),
    NDCL_FECHA       DATE,
    NDCL_VENCE       DATE,
    TERC_NIT         VARCHAR(20),
    NDCL_CONC        VARCHAR(100),
    NDCL_VALOR       NUMERIC(15,2),
    NDCL_IVA         NUMERIC(15,2),
    NDCL_RETEFUENTE  NUMERIC(15,2),
    NDCL_TOTAL       NUMERIC(15,2),
    NDCL_SALDO       NUMERIC(15,2),
    NDCL_TIPOREF     INTEGER,
    NDCL_PREFREF     VARCHAR(4),
    NDCL_NUMREF      VARCHAR(8),
    NDCL_IDREF       INTEGER,
    VEND_COD         INTEGER,
    SUCU_ID          INTEGER,
    NDCL_ANULADO     CHAR(1),
    NDCL_TRANSMIT    CHAR(1),
    NDCL_OBS         VARCHAR(200),
    NDCL_USUARIO     VARCHAR(20),
    NDCL_FECREG      DATE,
    NDCL_HORAREG     TIME,
    CONSTRAINT PK_NOTAS_DEBITO_CLIENTES PRIMARY KEY (NDCL_ID)
);
CREATE INDEX IX_NDCL_NUMERO ON NOTAS_DEBITO_CLIENTES (PREF_PRE, NDCL_NUMERO);

CREATE TABLE NOTAS_CREDITO_CLIENTES (
    NCCL_ID          INTEGER NOT NULL,
    TIDO_COD         INTEGER,
    PREF_PRE         VARCHAR(4),
    NCCL_NUMERO      VARCHAR(8),
    NCCL_FECHA       DATE,
    NCCL_VENCE       DATE,
    TERC_NIT         VARCHAR(20),
    NCCL_CONC        VARCHAR(100),
    NCCL_VALOR       NUMERIC(15,2),
    NCCL_IVA         NUMERIC(15,2),
    NCCL_RETEFUENTE  NUMERIC(15,2),
    NCCL_TOTAL       NUMERIC(15,2),
    NCCL_SALDO       NUMERIC(15,2),
    NCCL_TIPOREF     INTEGER,
    NCCL_PREFREF     VARCHAR(4),
    NCCL_NUMREF      VARCHAR(8),
    NCCL_IDREF       INTEGER,
    VEND_COD         INTEGER,
    SUCU_ID          INTEGER,
    NCCL_ANULADO     CHAR(1),
    NCCL_TRANSMIT    CHAR(1),
    NCCL_OBS         VARCHAR(200),
    NCCL_USUARIO     VARCHAR(20),
    NCCL_FECREG      DATE,
    NCCL_HORAREG     TIME,
    CONSTRAINT PK_NOTAS_CREDITO_CLIENTES PRIMARY KEY (NCCL_ID)
);
CREATE INDEX IX_NCCL_NUMERO ON NOTAS_CREDITO_CLIENTES (PREF_PRE, NCCL_NUMERO);

CREATE VIEW CAMBIE_ID_NOTADBCLIE (ID) AS
    SELECT NEXT VALUE FOR GEN_NOTAS_DEBITO_CLIENTES FROM RDB$DATABASE;

CREATE SEQUENCE GEN_NOTAS_DEBITO_PROVEEDOR;

CREATE TABLE NOTAS_DEBITO_PROVEEDOR (
    NDPR_ID          INTEGER NOT NULL,
    TIDO_COD         INTEGER,
    PREF_PRE         VARCHAR(4),
    NDPR_NUMERO      VARCHAR(8),
    NDPR_FECHA       DATE,
    NDPR_VENCE       DATE,
    TERC_NIT         VARCHAR(20),
    NDPR_CONC        VARCHAR(100),
    NDPR_VALOR       NUMERIC(15,2),
    NDPR_IVA         NUMERIC(15,2),
    NDPR_RETEFUENTE  NUMERIC(15,2),
    NDPR_TOTAL       NUMERIC(15,2),
    NDPR_SALDO       NUMERIC(15,2),
    NDPR_TIPOREF     INTEGER,
    NDPR_PREFREF     VARCHAR(4),
    NDPR_NUMREF      VARCHAR(8),
    NDPR_IDREF       INTEGER,
    CUEN_COD         VARCHAR(20),
    SUCU_ID          INTEGER,
    NDPR_ANULADO     CHAR(1),
    NDPR_TRANSMIT    CHAR(1),
    NDPR_OBS         VARCHAR(200),
    NDPR_USUARIO     VARCHAR(20),
    NDPR_FECREG      DATE,
    NDPR_HORAREG     TIME,
    CONSTRAINT PK_NOTAS_DEBITO_PROVEEDOR PRIMARY KEY (NDPR_ID)
);
CREATE INDEX IX_NDPR_NUMERO ON NOTAS_DEBITO_PROVEEDOR (PREF_PRE, NDPR_NUMERO);

CREATE VIEW CAMBIE_ID_NOTADBPROV (ID) AS
    SELECT NEXT VALUE FOR GEN_NOTAS_DEBITO_PROVEEDOR FROM RDB$DATABASE;

CREATE SEQUENCE GEN_NOTAS_CREDITO_PROVEEDOR;

CREATE TABLE NOTAS_CREDITO_PROVEEDOR (
    NCPR_ID          INTEGER NOT NULL,
    TIDO_COD         INTEGER,
    PREF_PRE         VARCHAR(4),
    NCPR_NUMERO      VARCHAR(8),
    NCPR_FECHA       DATE,
    NCPR_VENCE       DATE,
    TERC_NIT         VARCHAR(20),
    NCPR_CONC        VARCHAR(100),
    NCPR_VALOR       NUMERIC(15,2),
    NCPR_IVA         NUMERIC(15,2),
    NCPR_RETEFUENTE  NUMERIC(15,2),
    NCPR_TOTAL       NUMERIC(15,2),
    NCPR_SALDO       NUMERIC(15,2),
    NCPR_TIPOREF     INTEGER,
    NCPR_PREFREF     VARCHAR(4),
    NCPR_NUMREF      VARCHAR(8),
    NCPR_IDREF       INTEGER,
    CUEN_COD         VARCHAR(20),
    SUCU_ID          INTEGER,
    NCPR_ANULADO     CHAR(1),
    NCPR_TRANSMIT    CHAR(1),
    NCPR_OBS         VARCHAR(200),
    NCPR_USUARIO     VARCHAR(20),
    NCPR_FECREG      DATE,
    NCPR_HORAREG     TIME,
    CONSTRAINT PK_NOTAS_CREDITO_PROVEEDOR PRIMARY KEY (NCPR_ID)
);
CREATE INDEX IX_NCPR_NUMERO ON NOTAS_CREDITO_PROVEEDOR (PREF_PRE, NCPR_NUMERO);

CREATE VIEW CAMBIE_ID_NOTACRPROV (ID) AS
    SELECT NEXT VALUE FOR GEN_NOTAS_CREDITO_PROVEEDOR FROM RDB$DATABASE;

/* ---------------------------------------------------------------------
 * Payment applications: one document settles other documents of the same
 * customer or supplier against each other.  Each line names the settled
 * document at positions 2 to 5: type code, id, prefix, number.
 * ------------------------------------------------------------------- */

CREATE SEQUENCE GEN_APLICACION_CLIENTE;

CREATE TABLE APLICACION_CLIENTE (
    APCL_ID        INTEGER NOT NULL,
    TIDO_COD       INTEGER,
    PREF_PRE       VARCHAR(4),
    APCL_NUMERO    VARCHAR(8),
    APCL_FECHA     DATE,
    TERC_NIT       VARCHAR(20),
    APCL_CONC      VARCHAR(100),
    APCL_DEBITOS   NUMERIC(15,2),
    APCL_CREDITOS  NUMERIC(15,2),
    APCL_VALOR     NUMERIC(15,2),
    SUCU_ID        INTEGER,
    APCL_ANULADO   CHAR(1),
    APCL_TRANSMIT  CHAR(1),
    APCL_OBS       VARCHAR(200),
    APCL_USUARIO   VARCHAR(20),
    APCL_FECREG    DATE,
    APCL_HORAREG   TIME,
    CONSTRAINT PK_APLICACION_CLIENTE PRIMARY KEY (APCL_ID)
);
CREATE INDEX IX_APCL_NUMERO ON APLICACION_CLIENTE (PREF_PRE, APCL_NUMERO);

CREATE TABLE APLICACION_CLIENTE_DETALLE (
    APCL_ID         INTEGER NOT NULL,
    APCD_ITEM       INTEGER NOT NULL,
    APCD_TIPOREF    INTEGER,
    APCD_IDREF      INTEGER,
    APCD_PREFREF    VARCHAR(4),
    APCD_NUMREF     VARCHAR(8),
    APCD_FECHADOC   DATE,
    APCD_VENCE      DATE,
    APCD_VALORDOC   NUMERIC(15,2),
    APCD_SALDO      NUMERIC(15,2),
    APCD_DEBITO     NUMERIC(15,2),
    APCD_CREDITO    NUMERIC(15,2),
    APCD_DESCUENTO  NUMERIC(15,2),
    APCD_RETENCION  NUMERIC(15,2),
    CUEN_COD        VARCHAR(20),
    APCD_OBS        VARCHAR(200),
    APCD_ANULADO    CHAR(1),
    CONSTRAINT PK_APLICACION_CLIENTE_DETALLE PRIMARY KEY (APCL_ID, APCD_ITEM)
);

CREATE VIEW CAMBIE_ID_APLICLIE (ID) AS
    SELECT NEXT VALUE FOR GEN_APLICACION_CLIENTE FROM RDB$DATABASE;

/* The supplier application header is spelled APLICACION_PROVEDOR in the ERP. */
CREATE SEQUENCE GEN_APLICACION_PROVEDOR;

CREATE TABLE APLICACION_PROVEDOR (
    APPR_ID        INTEGER NOT NULL,
    TIDO_COD       INTEGER,
    PREF_PRE       VARCHAR(4),
    APPR_NUMERO    VARCHAR(8),
    APPR_FECHA     DATE,
    TERC_NIT       VARCHAR(20),
    APPR_CONC      VARCHAR(100),
    APPR_DEBITOS   NUMERIC(15,2),
    APPR_CREDITOS  NUMERIC(15,2),
    APPR_VALOR     NUMERIC(15,2),
    SUCU_ID        INTEGER,
    APPR_ANULADO   CHAR(1),
    APPR_TRANSMIT  CHAR(1),
    APPR_OBS       VARCHAR(200),
    APPR_USUARIO   VARCHAR(20),
    APPR_FECREG    DATE,
    APPR_HORAREG   TIME,
    CONSTRAINT PK_APLICACION_PROVEDOR PRIMARY KEY (APPR_ID)
);
CREATE INDEX IX_APPR_NUMERO ON APLICACION_PROVEDOR (PREF_PRE, APPR_NUMERO);

CREATE TABLE APLICACION_PROVEEDOR_DETALLE (
    APPR_ID         INTEGER NOT NULL,
    APPD_ITEM       INTEGER NOT NULL,
    APPD_TIPOREF    INTEGER,
    APPD_IDREF      INTEGER,
    APPD_PREFREF    VARCHAR(4),
    APPD_NUMREF     VARCHAR(8),
    APPD_FECHADOC   DATE,
    APPD_VENCE      DATE,
    APPD_VALORDOC   NUMERIC(15,2),
    APPD_SALDO      NUMERIC(15,2),
    APPD_DEBITO     NUMERIC(15,2),
    APPD_CREDITO    NUMERIC(15,2),
    APPD_DESCUENTO  NUMERIC(15,2),
    APPD_RETENCION  NUMERIC(15,2),
    CUEN_COD        VARCHAR(20),
    APPD_OBS        VARCHAR(200),
    APPD_ANULADO    CHAR(1),
    CONSTRAINT PK_APLICACION_PROVEEDOR_DETALLE PRIMARY KEY (APPR_ID, APPD_ITEM)
);

CREATE VIEW CAMBIE_ID_APLIPROV (ID) AS
    SELECT NEXT VALUE FOR GEN_APLICACION_PROVEDOR FROM RDB$DATABASE;

/* ---------------------------------------------------------------------
 * Advances received from customers and paid to suppliers.  RECA_ID
 * (position 23) is the cash receipt that consumed a customer advance;
 * EGRE_ID (position 22) the disbursement that paid a supplier advance.
 * ------------------------------------------------------------------- */

CREATE SEQUENCE GEN_ANTICIPOS_CLIENTE;

CREATE TABLE ANTICIPOS_CLIENTE (
    ANCL_ID         INTEGER NOT NULL,
    TIDO_COD        INTEGER,
    PREF_PRE        VARCHAR(4),
    ANCL_NUMERO     VARCHAR(8),
    ANCL_FECHA      DATE,
    TERC_NIT        VARCHAR(20),
    ANCL_CONC       VARCHAR(100),
    ANCL_VALOR      NUMERIC(15,2),
    ANCL_SALDO      NUMERIC(15,2),
    ANCL_FORMAPAGO  VARCHAR(20),
    CUBA_COD        INTEGER,
    ANCL_CHEQUE     VARCHAR(20),
    ANCL_BANCO      VARCHAR(40),
    CUEN_COD        VARCHAR(20),
    VEND_COD        INTEGER,
    SUCU_ID         INTEGER,
    ANCL_ANULADO    CHAR(1),
    ANCL_APLICADO   CHAR(1),
    ANCL_TRANSMIT   CHAR(1),
    ANCL_OBS        VARCHAR(200),
    ANCL_USUARIO    VARCHAR(20),
    ANCL_FECREG     DATE,
    ANCL_HORAREG    TIME,
    RECA_ID         INTEGER,
    ANCL_CAJA       VARCHAR(20),
    CONSTRAINT PK_ANTICIPOS_CLIENTE PRIMARY KEY (ANCL_ID)
);

CREATE INDEX IX_ANCL_NUMERO ON ANTICIPOS_CLIENTE (PREF_PRE, ANCL_NUMERO);

CREATE VIEW CAMBIE_ID_ANTICLIE (ID) AS
    SELECT NEXT VALUE FOR GEN_ANTICIPOS_CLIENTE FROM RDB$DATABASE;

CREATE SEQUENCE GEN_ANTICIPOS_PROVEEDOR;

CREATE TABLE ANTICIPOS_PROVEEDOR (
    ANPR_ID         INTEGER NOT NULL,
    TIDO_COD        INTEGER,
    PREF_PRE        VARCHAR(4),
    ANPR_NUMERO     VARCHAR(8),
    ANPR_FECHA      DATE,
    TERC_NIT        VARCHAR(20),
    ANPR_CONC       VARCHAR(100),
    ANPR_VALOR      NUMERIC(15,2),
    ANPR_SALDO      NUMERIC(15,2),
    ANPR_FORMAPAGO  VARCHAR(20),
    CUBA_COD        INTEGER,
    ANPR_CHEQUE     VARCHAR(20),
    ANPR_BANCO      VARCHAR(40),
    CUEN_COD        VARCHAR(20),
    SUCU_ID         INTEGER,
    ANPR_ANULADO    CHAR(1),
    ANPR_APLICADO   CHAR(1),
    ANPR_TRANSMIT   CHAR(1),
    ANPR_OBS        VARCHAR(200),
    ANPR_USUARIO    VARCHAR(20),
    ANPR_FECREG     DATE,
    ANPR_HORAREG    TIME,
    EGRE_ID         INTEGER,
    ANPR_CAJA       VARCHAR(20),
    CONSTRAINT PK_ANTICIPOS_PROVEEDOR PRIMARY KEY (ANPR_ID)
);

CREATE INDEX IX_ANPR_NUMERO ON ANTICIPOS_PROVEEDOR (PREF_PRE, ANPR_NUMERO);

CREATE INDEX IX_ANPR_EGRESO ON ANTICIPOS_PROVEEDOR (EGRE_ID);

CREATE VIEW CAMBIE_ID_ANTIPROV (ID) AS
    SELECT NEXT VALUE FOR GEN_ANTICIPOS_PROVEEDOR FROM RDB$DATABASE;

