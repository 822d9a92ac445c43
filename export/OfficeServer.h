#pragma once

#include "export/Automation.h"

#include <windows/LateBound.h>

// Excel and WPS spreadsheets: the automation interface mapped onto their object model, reached by
// late-bound calls (on Windows through COM). Both applications take the same calls.
namespace sheets {

// The application registered under `identifier`, driven through `factory`. Throws Error when it
// is not registered or cannot be started.
std::unique_ptr<Application> createOfficeApplication(latebound::Factory& factory, const QString& identifier);

// Adds "Excel.Application" and "ET.Application", created through `factory`, which must outlive
// the servers.
void addOfficeServers(Servers& servers, latebound::Factory& factory);

} // namespace sheets
