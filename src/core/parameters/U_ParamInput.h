#pragma once
// The current input of one parameter, free of widgets: the parameter panel's controls read and
// write it, and it turns itself into SQL value text ("NULL" or a T-SQL literal) and back.
#include "U_ParamData.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <cstdint>

struct TOrvel_FormatSettings;

// The seven kinds of input; a definition has exactly one.
enum class TOrvel_InputKind : std::uint8_t {
    ikSqlList,   // listquery not empty
    ikFixedList, // listitems not empty, listquery empty
    ikInt,
    ikText,
    ikBit,
    ikNumeric,
    ikDate,
};

TOrvel_InputKind InputKindOf(const TOrvel_ParamData &param);

// A T-SQL string literal: single quotes around, inner quotes doubled, no N prefix.
QString QuoteSQLString(const QString &text);
// A list text of a definition split into entries: at every ";" and line break; an empty piece
// between separators is an entry, a separator at the very end adds none.
QStringList SplitListText(const QString &text);
// A fixed pick list whose captions and values differ in number (a caption without its value
// would give NULL, which most reports read as "no filter"): the fault in the user's words, naming
// the parameter and both counts. Empty when the counts match, when the list has no values (its
// value is then the caption's index) and for every other kind of input.
QString ListCountFault(const TOrvel_ParamData &param);
// The whole-number check: the trimmed text is a decimal 32-bit signed integer.
bool TryTextToInt32(const QString &text, std::int32_t &value);
// The number check: the trimmed text is a finite number written with the user's decimal
// separator and no thousands separators (an exponent is allowed).
bool IsLocaleNumberText(const QString &text, const TOrvel_FormatSettings &fs);
// The one format the date input shows and reads: the user's short date format with the year in
// four digits ("dd.MM.yyyy", "M/d/yyyy", "d MMM yyyy").
QString DateInputFormat(const TOrvel_FormatSettings &fs);
// A whole date typed in that format: day and month with or without a leading zero, a month name
// where the format shows one (or the month's number), the year with all four digits. Anything
// else, a partial or an impossible date, gives an invalid date.
QDate UserTextToDate(const QString &text, const TOrvel_FormatSettings &fs);
// That format in the user's words, e.g. "DD.MM.RRRR".
QString DatePatternText(const TOrvel_FormatSettings &fs);
// A date in that format, as the date input shows it.
QString DateToUserText(const QDate &date, const TOrvel_FormatSettings &fs);

class TOrvel_ParamInput {
public:
    explicit TOrvel_ParamInput(const TOrvel_ParamData &definition);

    const TOrvel_ParamData &Definition() const { return FDefinition; }
    const QString &Name() const { return FDefinition.name; }
    TOrvel_ParamType Type() const { return FDefinition.type; }
    TOrvel_InputKind Kind() const { return FKind; }

    // Plain INT, TEXT and NUMERIC: the entered text.
    const QString &Text() const { return FText; }
    void SetText(const QString &text) { FText = text; }
    // Plain BIT.
    bool Checked() const { return FChecked; }
    void SetChecked(bool checked) { FChecked = checked; }
    // Plain DATE: the date shown and whether it is set (an unset input shows today's date).
    const QDate &Date() const { return FDate; }
    bool DateSet() const { return FDateSet; }
    void SetDate(const QDate &date, bool set);
    // Plain DATE: the user typed a text that is no date; the input is set but has no value.
    void SetRejectedDateText(const QString &text);
    // The text of a plain INT, NUMERIC or DATE input that its type rejects; empty when the input
    // holds a value or nothing. Such an input renders a stand-in (0 or NULL), so no report may
    // run with it.
    QString RejectedText() const;
    // Why the rejected text cannot run, naming the parameter's caption; empty when nothing is
    // rejected.
    QString RejectionMessage() const;
    // Fixed pick list: captions, values (only when the definition has them), chosen position.
    const QStringList &Captions() const { return FCaptions; }
    bool HasValues() const { return FHasValues; }
    const QStringList &Values() const { return FValues; }
    int ChosenIndex() const { return FIndex; }
    void SetChosenIndex(int index); // -1, or a position outside the captions: nothing chosen
    // SQL pick list: the key value as the list holds it (a field value or a text), or none.
    const QVariant &KeyValue() const { return FKey; }
    bool HasKey() const;
    void SetKeyValue(const QVariant &key) { FKey = key; }
    void ClearKey() { FKey = QVariant(); }
    // The key as text: numbers with "." as the decimal separator, dates in the user's short date
    // format, booleans as 1 and 0; empty for none.
    QString KeyText() const;

    QString GetSQLValue() const;
    // Puts an SQL value text or a stored value back into the input. Never fails.
    void SetSQLValue(const QString &value);
    // " @name TYPE" with the flag, "name TYPE" without it.
    QString GetDeclaration(bool asVariable) const;
    // "SET @name = value", with the flag followed by " -- " and the type code text.
    QString GetAssignment(bool withTypeComment) const;

private:
    QString SqlListValue() const;
    QString FixedListValue() const;

    TOrvel_ParamData FDefinition;
    TOrvel_InputKind FKind;
    QString FText;
    bool FChecked = false;
    QDate FDate;
    bool FDateSet = false;
    QString FDateText; // a typed text that is no date, while the input is set
    QStringList FCaptions;
    QStringList FValues;
    bool FHasValues = false;
    int FIndex = -1;
    QVariant FKey;
};
