// The flags that the dialogs' buttons set and the page import reads: one block of three
// one-byte flags for the whole module.
#pragma once

namespace lorvex {

struct TDownloadFlags {
  bool Stop = false;
  bool StopAll = false;  // the import ends at its next check
  bool CancelWaiting = false;
};
static_assert(sizeof(TDownloadFlags) == 3);

TDownloadFlags& DownloadFlags();

}  // namespace lorvex
