// What the page import offers beyond the request record, set per user in the registry and
// read when an import starts: HKEY_CURRENT_USER\Software\lorvex\PageImport, CompletePages
// (REG_DWORD; 1 saves what modern pages need, absent or 0 the default mode) and
// Connections (REG_DWORD; the most transfers at once, absent kDefaultConnections, 1 one at a
// time in the import's order, values beyond kMaxConnections held there).
#pragma once

#include "import/PageImport.h"

namespace lorvex {

constexpr const char* kPageImportSettingsKey = "Software\\lorvex\\PageImport";
constexpr const char* kCompletePagesValue = "CompletePages";
constexpr const char* kConnectionsValue = "Connections";

// The settings as the registry holds them now; a missing key or value means the default.
PageImportOptions ReadPageImportSettings();

}  // namespace lorvex
