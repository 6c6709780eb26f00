/*
 * GENERAL.FDB: the installation-wide database of the ERP.
 *
 * It lists the companies of the installation (one company database each,
 * under <server>/datos/<COMP_COD>/norvale.fdb) and the ERP users.  The
 * replication agent only reads it: the company selector shows COMPANIA and
 * the login looks the user up in USUARIO by its upper-case code.
 *
 * Loaded into a database created with DEFAULT CHARACTER SET UTF8; the
 * loader supplies CREATE DATABASE / CONNECT.
 */

/* Company list.  COMP_COD is the same three-character code that the company
   databases use in REPLICA_COMPANIA.RPCO_COD and REPLICA_EVENTOS.RPEV_COMPANIA. */
CREATE TABLE COMPANIA (
    COMP_COD         CHAR(3) NOT NULL,
    COM_NOMBRE       VARCHAR(80),
    COMP_NIT         VARCHAR(20),
    COMP_LOGO        BLOB SUB_TYPE BINARY,
    COMP_DIR         VARCHAR(140),
    COMP_TELS        VARCHAR(140),
    COMP_ENCABEZADO  VARCHAR(140),
    COMP_CIUDAD      VARCHAR(60),
    COMP_EMAIL       VARCHAR(100),
    COMP_ACTIVA      CHAR(1),
    CONSTRAINT PK_COMPANIA PRIMARY KEY (COMP_COD)
);

/* ERP users.  The database login itself is checked by the server; this row
   only carries the ERP's view of the user.  USUA_COD is stored in upper case
   because every program of the suite looks it up that way. */
CREATE TABLE USUARIO (
    USUA_COD         VARCHAR(20) NOT NULL,
    USUA_NOMBRE      VARCHAR(80),
    USUA_CLAVE       VARCHAR(64),
    USUA_PERFIL      VARCHAR(20),
    USUA_EMAIL       VARCHAR(100),
    COMP_COD         CHAR(3),
    USUA_ACTIVO      CHAR(1),
    USUA_FECHACREA   DATE,
    USUA_ULTACCESO   TIMESTAMP,
    CONSTRAINT PK_USUARIO PRIMARY KEY (USUA_COD)
);

/* Any database user may log in to the agent: the login reads USUARIO and the
   company selector reads COMPANIA with the operator's own user name. */
GRANT SELECT ON COMPANIA TO PUBLIC;
GRANT SELECT ON USUARIO TO PUBLIC;

COMMIT;
