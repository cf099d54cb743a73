#pragma once

#include <string>

#include "inspect/PackageInspection.h"

// The report for people: one section per part of the package.
std::string ReportText(const PackageReport& report);

// The same facts as one JSON object, for scripts.
std::string ReportJson(const PackageReport& report);
