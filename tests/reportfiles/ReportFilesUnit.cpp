// The report-file functions depend only on the storage library; compiling them here keeps this
// test independent of the rest of the reports library, which needs the database layer.
#include "U_ReportFiles.cpp"
