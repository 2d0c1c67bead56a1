-- Demo database "Kadry": a company's departments, staff, monthly pay and absences. Generated from
-- fixed lists with recursive queries, so every build yields the same data. Surnames include the
-- Polish letters that sort after their plain neighbours (Ł after L, Ś after S, Ż after Z).
-- Text columns sort and compare as the server's Polish case-insensitive collation does
-- (POLISH_CI_AS, which the program registers with SQLite).
PRAGMA journal_mode = DELETE;
BEGIN;

CREATE TABLE Dzialy (
  IdDzialu INT PRIMARY KEY,
  Symbol NVARCHAR(5) COLLATE POLISH_CI_AS NOT NULL,
  Nazwa NVARCHAR(50) COLLATE POLISH_CI_AS NOT NULL,
  Budzet MONEY NULL
);
INSERT INTO Dzialy VALUES
  (1, 'ZAR', 'Zarząd', 250000.00), (2, 'KSI', 'Księgowość', 180000.00),
  (3, 'HAN', 'Handlowy', 420000.00), (4, 'LOG', 'Logistyka', 390000.00),
  (5, 'IT', 'Informatyka', 300000.00), (6, 'KAD', 'Kadry i płace', NULL);

CREATE TEMP TABLE Imiona (Nr INT, Imie TEXT, Kobieta INT);
INSERT INTO Imiona VALUES (0,'Anna',1),(1,'Piotr',0),(2,'Małgorzata',1),(3,'Łukasz',0),(4,'Zofia',1),
  (5,'Krzysztof',0),(6,'Żaneta',1),(7,'Paweł',0),(8,'Agnieszka',1),(9,'Michał',0),(10,'Ewa',1),
  (11,'Tomasz',0),(12,'Joanna',1),(13,'Jacek',0),(14,'Dorota',1),(15,'Stanisław',0);
CREATE TEMP TABLE Nazwiska (Nr INT, M TEXT, K TEXT);
INSERT INTO Nazwiska VALUES (0,'Lewandowski','Lewandowska'),(1,'Łukasiewicz','Łukasiewicz'),
  (2,'Lis','Lis'),(3,'Łoś','Łoś'),(4,'Sikora','Sikora'),(5,'Śliwa','Śliwa'),(6,'Zieliński','Zielińska'),
  (7,'Żak','Żak'),(8,'Nowak','Nowak'),(9,'Kowalski','Kowalska'),(10,'Ćwik','Ćwik'),(11,'Cieślak','Cieślak'),
  (12,'Wójcik','Wójcik'),(13,'Kamiński','Kamińska'),(14,'Dąbrowski','Dąbrowska'),(15,'Szymański','Szymańska'),
  (16,'Woźniak','Woźniak'),(17,'Kozłowski','Kozłowska'),(18,'Jankowski','Jankowska'),(19,'Mazur','Mazur'),
  (20,'Krawczyk','Krawczyk'),(21,'Piotrowski','Piotrowska'),(22,'Grabowski','Grabowska'),(23,'Pawłowski','Pawłowska'),
  (24,'Michalski','Michalska'),(25,'Król','Król'),(26,'Wieczorek','Wieczorek'),(27,'Jabłoński','Jabłońska'),
  (28,'Wróbel','Wróbel'),(29,'lis','lis');
CREATE TEMP TABLE Stanowiska (IdDzialu INT, Nr INT, Nazwa TEXT, Pensja REAL);
INSERT INTO Stanowiska VALUES
  (1,0,'Prezes',24000),(1,1,'Członek zarządu',18500),(1,2,'Asystent zarządu',7200),
  (2,0,'Główny księgowy',14500),(2,1,'Księgowy',8900),(2,2,'Referent',6100),
  (3,0,'Kierownik sprzedaży',13200),(3,1,'Przedstawiciel handlowy',7800),(3,2,'Specjalista ds. obsługi klienta',6400),
  (4,0,'Kierownik magazynu',11800),(4,1,'Magazynier',5600),(4,2,'Kierowca',6300),
  (5,0,'Kierownik IT',16800),(5,1,'Programista',12900),(5,2,'Administrator',10400),
  (6,0,'Kierownik kadr',11200),(6,1,'Specjalista ds. płac',8200),(6,2,'Referent kadrowy',6000);

CREATE TABLE Pracownicy (
  IdPracownika INT PRIMARY KEY,
  Imie NVARCHAR(30) COLLATE POLISH_CI_AS NOT NULL,
  Nazwisko NVARCHAR(50) COLLATE POLISH_CI_AS NOT NULL,
  IdDzialu INT NOT NULL REFERENCES Dzialy(IdDzialu),
  Stanowisko NVARCHAR(60) COLLATE POLISH_CI_AS NOT NULL,
  DataUrodzenia DATE NOT NULL,
  DataZatrudnienia DATE NOT NULL,
  DataZwolnienia DATE NULL,
  Pensja MONEY NOT NULL,
  Etat NUMERIC(3,2) NOT NULL,
  Kierownik BIT NOT NULL,
  Email NVARCHAR(100) COLLATE POLISH_CI_AS NULL,
  Telefon NVARCHAR(20) COLLATE POLISH_CI_AS NULL
);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 160),
p(i, imie, nazwisko, dzial, stan) AS (
  SELECT i, (i * 7) % 16, (i * 11) % 30, 1 + (CASE WHEN i <= 6 THEN i - 1 ELSE (i * 5) % 6 END),
         CASE WHEN i <= 6 THEN 0 ELSE 1 + (i % 2) END FROM n)
INSERT INTO Pracownicy
SELECT p.i, im.Imie, CASE WHEN im.Kobieta = 1 THEN nz.K ELSE nz.M END, p.dzial, s.Nazwa,
       date('1962-03-10', '+' || ((p.i * 4447) % 14000) || ' days'),
       date('2005-01-03', '+' || ((p.i * 1931) % 6900) || ' days'),
       CASE WHEN p.i % 9 = 0 THEN date('2005-01-03', '+' || ((p.i * 1931) % 6900 + 200 + (p.i * 17) % 900) || ' days') ELSE NULL END,
       round(s.Pensja * (0.9 + ((p.i * 13) % 30) / 100.0), 2),
       CASE WHEN p.i % 7 = 0 THEN 0.5 WHEN p.i % 11 = 0 THEN 0.75 ELSE 1 END,
       CASE WHEN p.stan = 0 THEN 1 ELSE 0 END,
       CASE WHEN p.i % 6 = 0 THEN NULL ELSE printf('pracownik%03d@firma.pl', p.i) END,
       CASE WHEN p.i % 3 = 0 THEN NULL ELSE printf('+48 %03d %03d %03d', 500 + p.i % 300, (p.i * 7) % 1000, (p.i * 13) % 1000) END
FROM p
JOIN Imiona im ON im.Nr = p.imie
JOIN Nazwiska nz ON nz.Nr = p.nazwisko
JOIN Stanowiska s ON s.IdDzialu = p.dzial AND s.Nr = p.stan;

-- Monthly pay for 2023 and 2024 of everyone employed in that month.
CREATE TABLE Wynagrodzenia (
  IdPracownika INT NOT NULL REFERENCES Pracownicy(IdPracownika),
  Miesiac DATE NOT NULL,
  Brutto MONEY NOT NULL,
  Premia NUMERIC(10,2) NULL,
  DataWyplaty DATETIME NOT NULL,
  PRIMARY KEY (IdPracownika, Miesiac)
);
WITH RECURSIVE m(k) AS (SELECT 0 UNION ALL SELECT k + 1 FROM m WHERE k < 23)
INSERT INTO Wynagrodzenia
SELECT p.IdPracownika, date('2023-01-01', '+' || m.k || ' months'),
       round(p.Pensja * p.Etat, 2),
       CASE WHEN (p.IdPracownika + m.k) % 4 = 0 THEN round(p.Pensja * 0.1 * (1 + (m.k % 3)), 2)
            WHEN (p.IdPracownika + m.k) % 4 = 1 THEN 0.00 ELSE NULL END,
       strftime('%Y-%m-%d %H:%M:%S', date('2023-01-01', '+' || (m.k + 1) || ' months', '-3 days'),
                '+' || (600 + (p.IdPracownika * 7) % 300) || ' minutes')
FROM Pracownicy p CROSS JOIN m
WHERE p.DataZatrudnienia <= date('2023-01-01', '+' || m.k || ' months', '+1 month', '-1 day')
  AND (p.DataZwolnienia IS NULL OR p.DataZwolnienia >= date('2023-01-01', '+' || m.k || ' months'));

CREATE TABLE Nieobecnosci (
  IdNieobecnosci INT PRIMARY KEY,
  IdPracownika INT NOT NULL REFERENCES Pracownicy(IdPracownika),
  Rodzaj NVARCHAR(30) COLLATE POLISH_CI_AS NOT NULL,
  Od DATE NOT NULL,
  Do DATE NOT NULL,
  Dni INT NOT NULL,
  Zatwierdzona BIT NOT NULL
);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 700),
a(i, prac, start, dni) AS (SELECT i, 1 + (i * 37) % 160, (i * 173) % 700, 1 + (i * 7) % 14 FROM n)
INSERT INTO Nieobecnosci
SELECT a.i, a.prac,
       CASE a.i % 5 WHEN 0 THEN 'Zwolnienie lekarskie' WHEN 1 THEN 'Urlop na żądanie'
                    WHEN 2 THEN 'Szkolenie' ELSE 'Urlop wypoczynkowy' END,
       date('2023-01-02', '+' || a.start || ' days'),
       date('2023-01-02', '+' || (a.start + a.dni - 1) || ' days'),
       a.dni,
       CASE WHEN a.i % 8 = 0 THEN 0 ELSE 1 END
FROM a;
COMMIT;
