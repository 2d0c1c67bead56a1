#pragma once
// The one place where the program's report object is made for the main window.
#include "U_ReportPort.h"

TOrvel_ReportFactory ReportFactory();
