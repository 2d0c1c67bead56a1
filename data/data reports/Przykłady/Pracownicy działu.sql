-- Lista pracowników dzia³u; kierownicy pogrubieni, osoby zwolnione szar¹ kursyw¹.
DECLARE @Dzial INT, @Stan NVARCHAR(1), @MinStaz INT, @Nazwisko NVARCHAR(50)
-- [Orvel_Zestawnik_PARAMETRY]
SELECT p.Nazwisko, p.Imie AS [Imiê], d.Nazwa AS [Dzia³], p.Stanowisko,
       p.DataZatrudnienia AS [Data zatrudnienia], p.DataZwolnienia AS [Data zwolnienia],
       DATEDIFF(year, p.DataZatrudnienia, ISNULL(p.DataZwolnienia, GETDATE())) AS [Sta¿ (lat)],
       p.Pensja, p.Etat, p.Kierownik, p.Email, p.Telefon,
       CASE WHEN p.Kierownik = 1 THEN 'fontstyle=B'
            WHEN p.DataZwolnienia IS NOT NULL THEN 'fontcolor=808080;fontstyle=I'
            END AS Orvel_Zestawnik_FORMAT
FROM Pracownicy p
JOIN Dzialy d ON d.IdDzialu = p.IdDzialu
WHERE (@Dzial IS NULL OR p.IdDzialu = @Dzial)
  AND (ISNULL(@Stan, 'W') = 'W'
       OR (@Stan = 'Z' AND p.DataZwolnienia IS NULL)
       OR (@Stan = 'X' AND p.DataZwolnienia IS NOT NULL))
  AND (@MinStaz IS NULL
       OR DATEDIFF(year, p.DataZatrudnienia, ISNULL(p.DataZwolnienia, GETDATE())) >= @MinStaz)
  AND (@Nazwisko IS NULL OR p.Nazwisko LIKE @Nazwisko + '%')
ORDER BY p.Nazwisko, p.Imie
