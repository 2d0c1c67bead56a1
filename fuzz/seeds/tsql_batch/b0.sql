DECLARE @a INT, @b NVARCHAR(50)
SET @a = 5 SET @b = 'Zażółć'
SELECT @a AS a, @b AS b, LEN(@b) AS n