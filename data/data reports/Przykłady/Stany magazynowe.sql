-- Stany magazynowe towarów; wiersze poni¿ej stanu minimalnego s¹ wyró¿nione.
DECLARE @Kategoria INT, @Towar INT, @Fraza NVARCHAR(50), @TylkoAktywne BIT, @PonizejMinimum BIT
-- [Orvel_Zestawnik_PARAMETRY]
SELECT TOP 2000
       m.Nazwa AS Magazyn, t.Indeks, t.Nazwa AS Towar, kat.Nazwa AS Kategoria, t.Jm,
       s.Ilosc AS Stan, s.StanMinimalny AS [Stan minimalny], t.CenaNetto AS [Cena netto],
       CAST(s.Ilosc * t.CenaNetto AS NUMERIC(14,2)) AS [Wartoœæ],
       t.Aktywny, s.DataInwentaryzacji AS Inwentaryzacja,
       CASE WHEN s.Ilosc < s.StanMinimalny THEN 'color=C0C0FF;fontcolor=000080'
            WHEN t.Aktywny = 0 THEN 'fontstyle=I;fontcolor=808080'
            ELSE NULL END AS Orvel_Zestawnik_FORMAT
FROM Stany s
JOIN Magazyny m ON m.IdMagazynu = s.IdMagazynu
JOIN Towary t ON t.IdTowaru = s.IdTowaru
JOIN Kategorie kat ON kat.IdKategorii = t.IdKategorii
WHERE (@Kategoria IS NULL OR t.IdKategorii = @Kategoria)
  AND (@Towar IS NULL OR t.IdTowaru = @Towar)
  AND (@Fraza IS NULL OR t.Nazwa LIKE '%' + @Fraza + '%')
  AND (ISNULL(@TylkoAktywne, 0) = 0 OR t.Aktywny = 1)
  AND (ISNULL(@PonizejMinimum, 0) = 0 OR s.Ilosc < s.StanMinimalny)
ORDER BY m.Nazwa, t.Indeks
