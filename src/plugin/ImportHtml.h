// Extension 0: the page import run inside the library, with the progress dialog's two download
// engines, the packing of the working folder and the list of failed downloads.
#pragma once

#include <objidl.h>

#include <string>

#include "plugin/PluginAbi.h"

namespace lorvex {

// The work of loadhtmltostream after the request has been copied: imports html (which came
// from pageLocation) into the request's working folder, packs it into hostStream, and shows the
// failed downloads (also when quiet). True when the import ran to its end and was packed and
// the user did not choose Stop in the list of failures.
bool ImportHtmlToStream(const TPlugInRequest& request, const std::string& html,
                        const std::string& pageLocation, IStream* hostStream, bool quiet);

// Extension 0 through initalize: the request's file read as lines, its folder as the page's
// location, no progress dialog. With the Snapshot setting the page is first rendered by the
// browser FindRenderingBrowser names, within the request's read time-out, and the rendered
// document saved as ImportHtmlToStream saves it; where no browser is found or the rendering
// fails, the file is saved as complete pages are, scripts kept, and the debugger output says
// why.
bool ImportHtmlFile(const TPlugInRequest& request, IStream* hostStream);

}  // namespace lorvex
