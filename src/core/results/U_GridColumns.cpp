#include "U_GridColumns.h"

#include "U_utils.h"

#include <algorithm>

TOrvel_GridColumns::TOrvel_GridColumns(QObject *parent) : QObject(parent) {}

void TOrvel_GridColumns::SetQuery(DbQuery *query) {
    if (FQuery != query) {
        QObject::disconnect(FQueryConnection);
        QObject::disconnect(FQueryDestroyed);
        FQuery = query;
        if (FQuery) {
            FQueryConnection = connect(FQuery, &DbQuery::resultChanged, this,
                                       &TOrvel_GridColumns::QueryResultChanged);
            FQueryDestroyed = connect(FQuery, &QObject::destroyed, this, [this] {
                FQuery = nullptr;
                Reset();
            });
        }
    }
    Reset();
}

std::vector<TOrvel_GridColumns::FieldKey> TOrvel_GridColumns::CurrentKeys() const {
    std::vector<FieldKey> keys;
    if (!FQuery)
        return keys;
    const int n = FQuery->FieldCount();
    keys.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const DbField *f = FQuery->Field(i);
        keys.push_back({f, f->FieldName(), f->DataType()});
    }
    return keys;
}

void TOrvel_GridColumns::Reset() {
    FKeys = CurrentKeys();
    FUserChange = false;
    FColumns.clear();
    FColumns.reserve(FKeys.size());
    for (std::size_t i = 0; i < FKeys.size(); ++i) {
        TOrvel_Alignment alignment = TOrvel_Alignment::taLeftJustify;
        if (IsNumericField(FKeys[i].Type))
            alignment = TOrvel_Alignment::taRightJustify;
        else if (IsBooleanField(FKeys[i].Type))
            alignment = TOrvel_Alignment::taCenter;
        FColumns.push_back({static_cast<int>(i), DefaultWidth, alignment, true});
    }
    emit columnsReset();
}

void TOrvel_GridColumns::QueryResultChanged() {
    // A re-sort reports a changed result too; only different fields need a new layout.
    if (CurrentKeys() != FKeys)
        Reset();
}

bool TOrvel_GridColumns::HasOpenResult() const {
    return FQuery && FQuery->IsOpen();
}

DbField *TOrvel_GridColumns::Field(int position) const {
    if (!Valid(position) || !FQuery)
        return nullptr;
    return FQuery->Field(FColumns[static_cast<std::size_t>(position)].FieldIndex);
}

int TOrvel_GridColumns::FindColumn(const QString &fieldName, int occurrence) const {
    if (!FQuery || occurrence < 1)
        return -1;
    // The field first, in result order, then its position.
    const QString wanted = AsciiUpper(fieldName);
    int seen = 0;
    int fieldIndex = -1;
    for (int i = 0; i < FQuery->FieldCount() && fieldIndex < 0; ++i)
        if (AsciiUpper(FQuery->Field(i)->FieldName()) == wanted && ++seen == occurrence)
            fieldIndex = i;
    if (fieldIndex < 0)
        return -1;
    for (int p = 0; p < Count(); ++p)
        if (FColumns[static_cast<std::size_t>(p)].FieldIndex == fieldIndex)
            return p;
    return -1;
}

int TOrvel_GridColumns::Occurrence(int position) const {
    const DbField *field = Field(position);
    if (!field)
        return 0;
    const QString name = AsciiUpper(field->FieldName());
    int occurrence = 1;
    for (int i = 0; i < field->Index(); ++i)
        if (AsciiUpper(FQuery->Field(i)->FieldName()) == name)
            ++occurrence;
    return occurrence;
}

int TOrvel_GridColumns::NameCount(const QString &fieldName) const {
    if (!FQuery)
        return 0;
    const QString wanted = AsciiUpper(fieldName);
    int count = 0;
    for (int i = 0; i < FQuery->FieldCount(); ++i)
        if (AsciiUpper(FQuery->Field(i)->FieldName()) == wanted)
            ++count;
    return count;
}

QString TOrvel_GridColumns::Caption(int position) const {
    const DbField *f = Field(position);
    return f ? f->Label() : QString();
}

void TOrvel_GridColumns::SetCaption(int position, const QString &caption) {
    DbField *f = Field(position);
    if (!f || f->DisplayLabel == caption)
        return;
    f->DisplayLabel = caption;
    emit columnChanged(position);
}

int TOrvel_GridColumns::Width(int position) const {
    return Valid(position) ? FColumns[static_cast<std::size_t>(position)].Width : 0;
}

void TOrvel_GridColumns::SetWidth(int position, int width) {
    if (!Valid(position))
        return;
    width = std::max(width, 0);
    Column &c = FColumns[static_cast<std::size_t>(position)];
    if (c.Width == width)
        return;
    c.Width = width;
    emit columnChanged(position);
}

bool TOrvel_GridColumns::WidthChosen(int position) const {
    return Valid(position) && FColumns[static_cast<std::size_t>(position)].WidthChosen;
}

void TOrvel_GridColumns::SetWidthChosen(int position, bool chosen) {
    if (Valid(position))
        FColumns[static_cast<std::size_t>(position)].WidthChosen = chosen;
}

void TOrvel_GridColumns::SetUserWidth(int position, int width) {
    if (!Valid(position))
        return;
    SetWidthChosen(position, true);
    FUserChange = true;
    SetWidth(position, width);
}

void TOrvel_GridColumns::UserMove(int from, int to) {
    if (!Valid(from) || !Valid(to) || from == to)
        return;
    FUserChange = true;
    Move(from, to);
}

bool TOrvel_GridColumns::TakeUserChange() {
    const bool changed = FUserChange;
    FUserChange = false;
    return changed;
}

int TOrvel_GridColumns::FittedWidth(int position, int fallback) const {
    return FFit && Valid(position) ? FFit(position) : fallback;
}

void TOrvel_GridColumns::SetFitMeasure(FitMeasure measure) {
    FFit = std::move(measure);
}

TOrvel_Alignment TOrvel_GridColumns::Alignment(int position) const {
    return Valid(position) ? FColumns[static_cast<std::size_t>(position)].Alignment
                           : TOrvel_Alignment::taLeftJustify;
}

void TOrvel_GridColumns::SetAlignment(int position, TOrvel_Alignment alignment) {
    if (!Valid(position))
        return;
    Column &c = FColumns[static_cast<std::size_t>(position)];
    if (c.Alignment == alignment)
        return;
    c.Alignment = alignment;
    emit columnChanged(position);
}

bool TOrvel_GridColumns::Visible(int position) const {
    return Valid(position) && FColumns[static_cast<std::size_t>(position)].Visible;
}

void TOrvel_GridColumns::SetVisible(int position, bool visible) {
    if (!Valid(position))
        return;
    Column &c = FColumns[static_cast<std::size_t>(position)];
    if (c.Visible == visible)
        return;
    c.Visible = visible;
    emit columnChanged(position);
}

void TOrvel_GridColumns::Move(int from, int to) {
    if (!Valid(from) || !Valid(to) || from == to)
        return;
    const Column moved = FColumns[static_cast<std::size_t>(from)];
    FColumns.erase(FColumns.begin() + from);
    FColumns.insert(FColumns.begin() + to, moved);
    emit columnMoved(from, to);
}

int TOrvel_GridColumns::TextWidth(const QString &text) const {
    if (FMeasure)
        return FMeasure(text);
    return static_cast<int>(text.size()) * EstimatedCharWidth;
}

void TOrvel_GridColumns::SetTextWidthMeasure(TextWidthMeasure measure) {
    FMeasure = std::move(measure);
}
