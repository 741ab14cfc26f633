-- The ERP stored procedures the import calls, for a SQL Server whose ERP database lacks them
-- (the stand-in ERP that `zodadovez init` creates, or a test server). They give the results of
-- the embedded backend's C++ stand-ins. CREATE, not CREATE OR ALTER: installing them on an ERP
-- that has its own fails instead of replacing them.
-- Run it in the ERP database after erp.sql, for example: sqlcmd -S server -d ERP -i procedures.sql

-- SPMG_ESPLKIT: the components of an article's kit bill for the quantity asked, one row each.
-- The kit bill of an article is its PD95_DISBA row of type 50 with the lowest PD95_IDDISBA. Its
-- links (PD96_LEGAMIDISBA) are taken in the order of PD96_SEQUENZA (no sequence first), then
-- PD96_IDLEGAME; a link's quantity is PD96_QTA times the quantity asked, divided by the bill's
-- PD95_QTABASE (1 when that is 0 or NULL). A component that has a kit bill of its own is
-- replaced by its components, depth first, while its level (the root bill's links are level 1)
-- is below @LIVELLO_ESPLOSIONE; a kit whose bill has no links leaves no row. ESPKIT_DESCART is
-- the component's first MG87_ARTDESC description by language. Quantities are carried with 12
-- decimals and given with the 6 of ESPKIT_QTA1. Company, article and quantity default to 0, ''
-- and 0 as the stand-in reads a missing argument; the other arguments are accepted and unused.
-- The rows replace those of ESPKIT_RISULTATO when that table exists, and are the result set,
-- ordered by ESPKIT_RIGA.
CREATE PROCEDURE dbo.SPMG_ESPLKIT
    @DITTA decimal(5, 0) = NULL,
    @CODICE_ARTICOLO varchar(30) = NULL,
    @VARIANTE_ARTICOLO varchar(10) = NULL,
    @CODICE_DEPOSITO varchar(10) = NULL,
    @QTA_DA_ESPLODERE decimal(28, 12) = NULL,
    @LIVELLO_ESPLOSIONE int = 999,
    @ESPLODI_DIBA_STANDARD smallint = 0,
    @RITORNA_LIVELLI_INTERMEDI smallint = 0,
    @ELABORA_LEGAMI_OPZIONALI smallint = 0,
    @AGGIORNA_COSTO_ULTIMO smallint = 0,
    @COSTO_UNITARIO decimal(19, 6) = 0
AS
BEGIN
    SET NOCOUNT ON;

    DECLARE @v_ditta decimal(5, 0) = ISNULL(@DITTA, 0);
    DECLARE @v_articolo varchar(30) = ISNULL(RTRIM(@CODICE_ARTICOLO), '');
    DECLARE @v_quantita decimal(28, 12) = ISNULL(@QTA_DA_ESPLODERE, 0);
    -- A NULL passed on purpose reads as 0, as the stand-in reads it: no level is exploded.
    DECLARE @v_livelli int = ISNULL(@LIVELLO_ESPLOSIONE, 0);

    -- The kit bill of each article of the company: the one with the lowest id. Ids only, so that
    -- no text is compared across the collations of tempdb and the ERP database.
    CREATE TABLE #ESPKIT_DISTINTE (
        IDDISBA int NOT NULL PRIMARY KEY,
        QTABASE decimal(19, 6) NOT NULL
    );
    INSERT INTO #ESPKIT_DISTINTE (IDDISBA, QTABASE)
    SELECT D.PD95_IDDISBA,
           CASE WHEN ISNULL(D.PD95_QTABASE, 0) = 0 THEN 1 ELSE D.PD95_QTABASE END
    FROM dbo.PD95_DISBA AS D
    WHERE D.PD95_DITTA_CG18 = @v_ditta
      AND D.PD95_TIPO_DISTINTA = 50
      AND NOT EXISTS (SELECT 1 FROM dbo.PD95_DISBA AS E
                      WHERE E.PD95_DITTA_CG18 = D.PD95_DITTA_CG18
                        AND E.PD95_CODART_MG66 = D.PD95_CODART_MG66
                        AND E.PD95_TIPO_DISTINTA = 50
                        AND E.PD95_IDDISBA < D.PD95_IDDISBA);

    DECLARE @v_radice int = (SELECT MIN(D.PD95_IDDISBA) FROM dbo.PD95_DISBA AS D
                           WHERE D.PD95_DITTA_CG18 = @v_ditta
                             AND D.PD95_CODART_MG66 = @v_articolo
                             AND D.PD95_TIPO_DISTINTA = 50);

    CREATE TABLE #ESPKIT (
        ESPKIT_RIGA int NOT NULL PRIMARY KEY,
        ESPKIT_LIVELLO smallint NULL,
        ESPKIT_CODART varchar(30) COLLATE DATABASE_DEFAULT NULL,
        ESPKIT_COMPON varchar(30) COLLATE DATABASE_DEFAULT NULL,
        ESPKIT_OPZIONE varchar(10) COLLATE DATABASE_DEFAULT NULL,
        ESPKIT_DESCART varchar(80) COLLATE DATABASE_DEFAULT NULL,
        ESPKIT_QTA1 decimal(19, 6) NULL,
        ESPKIT_IDDISBA int NULL,
        ESPKIT_IDLEGAME int NULL
    );

    -- Every link reached from the root bill, with the path of link keys that orders it depth
    -- first: 16 digits a level, NULL sequences first. A link whose component has a kit bill is
    -- expanded while its level is below the limit; only the links not expanded are components.
    WITH LEGAMI (LIVELLO, IDDISBA, IDLEGAME, CODART, OPZIONE, QTA, PERCORSO) AS (
        SELECT 1, L.PD96_IDDISBA_PD95, L.PD96_IDLEGAME, L.PD96_CODART_MG66, L.PD96_OPZIONE_MG5E,
               CAST(CAST(CAST(ISNULL(L.PD96_QTA, 0) AS decimal(18, 6))
                         * CAST(@v_quantita AS decimal(24, 12)) AS decimal(31, 13))
                    / CAST(B.QTABASE AS decimal(18, 6)) AS decimal(28, 12)),
               CAST(CASE WHEN L.PD96_SEQUENZA IS NULL THEN '000000'
                         ELSE '1' + RIGHT('00000' + CAST(L.PD96_SEQUENZA + 32768 AS varchar(5)), 5)
                    END
                    + RIGHT('0000000000' + CAST(CAST(L.PD96_IDLEGAME AS bigint) + 2147483648
                                                AS varchar(10)), 10) AS varchar(max))
        FROM dbo.PD96_LEGAMIDISBA AS L
        INNER JOIN #ESPKIT_DISTINTE AS B ON B.IDDISBA = L.PD96_IDDISBA_PD95
        WHERE L.PD96_IDDISBA_PD95 = @v_radice
        UNION ALL
        SELECT P.LIVELLO + 1, L.PD96_IDDISBA_PD95, L.PD96_IDLEGAME, L.PD96_CODART_MG66,
               L.PD96_OPZIONE_MG5E,
               CAST(CAST(CAST(ISNULL(L.PD96_QTA, 0) AS decimal(18, 6))
                         * CAST(P.QTA AS decimal(24, 12)) AS decimal(31, 13))
                    / CAST(B.QTABASE AS decimal(18, 6)) AS decimal(28, 12)),
               CAST(P.PERCORSO
                    + CASE WHEN L.PD96_SEQUENZA IS NULL THEN '000000'
                           ELSE '1' + RIGHT('00000' + CAST(L.PD96_SEQUENZA + 32768 AS varchar(5)), 5)
                      END
                    + RIGHT('0000000000' + CAST(CAST(L.PD96_IDLEGAME AS bigint) + 2147483648
                                                AS varchar(10)), 10) AS varchar(max))
        FROM LEGAMI AS P
        INNER JOIN dbo.PD95_DISBA AS D
            ON D.PD95_DITTA_CG18 = @v_ditta
           AND D.PD95_CODART_MG66 = P.CODART
           AND D.PD95_TIPO_DISTINTA = 50
        INNER JOIN #ESPKIT_DISTINTE AS B ON B.IDDISBA = D.PD95_IDDISBA
        INNER JOIN dbo.PD96_LEGAMIDISBA AS L ON L.PD96_IDDISBA_PD95 = B.IDDISBA
        WHERE P.LIVELLO < @v_livelli
    )
    INSERT INTO #ESPKIT (ESPKIT_RIGA, ESPKIT_LIVELLO, ESPKIT_CODART, ESPKIT_COMPON, ESPKIT_OPZIONE,
                         ESPKIT_DESCART, ESPKIT_QTA1, ESPKIT_IDDISBA, ESPKIT_IDLEGAME)
    SELECT ROW_NUMBER() OVER (ORDER BY G.PERCORSO), G.LIVELLO, @v_articolo, RTRIM(G.CODART),
           ISNULL(RTRIM(G.OPZIONE), ''), T.MG87_DESCART, G.QTA, G.IDDISBA, G.IDLEGAME
    FROM LEGAMI AS G
    OUTER APPLY (SELECT TOP 1 A.MG87_DESCART FROM dbo.MG87_ARTDESC AS A
                 WHERE A.MG87_DITTA_CG18 = @v_ditta AND A.MG87_CODART_MG66 = G.CODART
                 ORDER BY A.MG87_LINGUA_MG52, A.MG87_OPZIONE_MG5E) AS T
    WHERE NOT (G.LIVELLO < @v_livelli
               AND EXISTS (SELECT 1 FROM dbo.PD95_DISBA AS K
                           WHERE K.PD95_DITTA_CG18 = @v_ditta
                             AND K.PD95_CODART_MG66 = G.CODART
                             AND K.PD95_TIPO_DISTINTA = 50))
    OPTION (MAXRECURSION 32767);

    -- Through dynamic SQL, which sees this procedure's temporary table: a database without
    -- ESPKIT_RISULTATO (an ERP that only lacked the procedure) still gets the result set.
    IF OBJECT_ID(N'dbo.ESPKIT_RISULTATO', N'U') IS NOT NULL
        EXEC sp_executesql N'DELETE FROM dbo.ESPKIT_RISULTATO;
            INSERT INTO dbo.ESPKIT_RISULTATO (ESPKIT_RIGA, ESPKIT_LIVELLO, ESPKIT_CODART,
                ESPKIT_COMPON, ESPKIT_OPZIONE, ESPKIT_DESCART, ESPKIT_QTA1, ESPKIT_IDDISBA,
                ESPKIT_IDLEGAME)
            SELECT ESPKIT_RIGA, ESPKIT_LIVELLO, ESPKIT_CODART, ESPKIT_COMPON, ESPKIT_OPZIONE,
                ESPKIT_DESCART, ESPKIT_QTA1, ESPKIT_IDDISBA, ESPKIT_IDLEGAME FROM #ESPKIT;';

    SELECT ESPKIT_RIGA, ESPKIT_LIVELLO, ESPKIT_CODART, ESPKIT_COMPON, ESPKIT_OPZIONE,
           ESPKIT_DESCART, ESPKIT_QTA1, ESPKIT_IDDISBA, ESPKIT_IDLEGAME
    FROM #ESPKIT
    ORDER BY ESPKIT_RIGA;
END
GO

-- SPCO_AGGIORNA_ANAG_FROM_CG16: on a real ERP it propagates a new master record to the tables
-- derived from it. The stand-in ERP has no such tables: it checks that the record exists, and
-- fails as the real procedure would on a code it cannot find.
CREATE PROCEDURE dbo.SPCO_AGGIORNA_ANAG_FROM_CG16
    @CODICE decimal(10, 0) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    IF @CODICE IS NULL
    BEGIN
        RAISERROR('SPCO_AGGIORNA_ANAG_FROM_CG16: the master record code is missing', 16, 1);
        RETURN 1;
    END;
    IF NOT EXISTS (SELECT 1 FROM dbo.CG16_ANAGGEN WHERE CG16_CODICE = @CODICE)
    BEGIN
        DECLARE @v_testo varchar(20) = CONVERT(varchar(20), @CODICE);
        RAISERROR('SPCO_AGGIORNA_ANAG_FROM_CG16: no master record with code %s', 16, 1, @v_testo);
        RETURN 1;
    END;
    RETURN 0;
END
GO
