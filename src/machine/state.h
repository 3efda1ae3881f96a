// The saved-state file of the whole machine.
#pragma once

// Restores the machine from the state file at path; returns false and changes
// nothing when the file can't be opened.
bool STATE_Read(const char* path);
