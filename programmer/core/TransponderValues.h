// Every value of the programmer's main dialog, as plain data. The dialog
// copies its controls into these before an operation and shows them after
// it; the comments name the control each value belongs to.
#pragma once

#include <string>
#include <vector>

namespace Programmer {

struct TransponderValues {
    std::string selectedEpc; // combo box 1095 "EPC:": its current text (hex), addresses the transponder
    std::vector<std::string> epcList; // combo box 1095: its entries, the EPCs of the last inventory
    int count = 0;                    // 1033 "Anzahl:": transponders of the last inventory
    std::string crc;                  // 1039: bank 1 bytes 0-1 (hex)
    std::string pc;                   // 1040: bank 1 bytes 2-3 (hex)
    std::string epc;                  // 1041 "EPC:": the EPC bytes (hex)
    int epcLength = 0;                // 1076 "Länge:": bytes in the EPC field
    int payloadLength = 0;            // 1078 "Nutzlänge:": EPC length in bytes as coded in the PC
    std::string tid;                  // 1044 (read-only): bank 2 (hex)
    int tidLength = 0;                // 1077: bytes read from bank 2
    int userStart = 0;                // 1028 "Start:": byte address in bank 3 (kept even)
    int userLength = 0;               // 1075 "Länge:": bytes in bank 3 (kept even), 0 = the whole bank
    std::string userData;             // 1030 "Daten:" (hex)
    std::string killPassword;         // 1034 "Kill Passwort:" (hex, 4 bytes)
    std::string accessPassword;       // 1035 "Access Passwort:" (hex, 4 bytes)
    std::string status;               // 1068: outcome of the last operation
};

} // namespace Programmer
