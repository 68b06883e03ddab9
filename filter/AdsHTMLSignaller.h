// The one completion script the system uses: it marks the document body with
// ter_complete = "yes" and flashes the status text "ter_end", which the
// ad-filter helper object waits for.
#pragma once

#include "SignalHTMLFilter.h"

class TAdsHTMLSignaller : public TSignalHTMLFilter {
public:
  static const char ScriptName[];
  static const char ScriptText[];
  TAdsHTMLSignaller();
};
