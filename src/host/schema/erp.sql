-- ERP stand-in schema: every ERP table and column the import reads or writes, with keys and the
-- indexes of the lookups made per receipt and per row. ZEV99_RESULT is not here: the import
-- window creates it itself when it is missing.
-- Types: ERP company numbers decimal(5, 0); amounts decimal(19, 6); percentages decimal(9, 4);
-- flags and small numbers smallint; codes varchar.

-- Settings of the stand-in host's global services, per company (HOST_DITTA 0 = global, used when the company has no row of its own).
-- Keys: company parameters CODIVA_DEFAULT (company default VAT code, CG28), CODIVA_ARTICOLI (VAT code of new bar articles, CG28), GRUPPO_CLIENTI (default customer group, CG10), CONTO_CONTROPARTITA (default counterpart account, CG24), GRUPPO_PDC (chart-of-accounts group, CG10), GERARCHIA_CLASSI (classification hierarchy setting, "1" = hierarchical), PIANO_ANALITICO (analytic chart code, PC01), LISTINO (sales price list number); context values DEPOSITO_DEFAULT (default deposit, MG58), CONTESTO_PROGRESSIVI (text handed to the progressive service), NOME_SERVER (SQL Server name reported for the ERP connection), UTENTE (user name).
CREATE TABLE dbo.HOST_SETTINGS (
    HOST_DITTA decimal(5, 0) NOT NULL,
    HOST_CHIAVE varchar(80) NOT NULL,
    HOST_VALORE varchar(255) NULL,
    CONSTRAINT PK_HOST_SETTINGS PRIMARY KEY (HOST_DITTA, HOST_CHIAVE)
)
GO

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

-- Saved parameter sets of the import window, one group of name/value pairs per company, program and set name.
CREATE TABLE dbo.VRN99_IMPEXPPARAM (
    VRN99_DITTA_CG18 decimal(5, 0) NOT NULL,
    VRN99_PROGRAMMA varchar(40) NOT NULL,
    VRN99_CODICE varchar(40) NOT NULL,
    VRN99_CHIAVE varchar(80) NOT NULL,
    VRN99_VALORE varchar(255) NULL,
    VRN99_LASTCHANGE datetime NULL,
    CONSTRAINT PK_VRN99_IMPEXPPARAM PRIMARY KEY (VRN99_DITTA_CG18, VRN99_PROGRAMMA, VRN99_CODICE, VRN99_CHIAVE)
)
GO

-- Progressive counters of the ERP by key ("ANAGG": master record codes); the stand-in host keeps its own numberings here too.
CREATE TABLE dbo.CG26_PROGANAG (
    CG26_CODICE varchar(20) NOT NULL,
    CG26_VALPROG decimal(10, 0) NOT NULL DEFAULT 0,
    CONSTRAINT PK_CG26_PROGANAG PRIMARY KEY (CG26_CODICE)
)
GO

-- Towns with postal code and province.
CREATE TABLE dbo.CG01_ANAGCOMUNI (
    CG01_CODICE varchar(6) NOT NULL,
    CG01_DESCR varchar(40) NULL,
    CG01_CAP varchar(8) NULL,
    CG01_PROV varchar(2) NULL,
    CONSTRAINT PK_CG01_ANAGCOMUNI PRIMARY KEY (CG01_CODICE)
)
GO
CREATE INDEX IX_CG01_ANAGCOMUNI_DESCR ON dbo.CG01_ANAGCOMUNI (CG01_DESCR)
GO

-- General master records of customers and suppliers (names, addresses, fiscal data).
CREATE TABLE dbo.CG16_ANAGGEN (
    CG16_CODICE decimal(10, 0) NOT NULL,
    CG16_RAGSOANAG varchar(40) NULL,
    CG16_ALIAS varchar(20) NULL,
    CG16_INDIRIZZO varchar(40) NULL,
    CG16_COMANA_CG01 varchar(6) NULL,
    CG16_CAP varchar(8) NULL,
    CG16_PROV varchar(2) NULL,
    CG16_CITTA varchar(40) NULL,
    CG16_CODICE_CG07 varchar(3) NULL,
    CG16_FLGPRSFIS smallint NULL,
    CG16_RAGSOFISC varchar(40) NULL,
    CG16_COMFIS_CG01 varchar(6) NULL,
    CG16_CAPFISC varchar(8) NULL,
    CG16_CITTAFISC varchar(40) NULL,
    CG16_PROVFISC varchar(2) NULL,
    CG16_COGNOME varchar(30) NULL,
    CG16_NOME varchar(20) NULL,
    CG16_COMNASCITA varchar(40) NULL,
    CG16_DATANASCITA datetime NULL,
    CG16_PROVNASCITA varchar(2) NULL,
    CG16_CODFISCALE varchar(20) NULL,
    CG16_PARTIVA varchar(20) NULL,
    CG16_SESSO smallint NULL,
    CG16_TEL1NUM varchar(20) NULL,
    CG16_TEL2NUM varchar(20) NULL,
    CG16_LASTCHANGE datetime NULL,
    CG16_FLGOMONIMO smallint NULL,
    CG16_INDSOGGRIT smallint NULL,
    CG16_FLGANAGVAL smallint NULL,
    CG16_INDAGGCF smallint NULL,
    CONSTRAINT PK_CG16_ANAGGEN PRIMARY KEY (CG16_CODICE)
)
GO
CREATE INDEX IX_CG16_ANAGGEN_PARTIVA ON dbo.CG16_ANAGGEN (CG16_PARTIVA)
GO
CREATE INDEX IX_CG16_ANAGGEN_CODFISCALE ON dbo.CG16_ANAGGEN (CG16_CODFISCALE)
GO
CREATE INDEX IX_CG16_ANAGGEN_ALIAS ON dbo.CG16_ANAGGEN (CG16_ALIAS)
GO
CREATE INDEX IX_CG16_ANAGGEN_RAGSOANAG ON dbo.CG16_ANAGGEN (CG16_RAGSOANAG)
GO

-- Customers (kind 0) and suppliers of a company, each pointing to its master record.
CREATE TABLE dbo.CG44_CLIFOR (
    CG44_DITTA_CG18 decimal(5, 0) NOT NULL,
    CG44_TIPOCF smallint NOT NULL,
    CG44_CLIFOR decimal(10, 0) NOT NULL,
    CG44_CODICE_CG16 decimal(10, 0) NULL,
    CG44_GRUPPO_CG10 varchar(5) NULL,
    CG44_CODPAG_CG62 varchar(10) NULL,
    CG44_LASTCHANGE datetime NULL,
    CONSTRAINT PK_CG44_CLIFOR PRIMARY KEY (CG44_DITTA_CG18, CG44_TIPOCF, CG44_CLIFOR)
)
GO
CREATE INDEX IX_CG44_CLIFOR_CODICE ON dbo.CG44_CLIFOR (CG44_DITTA_CG18, CG44_CODICE_CG16)
GO

-- Sales and warehouse settings of a customer or supplier.
CREATE TABLE dbo.MG19_CLIFORVA (
    MG19_DITTA_CG18 decimal(5, 0) NOT NULL,
    MG19_TIPOCF_CG44 smallint NOT NULL,
    MG19_CLIFOR_CG44 decimal(10, 0) NOT NULL,
    MG19_DATACREAZ datetime NULL,
    MG19_INDCLIFAT smallint NULL,
    MG19_FLGDATICLFAT smallint NULL,
    MG19_TIPOCLXDOC smallint NULL,
    MG19_INDDESDOCEST smallint NULL,
    MG19_SC1PERCOR decimal(9, 4) NULL,
    MG19_SC2PERCOR decimal(9, 4) NULL,
    MG19_SC3PERCOR decimal(9, 4) NULL,
    MG19_SCIMPCOR decimal(19, 6) NULL,
    MG19_MAGPERCOR decimal(9, 4) NULL,
    MG19_MAGIMPCOR decimal(19, 6) NULL,
    MG19_SCPERPIEDE decimal(9, 4) NULL,
    MG19_FLGSPEINC smallint NULL,
    MG19_FLGSPBOL smallint NULL,
    MG19_INDSPESECUM smallint NULL,
    MG19_SCAGLSPBANC smallint NULL,
    MG19_FLGESCLSPEPOR smallint NULL,
    MG19_INDCLIBLOC smallint NULL,
    MG19_INDTESTOF1 smallint NULL,
    MG19_INDTESTOF2 smallint NULL,
    MG19_DATAULTVAR datetime NULL,
    MG19_FLGPRZCAMP smallint NULL,
    MG19_INDARRL96 smallint NULL,
    MG19_INDARRINFAT smallint NULL,
    MG19_INDGESFIDO smallint NULL,
    MG19_LISTMAG smallint NULL,
    CONSTRAINT PK_MG19_CLIFORVA PRIMARY KEY (MG19_DITTA_CG18, MG19_TIPOCF_CG44, MG19_CLIFOR_CG44)
)
GO

-- Currencies with their amount decimals.
CREATE TABLE dbo.CG08_TABVALUTE (
    CG08_CODICE varchar(10) NOT NULL,
    CG08_DESCR varchar(40) NULL,
    CG08_NUMDEC smallint NULL,
    CONSTRAINT PK_CG08_TABVALUTE PRIMARY KEY (CG08_CODICE)
)
GO

-- Warehouse decimals of a currency, per company.
CREATE TABLE dbo.MG49_PARMAGAZDEC (
    MG49_DITTA_CG18 decimal(5, 0) NOT NULL,
    MG49_CODICE_CG08 varchar(10) NOT NULL,
    MG49_NUMDEC smallint NULL,
    CONSTRAINT PK_MG49_PARMAGAZDEC PRIMARY KEY (MG49_DITTA_CG18, MG49_CODICE_CG08)
)
GO

-- Price lists of a company (MG44_FLGVENACQ 0 = sales, 1 = purchases).
CREATE TABLE dbo.MG44_PARMAGLIST (
    MG44_DITTA_CG18 decimal(5, 0) NOT NULL,
    MG44_NUMLIST smallint NOT NULL,
    MG44_DESCR varchar(40) NULL,
    MG44_FLGVENACQ smallint NULL,
    CONSTRAINT PK_MG44_PARMAGLIST PRIMARY KEY (MG44_DITTA_CG18, MG44_NUMLIST)
)
GO

-- Document types: kind of document and footer defaults.
CREATE TABLE dbo.MG36_DOCUMENTI (
    MG36_CODDOCUM varchar(10) NOT NULL,
    MG36_DESCR varchar(40) NULL,
    MG36_TIPODOC smallint NULL,
    MG36_INDDEFPIE smallint NULL,
    CONSTRAINT PK_MG36_DOCUMENTI PRIMARY KEY (MG36_CODDOCUM)
)
GO

-- Document types enabled for a company, with their default section.
CREATE TABLE dbo.MG3G_DOCDITTA (
    MG3G_DITTA_CG18 decimal(5, 0) NOT NULL,
    MG3G_CODDOCUM_MG36 varchar(10) NOT NULL,
    MG3G_SEZDEFAULT varchar(3) NULL,
    CONSTRAINT PK_MG3G_DOCDITTA PRIMARY KEY (MG3G_DITTA_CG18, MG3G_CODDOCUM_MG36)
)
GO

-- Journal causes.
CREATE TABLE dbo.CG33_TABCAU (
    CG33_CODICE varchar(4) NOT NULL,
    CG33_DESCR varchar(40) NULL,
    CONSTRAINT PK_CG33_TABCAU PRIMARY KEY (CG33_CODICE)
)
GO

-- Chart of accounts: ledger accounts by chart-of-accounts group.
CREATE TABLE dbo.CG24_TABPDC (
    CG24_GRUPPO_CG10 varchar(5) NOT NULL,
    CG24_CONTO varchar(20) NOT NULL,
    CG24_DESCR varchar(60) NULL,
    CONSTRAINT PK_CG24_TABPDC PRIMARY KEY (CG24_GRUPPO_CG10, CG24_CONTO)
)
GO

-- VAT codes (CG28_TIPOLOGIA 1 = taxable, 3 = exempt).
CREATE TABLE dbo.CG28_TABCODIVA (
    CG28_CODICE varchar(10) NOT NULL,
    CG28_DESCR varchar(60) NULL,
    CG28_TIPOLOGIA smallint NULL,
    CG28_PERCIVA decimal(9, 4) NULL,
    CG28_FLGINDET smallint NULL,
    CG28_CODPLAFOND smallint NULL,
    CG28_FLGCORRVENT smallint NULL,
    CG28_FLGSOSPIMP smallint NULL,
    CG28_FLGNOTVAR smallint NULL,
    CG28_FLGALLCLIFOR smallint NULL,
    CG28_FLGIVAEDIT smallint NULL,
    CG28_INDTIPOPART smallint NULL,
    CG28_FLGAUTOUE smallint NULL,
    CG28_FLGAGRI smallint NULL,
    CG28_FLGMONOFASERSM smallint NULL,
    CONSTRAINT PK_CG28_TABCODIVA PRIMARY KEY (CG28_CODICE)
)
GO

-- Payment terms.
CREATE TABLE dbo.CG62_CONDPAGDES (
    CG62_CODPAG varchar(10) NOT NULL,
    CG62_FLGDESC smallint NULL,
    CG62_DESCPAG varchar(50) NULL,
    CONSTRAINT PK_CG62_CONDPAGDES PRIMARY KEY (CG62_CODPAG)
)
GO

-- Instalments of payment terms (effect type and subtype, share of amount and VAT, days).
CREATE TABLE dbo.CG63_CONDPAGDET (
    CG63_CODPAG_CG62 varchar(10) NOT NULL,
    CG63_PROG smallint NOT NULL,
    CG63_TIPOEFF smallint NULL,
    CG63_STIPOEFF smallint NULL,
    CG63_GGDECOR smallint NULL,
    CG63_INDDATARIF smallint NULL,
    CG63_FLGFRPERCIMP smallint NULL,
    CG63_PERCIMP decimal(9, 4) NULL,
    CG63_FLGFRPERCIVA smallint NULL,
    CG63_PERCIVA decimal(9, 4) NULL,
    CG63_INDIMPFIX smallint NULL,
    CG63_INDTIPODECOR smallint NULL,
    CONSTRAINT PK_CG63_CONDPAGDET PRIMARY KEY (CG63_CODPAG_CG62, CG63_PROG)
)
GO

-- Sales document headers; DO11_NUMREG_CO99 is the registration number given at save. The customer's name, address and fiscal codes are copied from its master record when the document is made.
CREATE TABLE dbo.DO11_DOCTESTATA (
    DO11_DITTA_CG18 decimal(5, 0) NOT NULL,
    DO11_NUMREG_CO99 decimal(10, 0) NOT NULL,
    DO11_DOCUM_MG36 varchar(10) NULL,
    DO11_TIPODOC smallint NULL,
    DO11_SEZDOC varchar(3) NULL,
    DO11_ANNODOC decimal(4, 0) NULL,
    DO11_NUMDOC decimal(10, 0) NULL,
    DO11_NUMDOCORIG decimal(10, 0) NULL,
    DO11_DATADOC datetime NULL,
    DO11_DATAREG datetime NULL,
    DO11_TIPOCF_CG44 smallint NULL,
    DO11_CLIFOR_CG44 decimal(10, 0) NULL,
    DO11_RAGSOANAG varchar(40) NULL,
    DO11_INDIRIZZO varchar(40) NULL,
    DO11_CAP varchar(8) NULL,
    DO11_CITTA varchar(40) NULL,
    DO11_PROV varchar(2) NULL,
    DO11_PARTIVA varchar(20) NULL,
    DO11_CODFISCALE varchar(20) NULL,
    DO11_CODPAG_CG62 varchar(10) NULL,
    DO11_CODSEDE_CG31 decimal(5, 0) NULL,
    DO11_CODDEP varchar(10) NULL,
    DO11_CODVAL_CG08 varchar(10) NULL,
    DO11_FLGDOCBIS smallint NULL,
    DO11_TOTIMPONIBILE decimal(19, 6) NULL,
    DO11_TOTIVA decimal(19, 6) NULL,
    DO11_TOTDOC decimal(19, 6) NULL,
    CONSTRAINT PK_DO11_DOCTESTATA PRIMARY KEY (DO11_DITTA_CG18, DO11_NUMREG_CO99)
)
GO
CREATE INDEX IX_DO11_DOCTESTATA_NUMDOC ON dbo.DO11_DOCTESTATA (DO11_DITTA_CG18, DO11_NUMDOC, DO11_SEZDOC, DO11_DOCUM_MG36, DO11_ANNODOC)
GO

-- Sales document rows (DO30_INDTIPORIGA 0 = article row, 1 = description-only row).
CREATE TABLE dbo.DO30_DOCRIGHE (
    DO30_DITTA_CG18 decimal(5, 0) NOT NULL,
    DO30_NUMREG_DO11 decimal(10, 0) NOT NULL,
    DO30_RIGA int NOT NULL,
    DO30_INDTIPORIGA smallint NULL,
    DO30_CODART_MG66 varchar(30) NULL,
    DO30_OPZIONE_MG5E varchar(10) NULL,
    DO30_DESCART varchar(1600) NULL,
    DO30_CODDEP_MG58 varchar(10) NULL,
    DO30_QTA1 decimal(19, 6) NULL,
    DO30_PREZZO decimal(19, 6) NULL,
    DO30_IMPORTO decimal(19, 6) NULL,
    DO30_CODIVA_CG28 varchar(10) NULL,
    DO30_CODPAG_CG62 varchar(10) NULL,
    DO30_CONTO_CG24 varchar(20) NULL,
    DO30_DATAINICOMP datetime NULL,
    DO30_DATAFINCOMP datetime NULL,
    CONSTRAINT PK_DO30_DOCRIGHE PRIMARY KEY (DO30_DITTA_CG18, DO30_NUMREG_DO11, DO30_RIGA)
)
GO

-- Journal registrations; CG41_RIFFIGLIA links a document's registration to its accounting registration.
CREATE TABLE dbo.CG41_PRIMANOTA (
    CG41_DITTA_CG18 decimal(5, 0) NOT NULL,
    CG41_NUMREG decimal(10, 0) NOT NULL,
    CG41_RIFFIGLIA decimal(10, 0) NULL,
    CG41_DATAREG datetime NULL,
    CG41_CAUSALE_CG33 varchar(4) NULL,
    CG41_DESCR varchar(80) NULL,
    CONSTRAINT PK_CG41_PRIMANOTA PRIMARY KEY (CG41_DITTA_CG18, CG41_NUMREG)
)
GO

-- Ledger movements of a journal registration, each with its counterpart account; a customer's movement names the customer (CG42_TIPOCF_CG44, CG42_CLIFOR_CG44).
CREATE TABLE dbo.CG42_MOVCONT (
    CG42_DITTA_CG18 decimal(5, 0) NOT NULL,
    CG42_NUMREG_CG41 decimal(10, 0) NOT NULL,
    CG42_RIGA smallint NOT NULL,
    CG42_TIPOCF_CG44 smallint NULL,
    CG42_CLIFOR_CG44 decimal(10, 0) NULL,
    CG42_CONTO_CG24 varchar(20) NULL,
    CG42_CONTOPAR_CG24 varchar(20) NULL,
    CG42_SEGNO char(1) NULL,
    CG42_IMPORTO decimal(19, 6) NULL,
    CONSTRAINT PK_CG42_MOVCONT PRIMARY KEY (CG42_DITTA_CG18, CG42_NUMREG_CG41, CG42_RIGA)
)
GO

-- Article families (the gym service types).
CREATE TABLE dbo.MG53_FAMIGLIE (
    MG53_DITTA_CG18 decimal(5, 0) NOT NULL,
    MG53_CODFAM varchar(10) NOT NULL,
    MG53_DESCRFAM varchar(30) NULL,
    CONSTRAINT PK_MG53_FAMIGLIE PRIMARY KEY (MG53_DITTA_CG18, MG53_CODFAM)
)
GO

-- Article subfamilies; the family code is empty text when the classification is not hierarchical.
CREATE TABLE dbo.MG54_SOTTOFAM (
    MG54_DITTA_CG18 decimal(5, 0) NOT NULL,
    MG54_CODFAM_MG53 varchar(10) NOT NULL DEFAULT '',
    MG54_CODSFAM varchar(10) NOT NULL,
    MG54_DESCRSFAM varchar(30) NULL,
    CONSTRAINT PK_MG54_SOTTOFAM PRIMARY KEY (MG54_DITTA_CG18, MG54_CODFAM_MG53, MG54_CODSFAM)
)
GO

-- Article groups under family and subfamily (a single blank for each when not hierarchical).
CREATE TABLE dbo.MG55_GRUPPI (
    MG55_DITTA_CG18 decimal(5, 0) NOT NULL,
    MG55_CODFAM_MG53 varchar(10) NOT NULL DEFAULT '',
    MG55_CODSFAM_MG54 varchar(10) NOT NULL DEFAULT '',
    MG55_CODGRUPPO varchar(10) NOT NULL,
    MG55_DESCRGRUPPO varchar(30) NULL,
    CONSTRAINT PK_MG55_GRUPPI PRIMARY KEY (MG55_DITTA_CG18, MG55_CODFAM_MG53, MG55_CODSFAM_MG54, MG55_CODGRUPPO)
)
GO

-- Article brands.
CREATE TABLE dbo.MG64_MARCHEART (
    MG64_DITTA_CG18 decimal(5, 0) NOT NULL,
    MG64_CODMARCA varchar(20) NOT NULL,
    MG64_DESCRMARCA varchar(30) NULL,
    CONSTRAINT PK_MG64_MARCHEART PRIMARY KEY (MG64_DITTA_CG18, MG64_CODMARCA)
)
GO

-- Statistical groups 1 of articles (subscription durations).
CREATE TABLE dbo.MG74_GRUSTAT1 (
    MG74_DITTA_CG18 decimal(5, 0) NOT NULL,
    MG74_CODGRUSTAT1 varchar(10) NOT NULL,
    MG74_DESGRUSTAT1 varchar(30) NULL,
    CONSTRAINT PK_MG74_GRUSTAT1 PRIMARY KEY (MG74_DITTA_CG18, MG74_CODGRUSTAT1)
)
GO

-- Statistical groups 2 of articles (subscription periods).
CREATE TABLE dbo.MG75_GRUSTAT2 (
    MG75_DITTA_CG18 decimal(5, 0) NOT NULL,
    MG75_CODGRUSTAT2 varchar(10) NOT NULL,
    MG75_DESGRUSTAT2 varchar(30) NULL,
    CONSTRAINT PK_MG75_GRUSTAT2 PRIMARY KEY (MG75_DITTA_CG18, MG75_CODGRUSTAT2)
)
GO

-- Analytic classes A (mirror of the article families).
CREATE TABLE dbo.PD1F_CLASSEAPROG (
    PD1F_DITTA_CG18 decimal(5, 0) NOT NULL,
    PD1F_CODICE varchar(10) NOT NULL,
    PD1F_INDCLASSE smallint NULL,
    PD1F_FLGGERARCHICO smallint NULL,
    PD1F_DESCR varchar(30) NULL,
    CONSTRAINT PK_PD1F_CLASSEAPROG PRIMARY KEY (PD1F_DITTA_CG18, PD1F_CODICE)
)
GO

-- Analytic classes B (mirror of the subfamilies); the parent class A is empty text when not hierarchical.
CREATE TABLE dbo.PD1G_CLASSEBPROG (
    PD1G_DITTA_CG18 decimal(5, 0) NOT NULL,
    PD1G_CODICE varchar(10) NOT NULL,
    PD1G_INDCLASSE smallint NULL,
    PD1G_FLGGERARCHICO smallint NULL,
    PD1G_DESCR varchar(30) NULL,
    PD1G_CLASSEA_PD1F varchar(10) NOT NULL DEFAULT '',
    CONSTRAINT PK_PD1G_CLASSEBPROG PRIMARY KEY (PD1G_DITTA_CG18, PD1G_CODICE, PD1G_CLASSEA_PD1F)
)
GO

-- Analytic classes C (mirror of the groups).
CREATE TABLE dbo.PD1H_CLASSECPROG (
    PD1H_DITTA_CG18 decimal(5, 0) NOT NULL,
    PD1H_CODICE varchar(10) NOT NULL,
    PD1H_INDCLASSE smallint NULL,
    PD1H_DESCR varchar(30) NULL,
    PD1H_CLASSEB_PD1G varchar(10) NULL,
    CONSTRAINT PK_PD1H_CLASSECPROG PRIMARY KEY (PD1H_DITTA_CG18, PD1H_CODICE)
)
GO

-- Article master records (the description lives in MG87_ARTDESC).
CREATE TABLE dbo.MG66_ANAGRART (
    MG66_DITTA_CG18 decimal(5, 0) NOT NULL,
    MG66_CODART varchar(30) NOT NULL,
    MG66_DTCREAZ datetime NULL,
    MG66_DTULTAGGANAG datetime NULL,
    MG66_DTDISMISART datetime NULL,
    MG66_UM1 varchar(3) NULL,
    MG66_FLGARRPRZ smallint NULL,
    MG66_FAM_MG53 varchar(10) NULL,
    MG66_SFAM_MG54 varchar(10) NULL,
    MG66_GRUPPO_MG55 varchar(10) NULL,
    MG66_MARCA_MG64 varchar(20) NULL,
    MG66_GRUSTAT1_MG74 varchar(10) NULL,
    MG66_GRUSTAT2_MG75 varchar(10) NULL,
    MG66_ALIVA_CG28 varchar(10) NULL,
    MG66_FLGIVARID smallint NULL,
    MG66_FLGIVACOMP smallint NULL,
    MG66_INDUM2 smallint NULL,
    MG66_INDFATCONV smallint NULL,
    MG66_INDCALCQTA1 smallint NULL,
    MG66_INDCALCQTA2 smallint NULL,
    MG66_INDCALCPRE1 smallint NULL,
    MG66_INDCALCPRE2 smallint NULL,
    MG66_DIVPREZ smallint NULL,
    MG66_FLGCALOPESO smallint NULL,
    MG66_INDFITTIZIO smallint NULL,
    MG66_FLGVARDESC smallint NULL,
    MG66_FLGSOLOIMPR smallint NULL,
    MG66_FLGARTESAUR smallint NULL,
    MG66_FLGEXSCORM smallint NULL,
    MG66_FLGSTGIOR smallint NULL,
    MG66_FLGSTINV smallint NULL,
    MG66_FLGINVPRE0 smallint NULL,
    MG66_FLGARTFOR smallint NULL,
    MG66_FLGARTCLI smallint NULL,
    MG66_FLGALTER smallint NULL,
    MG66_FLGSOST smallint NULL,
    MG66_FLGCONC smallint NULL,
    MG66_FLGCAMART smallint NULL,
    MG66_FLGCAMPGRU smallint NULL,
    MG66_FLGBASEVAR smallint NULL,
    MG66_FLGVARIATO smallint NULL,
    MG66_FLGSTAGION smallint NULL,
    MG66_FLGVARART smallint NULL,
    MG66_INDDECQTA smallint NULL,
    MG66_FLGQTANEG smallint NULL,
    MG66_FLGCONFMULT smallint NULL,
    MG66_FLGUBICDINAM smallint NULL,
    MG66_INDQTAMUL smallint NULL,
    MG66_INDSPACQ smallint NULL,
    MG66_INDTOTART smallint NULL,
    MG66_FLGESCLSCPIEDE smallint NULL,
    MG66_INDSPVEN smallint NULL,
    MG66_FLGCONTRIBINTEG smallint NULL,
    MG66_FLGRITACC smallint NULL,
    MG66_FLGRITENAS smallint NULL,
    MG66_FLGCONTRIBPREV smallint NULL,
    MG66_FLGQUALITA smallint NULL,
    MG66_INDSTATO_MG6W smallint NULL,
    MG66_INDGENVARDIBA smallint NULL,
    MG66_INDVARERIDIBA smallint NULL,
    CONSTRAINT PK_MG66_ANAGRART PRIMARY KEY (MG66_DITTA_CG18, MG66_CODART)
)
GO
CREATE INDEX IX_MG66_ANAGRART_FAM ON dbo.MG66_ANAGRART (MG66_DITTA_CG18, MG66_FAM_MG53)
GO

-- Personalised article data: the progressive number of the article within its family.
CREATE TABLE dbo.MG43_ARTPERS (
    MG43_DITTA_CG18 decimal(5, 0) NOT NULL,
    MG43_CODART_MG66 varchar(30) NOT NULL,
    MG43_PROG smallint NOT NULL,
    MG43_NUMPERS1 smallint NULL,
    CONSTRAINT PK_MG43_ARTPERS PRIMARY KEY (MG43_DITTA_CG18, MG43_CODART_MG66, MG43_PROG)
)
GO

-- Stock levels of an article per option and deposit.
CREATE TABLE dbo.MG67_SCORTE (
    MG67_DITTA_CG18 decimal(5, 0) NOT NULL,
    MG67_CODART_MG66 varchar(30) NOT NULL,
    MG67_OPZIONE_MG5E varchar(10) NOT NULL DEFAULT '',
    MG67_CODDEP_MG58 varchar(10) NOT NULL,
    MG67_INDCALQTAFABB smallint NULL,
    MG67_INDGESSCORFAB smallint NULL,
    MG67_LIVELLORIORD decimal(19, 6) NULL,
    MG67_FLGSCORSICUR smallint NULL,
    MG67_LOTTOECONOM decimal(19, 6) NULL,
    MG67_LOTTORIOD decimal(19, 6) NULL,
    MG67_GGARRMERCE smallint NULL,
    MG67_SCORTAMIN decimal(19, 6) NULL,
    MG67_SCORTAMAX decimal(19, 6) NULL,
    MG67_FLGSCORTEAUT smallint NULL,
    MG67_INDGESLOTTO smallint NULL,
    MG67_FLGCONSMENS smallint NULL,
    MG67_FLGDEPPREF smallint NULL,
    MG67_FRAZMRP smallint NULL,
    MG67_INDDEPPRELVERS smallint NULL,
    CONSTRAINT PK_MG67_SCORTE PRIMARY KEY (MG67_DITTA_CG18, MG67_CODART_MG66, MG67_OPZIONE_MG5E, MG67_CODDEP_MG58)
)
GO

-- Packagings of an article per option.
CREATE TABLE dbo.MG68_CONFART (
    MG68_DITTA_CG18 decimal(5, 0) NOT NULL,
    MG68_CODART_MG66 varchar(30) NOT NULL,
    MG68_OPZIONE_MG5E varchar(10) NOT NULL DEFAULT '',
    MG68_CODCONFEZ_MG96 varchar(10) NOT NULL,
    MG68_FLGCONFPREF smallint NULL,
    MG68_PZCONF decimal(19, 6) NULL,
    MG68_PESON decimal(19, 6) NULL,
    MG68_PESOL decimal(19, 6) NULL,
    MG68_CAPAC decimal(19, 6) NULL,
    MG68_LARGH decimal(19, 6) NULL,
    MG68_ALTEZ decimal(19, 6) NULL,
    MG68_PROF decimal(19, 6) NULL,
    MG68_VOLUME decimal(19, 6) NULL,
    MG68_CONFXCOLLO decimal(19, 6) NULL,
    MG68_COLLIXBANCALE decimal(19, 6) NULL,
    CONSTRAINT PK_MG68_CONFART PRIMARY KEY (MG68_DITTA_CG18, MG68_CODART_MG66, MG68_OPZIONE_MG5E, MG68_CODCONFEZ_MG96)
)
GO

-- Article descriptions per option and language (empty language = language-neutral).
CREATE TABLE dbo.MG87_ARTDESC (
    MG87_DITTA_CG18 decimal(5, 0) NOT NULL,
    MG87_CODART_MG66 varchar(30) NOT NULL,
    MG87_OPZIONE_MG5E varchar(10) NOT NULL DEFAULT '',
    MG87_LINGUA_MG52 varchar(5) NOT NULL DEFAULT '',
    MG87_DESCART varchar(72) NULL,
    CONSTRAINT PK_MG87_ARTDESC PRIMARY KEY (MG87_DITTA_CG18, MG87_CODART_MG66, MG87_OPZIONE_MG5E, MG87_LINGUA_MG52)
)
GO

-- Analytic chart of accounts: the five-level branch of each article.
CREATE TABLE dbo.PC03_ANAGPDC (
    PC03_CODICE_PC01 smallint NOT NULL,
    PC03_CONTO varchar(20) NOT NULL,
    PC03_DESCR varchar(255) NULL,
    PC03_TIPOCONTOCI smallint NULL,
    PC03_FLGGESCOSULT smallint NULL,
    PC03_FLGQUADRATURA smallint NULL,
    PC03_TIPOCONTORICL smallint NULL,
    PC03_INDSEGNO smallint NULL,
    PC03_FLGVISTOTMAS smallint NULL,
    PC03_FLGPARTINFRA smallint NULL,
    PC03_INDFONTIUSI smallint NULL,
    PC03_INDFLUSSITESOR smallint NULL,
    PC03_INDPROVCOSTO smallint NULL,
    PC03_INDVARCOSTO smallint NULL,
    PC03_PARENT varchar(20) NULL,
    PC03_PARENTF varchar(25) NULL,
    PC03_LIVELLO1 varchar(20) NULL,
    PC03_LIVELLO2 varchar(20) NULL,
    PC03_LIVELLO3 varchar(20) NULL,
    PC03_LIVELLO4 varchar(20) NULL,
    PC03_LIVELLO5 varchar(20) NULL,
    PC03_NRLIVELLO smallint NULL,
    PC03_ISANALITICO bit NULL,
    PC03_CONTOF varchar(25) NULL,
    PC03_LIVELLO1F varchar(25) NULL,
    PC03_LIVELLO2F varchar(25) NULL,
    PC03_LIVELLO3F varchar(25) NULL,
    PC03_LIVELLO4F varchar(25) NULL,
    PC03_LIVELLO5F varchar(25) NULL,
    PC03_CODEHEADER varchar(20) NULL,
    PC03_FLGSCHEDAAUTO smallint NULL,
    PC03_CMINDMODELLO smallint NULL,
    CONSTRAINT PK_PC03_ANAGPDC PRIMARY KEY (PC03_CODICE_PC01, PC03_CONTO)
)
GO

-- Projects, classified by the analytic classes A, B and C.
CREATE TABLE dbo.PD68_PROGETTI (
    PD68_DITTA_CG18 decimal(5, 0) NOT NULL,
    PD68_CODPROG varchar(30) NOT NULL,
    PD68_DESCRPROG varchar(60) NULL,
    PD68_STATO smallint NULL,
    PD68_CLASSEA_PD1F varchar(10) NULL,
    PD68_CLASSEB_PD1G varchar(10) NULL,
    PD68_CLASSEC_PD1H varchar(10) NULL,
    PD68_NUMCONF_NODI smallint NULL,
    PD68_NUMCONF_ATT smallint NULL,
    PD68_NUMCONF_SPE smallint NULL,
    CONSTRAINT PK_PD68_PROGETTI PRIMARY KEY (PD68_DITTA_CG18, PD68_CODPROG)
)
GO

-- Price-list entries of articles, per list, option, warehouse and validity.
CREATE TABLE dbo.LI10_LISTARTIC (
    LI10_DITTA_CG18 decimal(5, 0) NOT NULL,
    LI10_FLGUSODECOR smallint NOT NULL,
    LI10_FLGVENDACQ smallint NOT NULL,
    LI10_INDTIPOLIS smallint NOT NULL,
    LI10_CODART_MG66 varchar(30) NOT NULL,
    LI10_OPZIONE_MG5E varchar(10) NOT NULL DEFAULT '',
    LI10_DEPOS_MG58 varchar(10) NOT NULL DEFAULT '',
    LI10_NUMLIST smallint NOT NULL,
    LI10_DATAFINEVAL datetime NOT NULL,
    LI10_DATAINIZIOVAL datetime NOT NULL,
    LI10_FLGLIST smallint NULL,
    LI10_SC1PER decimal(9, 4) NULL,
    LI10_SC2PER decimal(9, 4) NULL,
    LI10_SC3PER decimal(9, 4) NULL,
    LI10_SC4PER decimal(9, 4) NULL,
    LI10_SC5PER decimal(9, 4) NULL,
    LI10_SC6PER decimal(9, 4) NULL,
    LI10_SCIMP decimal(19, 6) NULL,
    LI10_MAG1PER decimal(9, 4) NULL,
    LI10_MAG2PER decimal(9, 4) NULL,
    LI10_MAGIMP decimal(19, 6) NULL,
    LI10_PERRICDELTA decimal(9, 4) NULL,
    LI10_INDRICALPR smallint NULL,
    LI10_INDARROT smallint NULL,
    LI10_FLGPROVV smallint NULL,
    LI10_PROVPER decimal(9, 4) NULL,
    LI10_PROVIMP decimal(19, 6) NULL,
    LI10_FLGVARIATO smallint NULL,
    LI10_INDTIPOVAR smallint NULL,
    LI10_FLGPERSON smallint NULL,
    LI10_INDUM smallint NULL,
    LI10_DATACREAZ datetime NULL,
    LI10_PREZZO decimal(19, 6) NULL,
    LI10_DATAULTAGG datetime NULL,
    CONSTRAINT PK_LI10_LISTARTIC PRIMARY KEY (LI10_DITTA_CG18, LI10_FLGUSODECOR, LI10_FLGVENDACQ, LI10_INDTIPOLIS, LI10_CODART_MG66, LI10_OPZIONE_MG5E, LI10_DEPOS_MG58, LI10_NUMLIST, LI10_DATAFINEVAL, LI10_DATAINIZIOVAL)
)
GO

-- Bills of materials (PD95_TIPO_DISTINTA 50 = kit) of articles.
CREATE TABLE dbo.PD95_DISBA (
    PD95_IDDISBA int NOT NULL,
    PD95_DITTA_CG18 decimal(5, 0) NOT NULL,
    PD95_CODART_MG66 varchar(30) NOT NULL,
    PD95_OPZIONE_MG5E varchar(10) NOT NULL DEFAULT '',
    PD95_TIPO_DISTINTA smallint NOT NULL,
    PD95_DESCR varchar(80) NULL,
    PD95_QTABASE decimal(19, 6) NULL,
    CONSTRAINT PK_PD95_DISBA PRIMARY KEY (PD95_IDDISBA)
)
GO
CREATE INDEX IX_PD95_DISBA_CODART ON dbo.PD95_DISBA (PD95_DITTA_CG18, PD95_CODART_MG66, PD95_TIPO_DISTINTA)
GO

-- Components of a bill of materials: quantity per base quantity of the bill and cost.
CREATE TABLE dbo.PD96_LEGAMIDISBA (
    PD96_IDDISBA_PD95 int NOT NULL,
    PD96_IDLEGAME int NOT NULL,
    PD96_SEQUENZA smallint NULL,
    PD96_CODART_MG66 varchar(30) NOT NULL,
    PD96_OPZIONE_MG5E varchar(10) NOT NULL DEFAULT '',
    PD96_QTA decimal(19, 6) NULL,
    PD96_COSTODB decimal(19, 6) NULL,
    CONSTRAINT PK_PD96_LEGAMIDISBA PRIMARY KEY (PD96_IDDISBA_PD95, PD96_IDLEGAME)
)
GO

-- Result rows of the kit explosion SPMG_ESPLKIT: the stand-in procedure empties this table and fills it at every call (one row per component, for the quantity asked), and its rows in ESPKIT_RIGA order are the procedure's result set.
CREATE TABLE dbo.ESPKIT_RISULTATO (
    ESPKIT_RIGA int NOT NULL,
    ESPKIT_LIVELLO smallint NULL,
    ESPKIT_CODART varchar(30) NULL,
    ESPKIT_COMPON varchar(30) NULL,
    ESPKIT_OPZIONE varchar(10) NULL,
    ESPKIT_DESCART varchar(80) NULL,
    ESPKIT_QTA1 decimal(19, 6) NULL,
    ESPKIT_IDDISBA int NULL,
    ESPKIT_IDLEGAME int NULL,
    CONSTRAINT PK_ESPKIT_RISULTATO PRIMARY KEY (ESPKIT_RIGA)
)
GO
