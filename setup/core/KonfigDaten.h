// KonfigDaten: the configuration record through which the pages of the
// programming dialog exchange values with the .mkr file and with the reader
// blocks. Every user starts from a fresh record; the member initialisers are
// the defaults.
#pragma once

#include <array>
#include <cstdint>
#include <string>

struct KonfigDaten {
    struct Register {
        uint8_t MemTypeRegister = 0; // 0 none, 1 reserved, 2 EPC, 3 TID, 4 user
        uint8_t LaengeRegister = 0;  // 6 bits reach the reader
        int32_t StartRegister = 0;   // 24 bits reach the reader
    };

    uint8_t TransponderTyp = 0; // data format: 0 EPC, 1 memory blocks
    std::array<Register, 4> Registers{};
    uint8_t Darstellung = 0; // 0 hex upper, 1 decimal, 2 ASCII, 3 decimal without zeros, 4 hex lower
    uint8_t ZeichenAnzahl = 10;
    uint8_t Betriebsart = 0; // bits 0-3 operating mode, bit 4 sensor input
    uint8_t GueltigeBytes = 5;
    uint8_t GueltigeBytesAb = 1;
    uint8_t Ausrichtung = 0; // bit 0 byte-wise, bit 1 bit-wise rotation
    uint8_t KennungLinks = 0;
    uint8_t KennungRechts = 0;
    int32_t Zykluszeit = 1000; // ms
    int32_t Baudrate = 19200;
    int32_t TimeoutRS232 = 500; // ms
    uint8_t Aufforderung = '?';
};

// A value from a reader or a file that no button of its page has (a
// representation above 4, an operating mode this program does not know):
// the page takes over the field's default instead, so that such a byte never
// goes back into a reader, and keeps this note of what it replaced.
struct ValueReplacement {
    std::string field; // "Darstellung", or "Betriebsart" for its mode bits
    int from = 0;      // the value found (for Betriebsart the mode, bits 0-3)
    int to = 0;        // the default taken over
};
