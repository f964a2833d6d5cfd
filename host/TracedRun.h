// `lorvex-host --trace`: the library writes one line to the debugger output for every failure
// that a boundary swallows (platform/win32/Boundary.h). To show those lines without a
// debugger, the host starts itself again as a child under the Windows debugging interface,
// which hands the parent every OutputDebugString of that child alone (another program's
// lines never mix in, as they would through the system-wide debug buffer). The child does
// the work; it sees a debugger attached and so does not start another.
#pragma once

namespace lorvex::host {

// Runs this program again, with the same command line, as a debugged child; copies each of
// the child's debugger output strings to stderr as one line, and returns the child's exit
// status (3 when the child could not be started or had to be ended).
int RunTraced();

}  // namespace lorvex::host
