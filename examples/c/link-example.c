/*
 * link-example: a small client of the kvplm link library.
 *
 * Opens a reader on the port given on the command line, prints the library
 * version and the reader's identification, runs an inventory and prints the
 * EPC of every transponder in the field, then closes the port.
 *
 *   link-example PORT [BAUD]
 *
 * Exit status: 0 done, 1 the reader refused a command, 2 wrong arguments,
 * 3 no connection to a reader.
 */
#include <kvplm/LinkApi.h>

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { ExitOk = 0, ExitRefused = 1, ExitUsage = 2, ExitNoConnection = 3 };

/* The reader's status byte for "no transponder in the field". */
enum { StatusNoTransponder = 21 };

/* A reader never announces more transponders than fit in its count byte. */
enum { MaxTransponders = 255 };

static void PrintStatus(const char* what, int id) {
    const int status = LinkGetLastError(id);
    const char* text = LinkStatusText(status);
    if (text)
        fprintf(stderr, "link-example: %s failed: %s (status %d)\n", what, text, status);
    else
        fprintf(stderr, "link-example: %s failed: reader status %d\n", what, status);
}

static int Open(const char* port, int baud) {
    errno = 0;
    const int id = LinkOpen(port, baud, 0, 500);
    if (id > 0) return id;
    if (id == -11)
        fprintf(stderr, "link-example: no reader answered on %s\n", port);
    else if (id == -1 && errno != 0)
        fprintf(stderr, "link-example: cannot open %s: %s\n", port, strerror(errno));
    else
        fprintf(stderr, "link-example: cannot open %s (result %d)\n", port, id);
    return 0;
}

static int PrintInfo(int id) {
    char reply[32];
    char name[64];
    name[0] = '\0';
    const int n = LinkGetDeviceInfo(id, reply, sizeof reply - 1, name, sizeof name);
    if (n < 0) {
        PrintStatus("identification", id);
        return 0;
    }
    reply[n] = '\0';
    printf("Library:  %d.%02d\n", LinkGetVersion() / 100, LinkGetVersion() % 100);
    printf("Model:    %s\n", name[0] ? name : "(unknown device type)");
    /* The reply is text: three hex digits of the type, then the firmware's minor number. */
    printf("Type:     0x%.3s\n", reply);
    if (n >= 4) {
        const char minor[2] = {reply[3], '\0'};
        printf("Firmware: V1.%02ld\n", strtol(minor, NULL, 16));
    }
    return 1;
}

/* Inventory: command value 0 starts it and hands out the first transponder,
 * 2 the next one, while the count byte says more are left. Each reply is the
 * count, the PC word, then the EPC. */
static int PrintInventory(int id) {
    unsigned char reply[80];
    int n = LinkInventory(id, 0, reply, sizeof reply);
    if (n < 0 && LinkGetLastError(id) == StatusNoTransponder) n = 0;
    if (n < 0) {
        PrintStatus("inventory", id);
        return 0;
    }
    const int count = n > 0 ? reply[0] : 0;
    printf("Transponders: %d\n", count);
    for (int i = 0; i < count && i < MaxTransponders; ++i) {
        if (i > 0) {
            n = LinkInventory(id, 2, reply, sizeof reply);
            if (n < 0) {
                PrintStatus("inventory", id);
                return 0;
            }
        }
        printf("EPC ");
        for (int k = 3; k < n; ++k)
            printf("%02X", reply[k]);
        printf("\n");
        if (n == 0 || reply[0] <= 1) break;
    }
    return 1;
}

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3 || argv[1][0] == '\0') {
        fprintf(stderr, "usage: link-example PORT [BAUD]\n");
        return ExitUsage;
    }
    int baud = 19200;
    if (argc == 3) {
        char* end = NULL;
        const long value = strtol(argv[2], &end, 10);
        if (*end != '\0' || value <= 0 || value > 1000000) {
            fprintf(stderr, "link-example: BAUD must be a line speed, not \"%s\"\n", argv[2]);
            return ExitUsage;
        }
        baud = (int)value;
    }

    const int id = Open(argv[1], baud);
    if (!id) return ExitNoConnection;
    int ok = PrintInfo(id) && PrintInventory(id);
    /* A reader that went away is no refusal. */
    const int lost = !ok && LinkIsConnected(id) == 0;
    LinkClose(id);
    if (lost) {
        fprintf(stderr, "link-example: the connection to %s is lost\n", argv[1]);
        return ExitNoConnection;
    }
    return ok ? ExitOk : ExitRefused;
}
