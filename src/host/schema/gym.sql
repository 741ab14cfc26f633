-- Gym stand-in schema: every table and column of the gym database that the import reads, with
-- keys and the indexes of its lookups per receipt and per row. Created in the gym database
-- itself (for example Palestra), which the import reaches as Palestra.dbo.<table>.
-- Column names that the import's joins use unqualified (DataRicevuta, PrezzoUnitario, Qta, Iva,
-- IvaDescrizione, TipoServizio, IDBarTotale, IDA2Iscrizione) exist in one table only.

-- Settings of the gym application by name (ULTIMOPATCH: patch level of the database).
CREATE TABLE dbo.IMPOSTAZIONI (
    DESCRIZIONE varchar(50) NOT NULL,
    VALORE varchar(255) NULL,
    CONSTRAINT PK_IMPOSTAZIONI PRIMARY KEY (DESCRIZIONE)
)
GO

-- Companies of the gym application that issue receipts.
CREATE TABLE dbo.RicevuteAziende (
    IDRicevuteAzienda int NOT NULL,
    Descrizione varchar(50) NULL,
    PartitaIva varchar(20) NULL,
    CONSTRAINT PK_RicevuteAziende PRIMARY KEY (IDRicevuteAzienda)
)
GO

-- Gym users (customers and members).
CREATE TABLE dbo.Utenti (
    IDUtente int NOT NULL,
    IdSocio int NULL,
    Cognome varchar(50) NULL,
    Nome varchar(50) NULL,
    CodiceFiscale varchar(16) NULL,
    PIVA varchar(20) NULL,
    Indirizzo_Via varchar(80) NULL,
    Indirizzo_NumeroCivico varchar(10) NULL,
    Indirizzo_Cap varchar(10) NULL,
    Indirizzo_Citta varchar(60) NULL,
    Indirizzo_Pv varchar(5) NULL,
    Luogo_Nascita varchar(60) NULL,
    Data_Nascita datetime NULL,
    Provincia_Nascita varchar(2) NULL,
    Sesso varchar(1) NULL,
    Telefono_1 varchar(30) NULL,
    Telefono_2 varchar(30) NULL,
    DataCreazione datetime NULL,
    DataModifica datetime NULL,
    CONSTRAINT PK_Utenti PRIMARY KEY (IDUtente)
)
GO

-- Receipt headers (Annullata -1 = cancelled).
CREATE TABLE dbo.RicevuteTestata (
    IDRicevuta int NOT NULL,
    IDRicevuteAzienda int NOT NULL,
    TipoRicevuta varchar(10) NULL,
    NumeroRicevuta int NULL,
    DataRicevuta datetime NULL,
    Annullata smallint NOT NULL DEFAULT 0,
    IDUtente int NULL,
    Cliente varchar(80) NULL,
    PIVA varchar(20) NULL,
    Indirizzo_1 varchar(80) NULL,
    Indirizzo_2 varchar(80) NULL,
    Totale decimal(18, 2) NULL,
    CONSTRAINT PK_RicevuteTestata PRIMARY KEY (IDRicevuta)
)
GO
CREATE INDEX IX_RicevuteTestata_DataRicevuta ON dbo.RicevuteTestata (DataRicevuta, IDRicevuteAzienda)
GO
CREATE INDEX IX_RicevuteTestata_NumeroRicevuta ON dbo.RicevuteTestata (NumeroRicevuta, IDRicevuteAzienda)
GO

-- Receipt rows, each pointing to its till movement; DataInizioOrigine/DataFineOrigine from patch level 514100.
CREATE TABLE dbo.RicevuteRiga (
    IDRicevuteRiga int NOT NULL,
    IDRicevuta int NOT NULL,
    IDCassaMovimento int NULL,
    IDCentroRicavo int NULL,
    Descrizione varchar(max) NULL,
    Qta decimal(18, 2) NULL,
    PrezzoUnitario decimal(18, 2) NULL,
    Iva decimal(5, 2) NULL,
    IvaDescrizione varchar(50) NULL,
    DataInizioOrigine datetime NULL,
    DataFineOrigine datetime NULL,
    CONSTRAINT PK_RicevuteRiga PRIMARY KEY (IDRicevuteRiga)
)
GO
CREATE INDEX IX_RicevuteRiga_IDRicevuta ON dbo.RicevuteRiga (IDRicevuta)
GO
CREATE INDEX IX_RicevuteRiga_IDCassaMovimento ON dbo.RicevuteRiga (IDCassaMovimento)
GO

-- VAT rates of the gym with their codes.
CREATE TABLE dbo.RicevuteIva (
    IDRicevuteIva int NOT NULL,
    Iva decimal(5, 2) NULL,
    Descrizione varchar(50) NULL,
    CodiceIva varchar(10) NULL,
    CONSTRAINT PK_RicevuteIva PRIMARY KEY (IDRicevuteIva)
)
GO
CREATE INDEX IX_RicevuteIva_Iva ON dbo.RicevuteIva (Iva, Descrizione)
GO

-- Payment types of the till.
CREATE TABLE dbo.CassaTipiPagamenti (
    IDTipoPagamento int NOT NULL,
    Descrizione varchar(50) NULL,
    CONSTRAINT PK_CassaTipiPagamenti PRIMARY KEY (IDTipoPagamento)
)
GO

-- Till movements: service type, the service sold (IDIscrizione: enrolment, agenda enrolment or bar total) and payment type.
CREATE TABLE dbo.CassaMovimenti (
    IDCassaMovimento int NOT NULL,
    IDRicevutaAzienda int NULL,
    IDRicevuteRiga int NULL,
    DataMovimento datetime NULL,
    TipoServizio varchar(10) NULL,
    IDServizio int NULL,
    IDIscrizione int NULL,
    IDTipoPagamento int NULL,
    Importo decimal(18, 2) NULL,
    CONSTRAINT PK_CassaMovimenti PRIMARY KEY (IDCassaMovimento)
)
GO
CREATE INDEX IX_CassaMovimenti_IDIscrizione ON dbo.CassaMovimenti (IDIscrizione)
GO

-- Categories of revenue centres.
CREATE TABLE dbo.CentriRicavoCategorie (
    IDCentroCategoria int NOT NULL,
    Codice varchar(20) NULL,
    Descrizione varchar(50) NULL,
    CONSTRAINT PK_CentriRicavoCategorie PRIMARY KEY (IDCentroCategoria)
)
GO

-- Revenue centres.
CREATE TABLE dbo.CentriRicavo (
    IDCentro int NOT NULL,
    IDCentroCategoria int NULL,
    Codice varchar(20) NULL,
    Descrizione varchar(50) NULL,
    CONSTRAINT PK_CentriRicavo PRIMARY KEY (IDCentro)
)
GO

-- Bar items with the revenue centre of their sales.
CREATE TABLE dbo.BE (
    IDBE int NOT NULL,
    IDCentro int NULL,
    Descrizione varchar(50) NULL,
    CONSTRAINT PK_BE PRIMARY KEY (IDBE)
)
GO

-- Revenue-centre share of a till movement, with the ticket issued by it.
CREATE TABLE dbo.CentriRicavoMovimenti (
    IDCentroRicavoMovimento int NOT NULL,
    IDCassaMovimento int NOT NULL,
    IDTicketEmessi int NULL,
    CONSTRAINT PK_CentriRicavoMovimenti PRIMARY KEY (IDCentroRicavoMovimento)
)
GO
CREATE INDEX IX_CentriRicavoMovimenti_Cassa ON dbo.CentriRicavoMovimenti (IDCassaMovimento)
GO

-- Macro-categories of subscriptions.
CREATE TABLE dbo.AbbonamentiMacroCategorie (
    IDMacroCategoria int NOT NULL,
    Descrizione varchar(50) NULL,
    CONSTRAINT PK_AbbonamentiMacroCategorie PRIMARY KEY (IDMacroCategoria)
)
GO

-- Categories of subscriptions.
CREATE TABLE dbo.AbbonamentiCategorie (
    IDCategoria int NOT NULL,
    IDMacroCategoria int NULL,
    Descrizione varchar(50) NULL,
    CONSTRAINT PK_AbbonamentiCategorie PRIMARY KEY (IDCategoria)
)
GO

-- Subscriptions.
CREATE TABLE dbo.Abbonamenti (
    IDAbbonamento int NOT NULL,
    IDCategoria int NULL,
    Descrizione varchar(50) NULL,
    CONSTRAINT PK_Abbonamenti PRIMARY KEY (IDAbbonamento)
)
GO

-- Durations of a subscription (Durata in units of Periodo, for example 12 M).
CREATE TABLE dbo.AbbonamentiDurata (
    IDDurata int NOT NULL,
    IDAbbonamento int NULL,
    Durata int NULL,
    Periodo varchar(10) NULL,
    CONSTRAINT PK_AbbonamentiDurata PRIMARY KEY (IDDurata)
)
GO

-- Subscription enrolments of users, with their period.
CREATE TABLE dbo.AbbonamentiIscrizione (
    IDIscrizione int NOT NULL,
    IDUtente int NULL,
    IDDurata int NULL,
    DataInizio datetime NULL,
    DataFine datetime NULL,
    CONSTRAINT PK_AbbonamentiIscrizione PRIMARY KEY (IDIscrizione)
)
GO

-- Categories of agenda services.
CREATE TABLE dbo.A2ServiziCategorie (
    IDA2ServiziCategoria int NOT NULL,
    Descrizione varchar(50) NULL,
    CONSTRAINT PK_A2ServiziCategorie PRIMARY KEY (IDA2ServiziCategoria)
)
GO

-- Agenda services.
CREATE TABLE dbo.A2Servizi (
    IDA2Servizio int NOT NULL,
    IDA2ServiziCategoria int NULL,
    DescrizioneServizio varchar(50) NULL,
    CONSTRAINT PK_A2Servizi PRIMARY KEY (IDA2Servizio)
)
GO

-- Agenda commitments: a service offered in the agenda.
CREATE TABLE dbo.A2Impegni (
    IDA2Impegno int NOT NULL,
    IDA2Servizio int NULL,
    CONSTRAINT PK_A2Impegni PRIMARY KEY (IDA2Impegno)
)
GO

-- Agenda appointments of a commitment.
CREATE TABLE dbo.A2Appuntamenti (
    IDA2Appuntamento int NOT NULL,
    IDA2Impegno int NULL,
    DataOra datetime NULL,
    CONSTRAINT PK_A2Appuntamenti PRIMARY KEY (IDA2Appuntamento)
)
GO

-- Agenda enrolments of users in appointments.
CREATE TABLE dbo.A2Iscrizioni (
    IDA2Iscrizione int NOT NULL,
    IDA2Appuntamento int NULL,
    IDUtente int NULL,
    CONSTRAINT PK_A2Iscrizioni PRIMARY KEY (IDA2Iscrizione)
)
GO

-- Categories of tickets.
CREATE TABLE dbo.TicketCategorie (
    IDTicketCategoria int NOT NULL,
    Descrizione varchar(50) NULL,
    CONSTRAINT PK_TicketCategorie PRIMARY KEY (IDTicketCategoria)
)
GO

-- Tickets on sale.
CREATE TABLE dbo.Ticket (
    IDTicket int NOT NULL,
    IDTicketCategoria int NULL,
    Descrizione varchar(50) NULL,
    CONSTRAINT PK_Ticket PRIMARY KEY (IDTicket)
)
GO

-- Tickets issued.
CREATE TABLE dbo.TicketEmessi (
    ID int NOT NULL,
    IDTicket int NULL,
    DataEmissione datetime NULL,
    CONSTRAINT PK_TicketEmessi PRIMARY KEY (ID)
)
GO

-- Macro-categories of bar products.
CREATE TABLE dbo.BarMacroCategorieProdotti (
    IDMacroCategoriaProdotto int NOT NULL,
    Descrizione varchar(50) NULL,
    CONSTRAINT PK_BarMacroCategorieProdotti PRIMARY KEY (IDMacroCategoriaProdotto)
)
GO

-- Categories of bar products ("Kit" marks kit products).
CREATE TABLE dbo.BarProdottiCategoria (
    IDProdottoCategoria int NOT NULL,
    IDMacroCategoriaProdotto int NULL,
    Descrizione varchar(20) NULL,
    CONSTRAINT PK_BarProdottiCategoria PRIMARY KEY (IDProdottoCategoria)
)
GO

-- Bar and shop products with their price.
CREATE TABLE dbo.BarProdotti (
    IDProdotto int NOT NULL,
    IDProdottoCategoria int NULL,
    Codice varchar(20) NULL,
    Descrizione varchar(50) NULL,
    Prezzo decimal(18, 2) NULL,
    CONSTRAINT PK_BarProdotti PRIMARY KEY (IDProdotto)
)
GO

-- Products of a bar sale (IDBarTotale: the sale, referred to by the till movement's IDIscrizione).
CREATE TABLE dbo.BarMovimenti (
    IDBarMovimento int NOT NULL,
    IDBarTotale int NOT NULL,
    IDProdotto int NULL,
    Quantita decimal(18, 2) NULL,
    CONSTRAINT PK_BarMovimenti PRIMARY KEY (IDBarMovimento)
)
GO
CREATE INDEX IX_BarMovimenti_IDBarTotale ON dbo.BarMovimenti (IDBarTotale)
GO
