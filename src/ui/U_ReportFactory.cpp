#include "U_ReportFactory.h"

#include "U_ReportUI.h"

// The report object with its parameter rows on the main window's parameter panel.
TOrvel_ReportFactory ReportFactory() {
    return &CreateReportUI;
}
