// Extension 1, "Import MHT,EML Files", on the plug-in side: the portable import with the
// host's message text, the Windows message loop and the packing library.
#pragma once

#include <objidl.h>

#include "plugin/PluginAbi.h"

namespace lorvex {

// Imports the request's archive into its work folder and packs it into hostStream. Throws
// when the import or the packing fails. Messages for the user (a folder that could not be
// created, a part skipped for an unsafe name) are shown in a message box owned by the host's
// window when there is one, and sent to the debugger output in any case.
bool ImportArchive(const TPlugInRequest& request, IStream* hostStream);

}  // namespace lorvex
