// The conversations of the windowless build: there is nobody to ask, so
// each is reported on standard error and answered at once, the alerts with
// the fixed answers that tests set (shared/dialogs.cpp). There is nothing to
// open an address with.
#include "host/shared/dialogs.h"

int DLG_HostAlert(const DLG_AlertView&) { return DLG_NotShown; }
int DLG_HostChooseFile(const NAV_Request&, std::string&) { return DLG_NotShown; }
int DLG_HostSettings() { return DLG_NotShown; }
int DLG_HostAbout() { return DLG_NotShown; }
i32 APP_HostOpenURL(const char*) { return -674; }
void APP_HostShowCursor() {}
