#include "AdsHTMLSignaller.h"

const char TAdsHTMLSignaller::ScriptName[] = "AdsHTMLSignaller";
const char TAdsHTMLSignaller::ScriptText[] =
    "\r\n<script name=\"AdsHTMLSignaller\">if(document.body){document.body.ter_complete = \"yes\"; window.status = "
    "\"ter_end\"; window.status = \"\"}</script>\r\n";

static_assert(sizeof(TAdsHTMLSignaller::ScriptText) - 1 == 145, "the completion script is 145 bytes");

TAdsHTMLSignaller::TAdsHTMLSignaller() {
  SetScriptName(ScriptName);
  SetScriptText(ScriptText);
}
