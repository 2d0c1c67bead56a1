-- Demo database "Hurtownia": a small wholesaler's warehouses, goods, customers, invoices and
-- stock. Rows are generated with recursive queries from fixed lists, so every build yields the
-- same data. Column types use the T-SQL names that the embedded engine maps onto field kinds;
-- dates are ISO texts ("YYYY-MM-DD", date-times "YYYY-MM-DD HH:MM:SS").
-- Text columns sort and compare as the server's Polish case-insensitive collation does
-- (POLISH_CI_AS, which the program registers with SQLite).
PRAGMA journal_mode = DELETE;
BEGIN;

CREATE TABLE Magazyny (
  IdMagazynu INT PRIMARY KEY,
  Nazwa NVARCHAR(50) COLLATE POLISH_CI_AS NOT NULL,
  Miasto NVARCHAR(50) COLLATE POLISH_CI_AS NOT NULL,
  DataOtwarcia DATE NOT NULL
);
INSERT INTO Magazyny VALUES
  (1, 'Magazyn Centralny', 'Warszawa', '2015-03-02'),
  (2, 'Magazyn Południe', 'Kraków', '2017-06-15'),
  (3, 'Magazyn Łódzki', 'Łódź', '2019-01-07'),
  (4, 'Magazyn Północ', 'Gdańsk', '2021-09-01');

CREATE TABLE Kategorie (
  IdKategorii INT PRIMARY KEY,
  Nazwa NVARCHAR(50) COLLATE POLISH_CI_AS NOT NULL
);
INSERT INTO Kategorie VALUES
  (1, 'Artykuły biurowe'), (2, 'Środki czystości'), (3, 'Żywność'), (4, 'Napoje'),
  (5, 'Elektronika'), (6, 'Narzędzia'), (7, 'Ogród'), (8, 'Łazienka');

-- Goods: every category gets fifteen names made of a base word and a variant.
CREATE TABLE Towary (
  IdTowaru INT PRIMARY KEY,
  Indeks NVARCHAR(20) COLLATE POLISH_CI_AS NOT NULL,
  Nazwa NVARCHAR(100) COLLATE POLISH_CI_AS NOT NULL,
  IdKategorii INT NOT NULL REFERENCES Kategorie(IdKategorii),
  Jm NVARCHAR(10) COLLATE POLISH_CI_AS NOT NULL,
  CenaNetto MONEY NOT NULL,
  StawkaVat NUMERIC(5,2) NOT NULL,
  Waga NUMERIC(10,3) NULL,
  Aktywny BIT NOT NULL,
  DataWprowadzenia DATE NOT NULL
);
CREATE TEMP TABLE Slowa (IdKategorii INT, Nr INT, Slowo TEXT, Jm TEXT, Cena REAL);
INSERT INTO Slowa VALUES
  (1,1,'Długopis','szt',2.49),(1,2,'Zeszyt','szt',4.99),(1,3,'Segregator','szt',11.90),
  (1,4,'Papier ksero','ryza',21.50),(1,5,'Zszywacz','szt',18.00),
  (2,1,'Płyn do naczyń','l',7.99),(2,2,'Proszek do prania','kg',24.90),(2,3,'Mydło w płynie','l',9.49),
  (2,4,'Ściereczki','opak',6.50),(2,5,'Żel do podłóg','l',12.30),
  (3,1,'Kawa ziarnista','kg',59.00),(3,2,'Herbata czarna','opak',8.99),(3,3,'Cukier','kg',4.29),
  (3,4,'Makaron świderki','opak',5.49),(3,5,'Czekolada gorzka','szt',6.99),
  (4,1,'Woda źródlana','butelka',1.99),(4,2,'Sok jabłkowy','l',5.79),(4,3,'Napój pomarańczowy','l',4.59),
  (4,4,'Kompot wiśniowy','l',6.20),(4,5,'Żurawina napój','l',7.10),
  (5,1,'Mysz bezprzewodowa','szt',49.00),(5,2,'Klawiatura','szt',119.00),(5,3,'Ładowarka USB','szt',39.90),
  (5,4,'Słuchawki','szt',159.00),(5,5,'Kabel HDMI','szt',24.90),
  (6,1,'Młotek','szt',34.90),(6,2,'Śrubokręt','szt',14.50),(6,3,'Wiertarka','szt',289.00),
  (6,4,'Poziomica','szt',42.00),(6,5,'Klucz płaski','kpl',79.00),
  (7,1,'Łopata','szt',64.00),(7,2,'Grabie','szt',38.50),(7,3,'Wąż ogrodowy','m',3.20),
  (7,4,'Nawóz','kg',12.90),(7,5,'Sekator','szt',55.00),
  (8,1,'Ręcznik','szt',29.90),(8,2,'Zasłona prysznicowa','szt',44.00),(8,3,'Mydelniczka','szt',15.50),
  (8,4,'Szczoteczka','szt',9.99),(8,5,'Dywanik łazienkowy','szt',59.90);
CREATE TEMP TABLE Warianty (Nr INT, Wariant TEXT, Mnoznik REAL);
INSERT INTO Warianty VALUES (1,'standard',1.0),(2,'premium',1.65),(3,'ekonomiczny',0.72);

INSERT INTO Towary
SELECT (s.IdKategorii - 1) * 15 + (s.Nr - 1) * 3 + w.Nr,
       printf('T%02d-%02d%d', s.IdKategorii, s.Nr, w.Nr),
       s.Slowo || ' ' || w.Wariant,
       s.IdKategorii,
       s.Jm,
       round(s.Cena * w.Mnoznik, 2),
       CASE WHEN s.IdKategorii IN (3, 4) THEN 5.00 WHEN s.IdKategorii = 1 AND s.Nr = 4 THEN 8.00 ELSE 23.00 END,
       CASE WHEN s.Jm IN ('szt', 'kpl', 'opak') THEN round(0.05 + ((s.Nr * 37 + w.Nr * 11) % 90) / 31.0, 3) ELSE NULL END,
       CASE WHEN (s.IdKategorii * 7 + s.Nr * 3 + w.Nr) % 11 = 0 THEN 0 ELSE 1 END,
       date('2018-01-15', '+' || ((s.IdKategorii * 97 + s.Nr * 41 + w.Nr * 13) % 1800) || ' days')
FROM Slowa s CROSS JOIN Warianty w;

-- Customers: company names from three lists, cities with their provinces.
CREATE TABLE Kontrahenci (
  IdKontrahenta INT PRIMARY KEY,
  Nazwa NVARCHAR(100) COLLATE POLISH_CI_AS NOT NULL,
  Nip NVARCHAR(13) COLLATE POLISH_CI_AS NOT NULL,
  Miasto NVARCHAR(50) COLLATE POLISH_CI_AS NOT NULL,
  Wojewodztwo NVARCHAR(50) COLLATE POLISH_CI_AS NOT NULL,
  LimitKredytu MONEY NULL,
  Aktywny BIT NOT NULL,
  Email NVARCHAR(100) COLLATE POLISH_CI_AS NULL,
  DataRejestracji DATE NOT NULL
);
CREATE TEMP TABLE Przedrostki (Nr INT, Tekst TEXT);
INSERT INTO Przedrostki VALUES (0,'Hurt'),(1,'Żagiel'),(2,'Łączność'),(3,'Ślęża'),(4,'Orzeł'),
  (5,'Źródło'),(6,'Bałtyk'),(7,'Mazur'),(8,'Sokół'),(9,'Ćma'),(10,'Lech'),(11,'Łosoś'),(12,'Zorza'),
  (13,'Jantar'),(14,'Wisła'),(15,'Polna'),(16,'Lazur'),(17,'Ekspres'),(18,'Dąb'),(19,'Kłos');
CREATE TEMP TABLE Rdzenie (Nr INT, Tekst TEXT);
INSERT INTO Rdzenie VALUES (0,'Handel'),(1,'Serwis'),(2,'Trade'),(3,'Dystrybucja'),(4,'Market'),
  (5,'Spółdzielnia'),(6,'Usługi'),(7,'Hurtownia'),(8,'Zaopatrzenie'),(9,'Logistyka');
CREATE TEMP TABLE Formy (Nr INT, Tekst TEXT);
INSERT INTO Formy VALUES (0,'Sp. z o.o.'),(1,'S.A.'),(2,'s.c.'),(3,'Sp.j.');
CREATE TEMP TABLE Miasta (Nr INT, Miasto TEXT, Wojewodztwo TEXT);
INSERT INTO Miasta VALUES (0,'Warszawa','mazowieckie'),(1,'Kraków','małopolskie'),(2,'Łódź','łódzkie'),
  (3,'Wrocław','dolnośląskie'),(4,'Poznań','wielkopolskie'),(5,'Gdańsk','pomorskie'),
  (6,'Szczecin','zachodniopomorskie'),(7,'Białystok','podlaskie'),(8,'Rzeszów','podkarpackie'),
  (9,'Zielona Góra','lubuskie'),(10,'Kielce','świętokrzyskie'),(11,'Olsztyn','warmińsko-mazurskie');

WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 240)
INSERT INTO Kontrahenci
SELECT i,
       p.Tekst || ' ' || r.Tekst || ' ' || f.Tekst,
       printf('%03d-%03d-%02d-%02d', 500 + (i * 37) % 499, (i * 53) % 1000, (i * 7) % 100, (i * 13) % 100),
       m.Miasto, m.Wojewodztwo,
       CASE WHEN i % 5 = 0 THEN NULL ELSE ((i * 7919) % 40 + 1) * 2500.00 END,
       CASE WHEN i % 17 = 0 THEN 0 ELSE 1 END,
       CASE WHEN i % 4 = 0 THEN NULL ELSE printf('biuro%d@firma%d.pl', i, i % 37) END,
       date('2016-02-01', '+' || ((i * 211) % 2900) || ' days')
FROM n
JOIN Przedrostki p ON p.Nr = i % 20
JOIN Rdzenie r ON r.Nr = (i / 20) % 10
JOIN Formy f ON f.Nr = (i * 3) % 4
JOIN Miasta m ON m.Nr = (i * 5) % 12;

-- Invoices over 2023 and 2024: issue date-time, due date, payment (NULL while unpaid).
CREATE TABLE Faktury (
  IdFaktury INT PRIMARY KEY,
  Numer NVARCHAR(20) COLLATE POLISH_CI_AS NOT NULL,
  IdKontrahenta INT NOT NULL REFERENCES Kontrahenci(IdKontrahenta),
  IdMagazynu INT NOT NULL REFERENCES Magazyny(IdMagazynu),
  DataWystawienia DATETIME NOT NULL,
  TerminPlatnosci DATE NOT NULL,
  DataZaplaty DATE NULL,
  Zaplacona BIT NOT NULL,
  Uwagi NVARCHAR(200) COLLATE POLISH_CI_AS NULL
);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1800),
d(i, dzien, minuta) AS (SELECT i, (i * 389) % 731, 480 + (i * 97) % 540 FROM n)
INSERT INTO Faktury
SELECT i,
       printf('FV/%d/%05d', 2023 + dzien / 365, i),
       1 + (i * 7877) % 240,
       1 + (i * 3) % 4,
       strftime('%Y-%m-%d %H:%M:%S', '2023-01-02', '+' || dzien || ' days', '+' || minuta || ' minutes'),
       date('2023-01-02', '+' || (dzien + 14 + (i % 3) * 16) || ' days'),
       CASE WHEN dzien > 700 AND i % 2 = 0 THEN NULL
            WHEN i % 13 = 0 THEN NULL
            ELSE date('2023-01-02', '+' || (dzien + (i * 11) % 50) || ' days') END,
       CASE WHEN dzien > 700 AND i % 2 = 0 THEN 0 WHEN i % 13 = 0 THEN 0 ELSE 1 END,
       CASE i % 9 WHEN 0 THEN 'Dostawa na koszt odbiorcy' WHEN 4 THEN 'Płatność przelewem; zaliczka 20%'
                  WHEN 7 THEN 'Reklamacja: uszkodzone opakowanie' ELSE NULL END
FROM d;

CREATE TABLE PozycjeFaktur (
  IdPozycji INT PRIMARY KEY,
  IdFaktury INT NOT NULL REFERENCES Faktury(IdFaktury),
  Lp INT NOT NULL,
  IdTowaru INT NOT NULL REFERENCES Towary(IdTowaru),
  Ilosc NUMERIC(12,3) NOT NULL,
  CenaNetto MONEY NOT NULL,
  Rabat NUMERIC(5,2) NOT NULL
);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 6300),
p(i, f, t) AS (SELECT i, CAST(1 + (i - 1) / 3.5 AS INT), 1 + (i * 613) % 120 FROM n)
INSERT INTO PozycjeFaktur
SELECT p.i, p.f, ROW_NUMBER() OVER (PARTITION BY p.f ORDER BY p.i), p.t,
       CASE WHEN tw.Jm IN ('kg', 'l', 'm') THEN round(1 + ((p.i * 71) % 400) / 8.0, 3) ELSE 1 + (p.i * 29) % 48 END,
       tw.CenaNetto,
       CASE WHEN p.i % 6 = 0 THEN 5.00 WHEN p.i % 10 = 0 THEN 12.50 ELSE 0.00 END
FROM p JOIN Towary tw ON tw.IdTowaru = p.t;

-- Stock of every item in every warehouse, with the minimum level and the last stocktaking.
CREATE TABLE Stany (
  IdMagazynu INT NOT NULL REFERENCES Magazyny(IdMagazynu),
  IdTowaru INT NOT NULL REFERENCES Towary(IdTowaru),
  Ilosc NUMERIC(12,3) NOT NULL,
  StanMinimalny NUMERIC(12,3) NOT NULL,
  DataInwentaryzacji DATE NULL,
  PRIMARY KEY (IdMagazynu, IdTowaru)
);
INSERT INTO Stany
SELECT m.IdMagazynu, t.IdTowaru,
       ((m.IdMagazynu * 131 + t.IdTowaru * 17) % 240) + CASE WHEN t.Jm IN ('kg', 'l', 'm') THEN 0.250 ELSE 0 END,
       20 + (t.IdTowaru % 5) * 10,
       CASE WHEN (m.IdMagazynu + t.IdTowaru) % 6 = 0 THEN NULL
            ELSE date('2024-01-08', '+' || ((m.IdMagazynu * 19 + t.IdTowaru * 7) % 300) || ' days') END
FROM Magazyny m CROSS JOIN Towary t;

CREATE VIEW WartoscFaktur AS
SELECT f.IdFaktury, f.Numer, f.IdKontrahenta, f.IdMagazynu, f.DataWystawienia, f.Zaplacona,
       round(SUM(p.Ilosc * p.CenaNetto * (100 - p.Rabat) / 100), 2) AS Netto,
       round(SUM(p.Ilosc * p.CenaNetto * (100 - p.Rabat) / 100 * (100 + t.StawkaVat) / 100), 2) AS Brutto
FROM Faktury f
JOIN PozycjeFaktur p ON p.IdFaktury = f.IdFaktury
JOIN Towary t ON t.IdTowaru = p.IdTowaru
GROUP BY f.IdFaktury;

CREATE INDEX IX_Faktury_Kontrahent ON Faktury(IdKontrahenta);
CREATE INDEX IX_Faktury_Data ON Faktury(DataWystawienia);
CREATE INDEX IX_Pozycje_Faktura ON PozycjeFaktur(IdFaktury);
COMMIT;
