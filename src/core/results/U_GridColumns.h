#pragma once
// The columns of a shown result, without widgets: the one truth about column order, width,
// alignment and visibility. The result grid mirrors this object (it listens to the signals and
// writes the user's mouse changes back through the setters); the column settings and the export
// writers read and change it, so the command-line runner, which has no grid, lays out and exports
// a result exactly as the desktop program does.
//
// Usage:
//   TOrvel_GridColumns columns;
//   columns.SetTextWidthMeasure([&fm](const QString &t) { return fm.horizontalAdvance(t); });
//   columns.SetQuery(&query);          // one column per field, in result order, default layout
//   settings.ApplyColumns(columns);    // the report's column settings shape it
//
// Positions are 0-based indexes in display order; every column, hidden ones included, has a
// position. A column is identified by its field: the caption is the field's DisplayLabel (an
// empty label shows the field name), so setting the caption sets the label, and the display
// format lives in the field too.
#include "U_Db.h"

#include <QObject>
#include <QString>

#include <functional>
#include <vector>

enum class TOrvel_Alignment { taLeftJustify, taRightJustify, taCenter };

class TOrvel_GridColumns : public QObject {
    Q_OBJECT
public:
    // Measures the pixel width of a text in the grid's font.
    using TextWidthMeasure = std::function<int(const QString &)>;

    // The width of a new column, before settings or fitting change it.
    static constexpr int DefaultWidth = 64;
    // The fixed estimate used when no measure is set: this many pixels per character.
    static constexpr int EstimatedCharWidth = 7;

    explicit TOrvel_GridColumns(QObject *parent = nullptr);

    // Binds the columns to a query (or none) and lays them out afresh: one column per field in
    // result order, visible, DefaultWidth wide, numeric fields right-aligned, boolean
    // fields centred and every other field left-aligned. While bound, a query whose fields change
    // (opened, re-run or closed) gets a fresh layout again; re-sorting keeps the layout. Emits
    // columnsReset.
    void SetQuery(DbQuery *query);
    DbQuery *Query() const { return FQuery; }
    // Lays the columns out afresh from the bound query's current fields (see SetQuery).
    void Reset();
    // The query is bound and has an open result.
    bool HasOpenResult() const;

    int Count() const { return static_cast<int>(FColumns.size()); }
    // The field shown at a position; never null for a valid position.
    DbField *Field(int position) const;
    // The position of the column whose field name equals `name` without regard to the case of
    // ASCII letters; of several such, the one whose field is the `occurrence`-th of that name in
    // result order (from 1). -1 when none.
    int FindColumn(const QString &fieldName, int occurrence = 1) const;
    // Which field of its name (letter case of ASCII letters ignored) the column at a position
    // shows, counted from 1 in result order: 2 for the second "Nazwa" of a join. Column moves do
    // not change it, so it keys the column together with the name.
    int Occurrence(int position) const;
    // How many fields of the result carry the name (ASCII letter case ignored).
    int NameCount(const QString &fieldName) const;

    QString Caption(int position) const; // the field's DisplayLabel, or its name when empty
    void SetCaption(int position, const QString &caption);
    int Width(int position) const;
    void SetWidth(int position, int width); // negative widths count as 0
    // Whether the width was chosen by the user (a resize with the mouse, or a width read from the
    // column settings): such a width is stored and kept, any other one is fitted to the content
    // on each showing.
    bool WidthChosen(int position) const;
    void SetWidthChosen(int position, bool chosen);
    // A resize by the user: the width becomes chosen and the layout counts as changed by the user.
    void SetUserWidth(int position, int width);
    // A move by the user: the layout counts as changed by the user.
    void UserMove(int from, int to);
    // The user resized or moved a column since the last TakeUserChange; clears the mark.
    bool TakeUserChange();

    // The width that fits the column's content: the fit measure's (the grid measures the whole
    // result in its fonts), or `fallback` when no measure is set.
    using FitMeasure = std::function<int(int position)>;
    int FittedWidth(int position, int fallback) const;
    void SetFitMeasure(FitMeasure measure);
    TOrvel_Alignment Alignment(int position) const;
    void SetAlignment(int position, TOrvel_Alignment alignment);
    bool Visible(int position) const;
    void SetVisible(int position, bool visible);
    // Moves the column at `from` to `to`; the columns between shift by one towards `from`.
    // Invalid positions are ignored. Emits columnMoved when the order changed.
    void Move(int from, int to);

    // The pixel width of a text: the measure when set, else EstimatedCharWidth per character.
    int TextWidth(const QString &text) const;
    void SetTextWidthMeasure(TextWidthMeasure measure);

signals:
    // The column set was rebuilt (new query or new fields): re-read everything.
    void columnsReset();
    // Caption, width, alignment or visibility of one column changed.
    void columnChanged(int position);
    void columnMoved(int from, int to);

private:
    struct Column {
        int FieldIndex;
        int Width;
        TOrvel_Alignment Alignment;
        bool Visible;
        bool WidthChosen = false;
    };
    struct FieldKey {
        const DbField *Field;
        QString Name;
        TFieldType Type;
        bool operator==(const FieldKey &) const = default;
    };
    void QueryResultChanged();
    std::vector<FieldKey> CurrentKeys() const;
    bool Valid(int position) const { return position >= 0 && position < Count(); }

    DbQuery *FQuery = nullptr;
    QMetaObject::Connection FQueryConnection;
    QMetaObject::Connection FQueryDestroyed;
    std::vector<Column> FColumns;
    std::vector<FieldKey> FKeys; // the fields the layout was made for
    TextWidthMeasure FMeasure;
    FitMeasure FFit;
    bool FUserChange = false;
};
