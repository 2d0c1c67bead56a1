// The field-kind helpers of U_utils for a result field: its data type decides.
#include "U_Db.h"
#include "U_utils.h"

bool IsNumericField(const DbField &field) {
    return IsNumericField(field.DataType());
}
bool IsStringField(const DbField &field) {
    return IsStringField(field.DataType());
}
bool IsDateTimeField(const DbField &field) {
    return IsDateTimeField(field.DataType());
}
bool IsBooleanField(const DbField &field) {
    return IsBooleanField(field.DataType());
}
QString FieldTypeName(const DbField &field) {
    return FieldTypeName(field.DataType());
}
