-- The module's own configuration tables, for an ERP database that lacks them: which gym
-- databases are imported into which company, with which document, payment and revenue settings.
-- The same DDL as in erp.sql, where the stand-in ERP gets these tables with the rest of its
-- schema; a test checks that the two agree. ZEV99_RESULT is not here: the import window creates
-- it itself when it is missing.
-- Run it in the ERP database, for example: sqlcmd -S server -d ERP -i zev.sql

-- Import configurations: one gym database imported into one ERP company.
CREATE TABLE dbo.ZEV90_PARAMETRI (
    ZEV90_ID int NOT NULL,
    ZEV90_DITTA_CG18 decimal(5, 0) NOT NULL,
    ZEV90_DESCR varchar(80) NULL,
    ZEV90_DB_NAME varchar(128) NULL,
    ZEV90_NOME_SERVER varchar(128) NULL,
    ZEV90_OWNER_NAME varchar(80) NULL,
    ZEV90_OWNER_PWD varchar(80) NULL,
    ZEV90_PATH_ERRORI varchar(255) NULL,
    ZEV90_ULTIMA_ELAB datetime NULL,
    ZEV90_CODIVA_CG28 varchar(10) NULL,
    CONSTRAINT PK_ZEV90_PARAMETRI PRIMARY KEY (ZEV90_ID)
)
GO
CREATE INDEX IX_ZEV90_PARAMETRI_DITTA ON dbo.ZEV90_PARAMETRI (ZEV90_DITTA_CG18, ZEV90_ID)
GO

-- Gym companies whose receipts a configuration imports into its ERP company.
CREATE TABLE dbo.ZEV91_DITTE (
    ZEV91_DITTA_VT decimal(5, 0) NOT NULL,
    ZEV91_IDPARAM_ZEV90 int NOT NULL,
    ZEV91_IDAZIENDA int NOT NULL,
    CONSTRAINT PK_ZEV91_DITTE PRIMARY KEY (ZEV91_DITTA_VT, ZEV91_IDPARAM_ZEV90, ZEV91_IDAZIENDA)
)
GO

-- Document and accounting settings per ERP company, configuration and gym company.
CREATE TABLE dbo.ZEV01_AZIENDE (
    ZEV01_DITTA_CG18 decimal(5, 0) NOT NULL,
    ZEV01_IDPARAM_ZEV90 int NOT NULL,
    ZEV01_AZIENDA int NOT NULL,
    ZEV01_SEZDOC varchar(3) NULL,
    ZEV01_DOCUM_MG36 varchar(10) NULL,
    ZEV01_CASSA_CG24 varchar(20) NULL,
    ZEV01_BANCA1_CG24 varchar(20) NULL,
    ZEV01_CLIFOR_CG44 decimal(10, 0) NULL,
    ZEV01_CODDEP_MG58 varchar(10) NULL,
    ZEV01_CODPAG_CG62 varchar(10) NULL,
    ZEV01_CODICE_CG31 decimal(5, 0) NULL,
    ZEV01_TIPOCONTO smallint NULL,
    ZEV01_INDASSOCLI int NULL,
    ZEV01_FLGDOCSOCI smallint NULL,
    CONSTRAINT PK_ZEV01_AZIENDE PRIMARY KEY (ZEV01_DITTA_CG18, ZEV01_IDPARAM_ZEV90, ZEV01_AZIENDA)
)
GO

-- Gym receipt types and the ERP document each becomes.
CREATE TABLE dbo.ZEV02_GYMVELTA (
    ZEV02_DITTA_CG18 decimal(5, 0) NOT NULL,
    ZEV02_TIPORICEVUTA varchar(10) NOT NULL,
    ZEV02_TRAS_IN_VT smallint NULL,
    ZEV02_ACCORPADOC smallint NULL,
    ZEV02_DOCUM_MG36 varchar(10) NULL,
    CONSTRAINT PK_ZEV02_GYMVELTA PRIMARY KEY (ZEV02_DITTA_CG18, ZEV02_TIPORICEVUTA)
)
GO

-- Service types of the gym till movements: kind of service and import settings.
CREATE TABLE dbo.ZEV03_TIPISERVIZI (
    ZEV03_DITTA_CG18 decimal(5, 0) NOT NULL,
    ZEV03_TIPOSERVIZIO varchar(10) NOT NULL,
    ZEV03_DESCR varchar(30) NULL,
    ZEV03_INDTIPOSERV smallint NULL,
    ZEV03_FLGIMPORTA smallint NULL,
    ZEV03_FLGDATACOMP smallint NULL,
    ZEV03_FLGCOIN smallint NULL,
    CONSTRAINT PK_ZEV03_TIPISERVIZI PRIMARY KEY (ZEV03_DITTA_CG18, ZEV03_TIPOSERVIZIO)
)
GO
CREATE INDEX IX_ZEV03_TIPISERVIZI_KIND ON dbo.ZEV03_TIPISERVIZI (ZEV03_DITTA_CG18, ZEV03_INDTIPOSERV)
GO

-- Gym payment types and the ERP effect type and subtype of the payment terms made from them.
CREATE TABLE dbo.ZEV04_TIPOPAG (
    ZEV04_TIPOPAG_GYM int NOT NULL,
    ZEV04_TIPOEFF_VT smallint NULL,
    ZEV04_SOTTOTIPO smallint NULL,
    CONSTRAINT PK_ZEV04_TIPOPAG PRIMARY KEY (ZEV04_TIPOPAG_GYM)
)
GO

-- Gym revenue centres and categories mapped to ERP revenue accounts.
CREATE TABLE dbo.ZEV05_CPMERCE (
    ZEV05_DITTA_CG18 decimal(5, 0) NOT NULL,
    ZEV05_IDPARAM_ZEV90 int NOT NULL,
    ZEV05_AZIENDA int NOT NULL,
    ZEV05_CONTO_GYM varchar(20) NOT NULL,
    ZEV05_CONTO_CG24 varchar(20) NULL,
    CONSTRAINT PK_ZEV05_CPMERCE PRIMARY KEY (ZEV05_DITTA_CG18, ZEV05_IDPARAM_ZEV90, ZEV05_AZIENDA, ZEV05_CONTO_GYM)
)
GO
