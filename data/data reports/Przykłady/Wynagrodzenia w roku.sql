-- Wynagrodzenia pracowników w roku (domyœlnie 2024) z sumami dzia³ów i sum¹ ogóln¹.
DECLARE @Rok INT, @Dzial INT, @MinPensja NUMERIC(10,2)
-- [Orvel_Zestawnik_PARAMETRY]
SET @Rok = ISNULL(@Rok, 2024)

SELECT x.Dzial AS [Dzia³], x.Pracownik, x.Wyplat AS [Liczba wyp³at],
       x.Brutto AS [Suma brutto], x.Premie AS [Suma premii], x.Srednio AS [Œrednio miesiêcznie],
       x.Orvel_Zestawnik_FORMAT
FROM (SELECT d.Nazwa AS Dzial, 0 AS Poziom, p.Nazwisko + ' ' + p.Imie AS Pracownik,
             COUNT(*) AS Wyplat, CAST(SUM(w.Brutto) AS NUMERIC(14,2)) AS Brutto,
             CAST(SUM(ISNULL(w.Premia, 0)) AS NUMERIC(14,2)) AS Premie,
             CAST(AVG(w.Brutto) AS NUMERIC(12,2)) AS Srednio,
             CASE WHEN p.Kierownik = 1 THEN 'fontstyle=B' END AS Orvel_Zestawnik_FORMAT
      FROM Wynagrodzenia w
      JOIN Pracownicy p ON p.IdPracownika = w.IdPracownika
      JOIN Dzialy d ON d.IdDzialu = p.IdDzialu
      WHERE YEAR(w.Miesiac) = @Rok
        AND (@Dzial IS NULL OR p.IdDzialu = @Dzial)
        AND (@MinPensja IS NULL OR p.Pensja >= @MinPensja)
      GROUP BY d.Nazwa, p.IdPracownika, p.Nazwisko, p.Imie, p.Kierownik
      UNION ALL
      SELECT d.Nazwa, 1, 'Razem: ' + d.Nazwa, COUNT(*), SUM(w.Brutto), SUM(ISNULL(w.Premia, 0)),
             CAST(AVG(w.Brutto) AS NUMERIC(12,2)), 'color=E0E0E0;fontstyle=B;line=up'
      FROM Wynagrodzenia w
      JOIN Pracownicy p ON p.IdPracownika = w.IdPracownika
      JOIN Dzialy d ON d.IdDzialu = p.IdDzialu
      WHERE YEAR(w.Miesiac) = @Rok
        AND (@Dzial IS NULL OR p.IdDzialu = @Dzial)
        AND (@MinPensja IS NULL OR p.Pensja >= @MinPensja)
      GROUP BY d.Nazwa
      UNION ALL
      SELECT NULL, 2, 'Razem wszystkie dzia³y', COUNT(*), SUM(w.Brutto), SUM(ISNULL(w.Premia, 0)),
             CAST(AVG(w.Brutto) AS NUMERIC(12,2)), 'color=C0FFFF;fontstyle=BU;line=up'
      FROM Wynagrodzenia w
      JOIN Pracownicy p ON p.IdPracownika = w.IdPracownika
      WHERE YEAR(w.Miesiac) = @Rok
        AND (@Dzial IS NULL OR p.IdDzialu = @Dzial)
        AND (@MinPensja IS NULL OR p.Pensja >= @MinPensja)) AS x
ORDER BY CASE WHEN x.Dzial IS NULL THEN 1 ELSE 0 END, x.Dzial, x.Poziom, x.Pracownik
