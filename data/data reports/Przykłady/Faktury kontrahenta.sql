-- Faktury kontrahenta ze stanem p³atnoœci na wybrany dzieñ (domyœlnie 31.12.2024).
DECLARE @Kontrahent INT, @Status INT, @MinKwota NUMERIC(12,2), @NaDzien DATETIME
-- [Orvel_Zestawnik_PARAMETRY]
SET @NaDzien = ISNULL(@NaDzien, '20241231')

SELECT f.Numer, k.Nazwa AS Kontrahent, k.Miasto,
       f.DataWystawienia AS [Data wystawienia], f.TerminPlatnosci AS [Termin p³atnoœci],
       f.DataZaplaty AS [Data zap³aty], f.Zaplacona AS [Zap³acona],
       CAST(w.Netto AS NUMERIC(14,2)) AS Netto, CAST(w.Brutto AS NUMERIC(14,2)) AS Brutto,
       CASE WHEN f.Zaplacona = 0 AND f.TerminPlatnosci < @NaDzien
            THEN DATEDIFF(day, f.TerminPlatnosci, @NaDzien) END AS [Dni po terminie],
       f.Uwagi,
       CASE WHEN f.Zaplacona = 0 AND f.TerminPlatnosci < @NaDzien THEN 'color=C0C0FF;fontstyle=B'
            WHEN f.Zaplacona = 0 THEN 'color=C0FFFF'
            END AS Orvel_Zestawnik_FORMAT
FROM Faktury f
JOIN Kontrahenci k ON k.IdKontrahenta = f.IdKontrahenta
JOIN WartoscFaktur w ON w.IdFaktury = f.IdFaktury
WHERE (@Kontrahent IS NULL OR f.IdKontrahenta = @Kontrahent)
  AND f.DataWystawienia < DATEADD(day, 1, @NaDzien)
  AND (@Status IS NULL OR @Status = 0
       OR (@Status = 1 AND f.Zaplacona = 1)
       OR (@Status = 2 AND f.Zaplacona = 0)
       OR (@Status = 3 AND f.Zaplacona = 0 AND f.TerminPlatnosci < @NaDzien))
  AND (@MinKwota IS NULL OR w.Brutto >= @MinKwota)
ORDER BY f.DataWystawienia
