/*
 * Company database: payroll records exchanged between companies.
 *
 * Payroll concepts are defined once by the company that runs payroll and
 * copied to the others.  Payroll receivables (amounts an employee owes,
 * discounted through payroll) keep the id they were created with in every
 * company.  Overtime records and novelties are recognised by their natural
 * key (employee, year and period; employee, novelty type and date) because
 * each company numbers them itself.
 */

/* Payroll concepts (earnings and deductions), with numeric codes. */
CREATE TABLE CONCEPTOS_NOMINA (
    CONC_COD          INTEGER NOT NULL,
    CONC_NOMBRE       VARCHAR(80),
    CONC_TIPO         CHAR(1),
    CONC_CLASE        VARCHAR(20),
    CONC_PORCENTAJE   NUMERIC(15,4),
    CONC_VALOR        NUMERIC(15,2),
    CONC_BASESALARIO  CHAR(1),
    CONC_PRESTACIONAL CHAR(1),
    CONC_CUENTADB     VARCHAR(20),
    CONC_CUENTACR     VARCHAR(20),
    CONC_ORDEN        INTEGER,
    CONC_ACTIVO       CHAR(1) DEFAULT 'S',
    CONC_FECHA        DATE,
    CONC_USUARIO      VARCHAR(20),
    CONSTRAINT PK_CONCEPTOS_NOMINA PRIMARY KEY (CONC_COD)
);

/* Payroll receivables: what an employee owes the company (purchases on
   credit, advances) and pays back in payroll instalments. */
CREATE SEQUENCE GEN_NOMINA_CARTERA;

CREATE TABLE NOMINA_CARTERA (
    NCAR_ID           INTEGER NOT NULL,
    TERC_NIT          VARCHAR(20),
    NCAR_FECHA        DATE,
    CONC_COD          INTEGER,
    NCAR_DESCRIPCION  VARCHAR(120),
    NCAR_VALOR        NUMERIC(15,2),
    NCAR_CUOTAS       INTEGER,
    NCAR_VALORCUOTA   NUMERIC(15,2),
    NCAR_SALDO        NUMERIC(15,2),
    NCAR_TASA         NUMERIC(15,4),
    NCAR_PERIODICIDAD CHAR(1),
    NCAR_INICIO       DATE,
    NCAR_ULTPAGO      DATE,
    NCAR_ESTADO       CHAR(1),
    SUCU_ID           INTEGER,
    NCAR_OBS          VARCHAR(200),
    NCAR_FECHACREA    DATE,
    NCAR_HORA         TIME,
    NCAR_USUARIO      VARCHAR(20),
    CONSTRAINT PK_NOMINA_CARTERA PRIMARY KEY (NCAR_ID)
);

CREATE INDEX IX_NOMINA_CARTERA_NIT ON NOMINA_CARTERA (TERC_NIT);

/* The customer documents a receivable collects: line number, then the
   document's type code, its id in this company, its prefix and number
   (the id is only meaningful locally; prefix and number identify the
   document everywhere). */
CREATE TABLE NOMINA_CARTERA_DETALLE (
    NCAR_ID           INTEGER NOT NULL,
    NCDE_ITEM         INTEGER NOT NULL,
    NCDE_TIPODOC      INTEGER,
    NCDE_IDDOC        INTEGER,
    NCDE_PREF         VARCHAR(4),
    NCDE_NUMERO       VARCHAR(8),
    NCDE_FECHADOC     DATE,
    NCDE_VENCE        DATE,
    NCDE_VALOR        NUMERIC(15,2),
    NCDE_ABONO        NUMERIC(15,2),
    NCDE_SALDO        NUMERIC(15,2),
    NCDE_CUOTA        NUMERIC(15,2),
    NCDE_INTERES      NUMERIC(15,4),
    NCDE_ESTADO       CHAR(1),
    NCDE_OBS          VARCHAR(200),
    CONSTRAINT PK_NOMINA_CARTERA_DETALLE PRIMARY KEY (NCAR_ID, NCDE_ITEM)
);

/* Overtime of an employee in one payroll period of a year.  Each company
   numbers its rows; (TERC_NIT, NOEX_ANO, NOEX_PERIODIO) identifies the
   record between companies. */
CREATE SEQUENCE GEN_NOMINA_HORASEXT;

CREATE TABLE NOMINA_HORASEXT (
    NOEX_ID           INTEGER NOT NULL,
    TERC_NIT          VARCHAR(20) NOT NULL,
    NOEX_ANO          INTEGER NOT NULL,
    NOEX_PERIODIO     INTEGER NOT NULL,
    NOEX_HED          NUMERIC(15,2),
    NOEX_HEN          NUMERIC(15,2),
    NOEX_HEDF         NUMERIC(15,2),
    NOEX_HENF         NUMERIC(15,2),
    NOEX_RECNOC       NUMERIC(15,2),
    NOEX_RECDOM       NUMERIC(15,2),
    NOEX_VALORHORA    NUMERIC(15,4),
    NOEX_VALOR        NUMERIC(15,2),
    NOEX_DESDE        DATE,
    NOEX_HASTA        DATE,
    NOEX_APROBADO     CHAR(1),
    NOEX_LIQUIDADO    CHAR(1),
    SUCU_ID           INTEGER,
    NOEX_OBS          VARCHAR(200),
    NOEX_FECHA        DATE,
    NOEX_USUARIO      VARCHAR(20),
    CONSTRAINT PK_NOMINA_HORASEXT PRIMARY KEY (NOEX_ID)
);

CREATE INDEX IX_NOMINA_HORASEXT_CLAVE ON NOMINA_HORASEXT (TERC_NIT, NOEX_ANO, NOEX_PERIODIO);

/* Payroll novelties (absences, leaves, bonuses, one-off deductions) with the
   concepts and amounts they produce.  Each company numbers its novelties
   from its own sequence; (TERC_NIT, TNOV_COD, NONO_FECHA) identifies a
   novelty between companies. */
CREATE SEQUENCE GEN_NOMINA_NOVEDADES;

CREATE TABLE NOMINA_NOVEDADES (
    NONO_ID           INTEGER NOT NULL,
    TERC_NIT          VARCHAR(20) NOT NULL,
    TNOV_COD          VARCHAR(20) NOT NULL,
    NONO_FECHA        DATE NOT NULL,
    NONO_DESDE        DATE,
    NONO_HASTA        DATE,
    NONO_DIAS         INTEGER,
    NONO_HORAS        NUMERIC(15,2),
    NONO_VALOR        NUMERIC(15,2),
    NONO_PORCENTAJE   NUMERIC(15,4),
    NONO_ANO          INTEGER,
    NONO_PERIODO      INTEGER,
    NONO_REMUNERADA   CHAR(1),
    NONO_APROBADA     CHAR(1),
    NONO_LIQUIDADA    CHAR(1),
    NONO_SOPORTE      VARCHAR(40),
    SUCU_ID           INTEGER,
    NONO_OBS          VARCHAR(200),
    NONO_FECHACREA    DATE,
    NONO_HORA         TIME,
    NONO_USUARIO      VARCHAR(20),
    CONSTRAINT PK_NOMINA_NOVEDADES PRIMARY KEY (NONO_ID)
);

CREATE INDEX IX_NOMINA_NOVEDADES_CLAVE ON NOMINA_NOVEDADES (TERC_NIT, TNOV_COD, NONO_FECHA);

CREATE TABLE NOMINA_NOVEDADES_DETALLE (
    NONO_ID           INTEGER NOT NULL,
    NOND_ITEM         INTEGER NOT NULL,
    CONC_COD          INTEGER,
    NOND_CANTIDAD     NUMERIC(15,4),
    NOND_BASE         NUMERIC(15,2),
    NOND_PORCENTAJE   NUMERIC(15,4),
    NOND_VALOR        NUMERIC(15,2),
    NOND_DESDE        DATE,
    NOND_HASTA        DATE,
    NOND_TIPO         CHAR(1),
    CUEN_COD          VARCHAR(20),
    NOND_CENTRO       VARCHAR(20),
    NOND_LIQUIDADO    CHAR(1),
    NOND_OBS          VARCHAR(200),
    NOND_USUARIO      VARCHAR(20),
    CONSTRAINT PK_NOMINA_NOVEDADES_DETALLE PRIMARY KEY (NONO_ID, NOND_ITEM)
);

/* A fresh novelty id on every read. */
CREATE VIEW CAMBIE_ID_NOVEDAD (ID) AS
    SELECT NEXT VALUE FOR GEN_NOMINA_NOVEDADES FROM RDB$DATABASE;

COMMIT;
