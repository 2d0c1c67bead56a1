-- [Orvel_Zestawnik_PARAMETRY]
SELECT 'Nowy raport' AS Opis
