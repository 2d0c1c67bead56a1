-- Sprzeda¿ netto i brutto w okresie, zgrupowana wed³ug kontrahentów lub kategorii towarów.
DECLARE @Od DATETIME, @Do DATETIME, @Magazyn INT, @Grupowanie INT
-- [Orvel_Zestawnik_PARAMETRY]
SELECT s.Grupa AS [Kontrahent / kategoria],
       COUNT(DISTINCT s.IdFaktury) AS [Liczba faktur],
       CAST(SUM(s.Netto) AS NUMERIC(14,2)) AS [Wartoœæ netto],
       CAST(SUM(s.Brutto) AS NUMERIC(14,2)) AS [Wartoœæ brutto],
       MAX(s.Data) AS [Ostatnia sprzeda¿],
       CASE WHEN SUM(s.Netto) >= 50000 THEN 'color=C0FFC0;fontstyle=B'
            WHEN SUM(s.Netto) < 2000 THEN 'fontcolor=808080;fontstyle=I'
            ELSE '' END AS Orvel_Zestawnik_FORMAT
FROM (SELECT CASE WHEN @Grupowanie = 1 THEN kat.Nazwa ELSE k.Nazwa END AS Grupa,
             f.IdFaktury, f.DataWystawienia AS Data,
             p.Ilosc * p.CenaNetto * (100 - p.Rabat) / 100 AS Netto,
             p.Ilosc * p.CenaNetto * (100 - p.Rabat) / 100 * (100 + t.StawkaVat) / 100 AS Brutto
      FROM Faktury f
      JOIN PozycjeFaktur p ON p.IdFaktury = f.IdFaktury
      JOIN Towary t ON t.IdTowaru = p.IdTowaru
      JOIN Kategorie kat ON kat.IdKategorii = t.IdKategorii
      JOIN Kontrahenci k ON k.IdKontrahenta = f.IdKontrahenta
      WHERE (@Od IS NULL OR f.DataWystawienia >= @Od)
        AND (@Do IS NULL OR f.DataWystawienia < DATEADD(day, 1, @Do))
        AND (@Magazyn IS NULL OR f.IdMagazynu = @Magazyn)) AS s
GROUP BY s.Grupa
ORDER BY SUM(s.Netto) DESC
