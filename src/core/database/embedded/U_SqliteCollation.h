#pragma once
// The text order of the embedded engine, as SQL Server's default Polish case-insensitive,
// accent-sensitive collation has it: "Ł" between "L" and "M", letter case ignored, accents not,
// trailing blanks ignored in comparisons. SQLite learns it as the collation POLISH_CI_AS (the demo
// databases declare it on their text columns, so ORDER BY, "=", "<", GROUP BY and DISTINCT follow
// it), and LIKE is replaced by T-SQL's: "%", "_", "[a-c]" and "[^...]", letter case ignored.
struct sqlite3;

class QStringView;

namespace sqlitecoll {

inline constexpr const char *CollationName = "POLISH_CI_AS";

// Compares two texts in the collation's order: negative, zero or positive.
int Compare(QStringView a, QStringView b);
// T-SQL LIKE with letter case ignored; escape is the ESCAPE character or null.
bool Like(QStringView text, QStringView pattern, char16_t escape = 0);

// Registers the collation and the LIKE functions on a handle; false when SQLite refuses.
bool Register(sqlite3 *db);

} // namespace sqlitecoll
