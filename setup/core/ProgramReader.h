// "Programmieren": writes the pages of the programming dialog into the
// reader, block by block, on a session of its own.
#pragma once

#include "SetupHost.h"

class CSeriellEinstellModel;

enum class ProgramResult {
    Programmed,   // all blocks written; 509 shown
    Failed,       // a write or the baud rate change failed; 510 shown
    NoConnection, // connecting failed; the connect message and 522 shown
    Invalid,      // a page did not validate (its message shown, nothing more), or a
                  // sequence the last file did not load (595 shown; not even connected)
};

// Refuses (595) while a key sequence page holds a sequence the last file did
// not load. Otherwise connects with the stored settings, writes Prefix, Param, ModeParam,
// Suffix, Postcode and Termix in this order, changes the baud rate when one
// was chosen under "Setzen:", closes the session and shows the outcome. The
// session is closed on every path. For an HID reader (flag 0x200) the HID
// parameter page gives the ModeParam values, no baud rate is set, and after
// the blocks the page's keyboard table is transferred over the model's HID
// channel; that outcome (CSeriellEinstellModel::KeyTableTransferred) does
// not change the result.
ProgramResult ProgramReader(CSeriellEinstellModel& model, ISetupHost& host);
