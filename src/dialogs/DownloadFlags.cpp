#include "dialogs/DownloadFlags.h"

namespace lorvex {

TDownloadFlags& DownloadFlags() {
  static TDownloadFlags flags;
  return flags;
}

}  // namespace lorvex
