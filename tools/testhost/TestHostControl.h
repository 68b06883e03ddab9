// How a test drives zutesthost.exe: the messages its control window takes.
// The host writes "ready <window handle in hex> <process id>" to its log once
// its server is in the running-object table; post these to that window. Other
// log lines: "registered <HRESULT>", "call <operation>(<arguments>)", "Advise <cookie>",
// "Unadvise <cookie>", "fired ...", "dead", "alive", "exit".
#pragma once

#include <windows.h>

namespace testhost {

constexpr wchar_t ControlClassName[] = L"ZuTestHostControl";

// Fire the event with DISPID wParam (201..207). OnDocumentDataChange gets
// AID = lParam, APresent = true, AComments = "comments <lParam>", AStatus = 2,
// ARating = 3. The log then shows "fired <dispid> <HRESULTs of the sinks>".
constexpr UINT WM_TESTHOST_FIRE = WM_APP + 1;
// Revoke the registration, cut the clients off and exit with 0.
constexpr UINT WM_TESTHOST_QUIT = WM_APP + 2;
// Every call fails from now on (wParam nonzero) or answers again (0).
constexpr UINT WM_TESTHOST_DEAD = WM_APP + 3;

} // namespace testhost
