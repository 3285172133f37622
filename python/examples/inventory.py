#!/usr/bin/env python3
"""Lists the transponders in front of a reader: inventory.py PORT [--repeat N]

Prints the reader's model, then one line per transponder (EPC and PC in hex).
Exit status: 0 done, 1 the reader refused (or no link library), 2 wrong arguments, 3 no
connection.
"""
import argparse
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import kvplm_link  # noqa: E402


def main():
    parser = argparse.ArgumentParser(description="List the transponders in front of a reader.")
    parser.add_argument("port", help="the reader's port: a device path, COMn, a.b.c.d-port, ...")
    parser.add_argument("--baud", type=int, default=19200, help="line speed (default 19200)")
    parser.add_argument("--repeat", type=int, default=1, metavar="N", help="inventory rounds (default 1)")
    arguments = parser.parse_args()
    if arguments.repeat < 1:
        parser.error("--repeat is at least 1")

    try:
        with kvplm_link.Reader(arguments.port, arguments.baud) as reader:
            info = reader.info()
            print("%s (type 0x%03X, firmware %s) on %s" % (info.model or "unknown model", info.type_code or 0,
                                                          info.firmware, arguments.port))
            for _ in range(arguments.repeat):
                tags = reader.inventory()
                print("%d transponder%s" % (len(tags), "" if len(tags) == 1 else "s"))
                for tag in tags:
                    print("EPC %s  PC %s" % (tag.epc.hex().upper(), tag.pc.hex().upper()))
    except (kvplm_link.OpenError, kvplm_link.ConnectionLostError) as error:
        print("inventory.py: %s" % error, file=sys.stderr)
        return 3
    except kvplm_link.LinkError as error:
        print("inventory.py: %s" % error, file=sys.stderr)
        return 1
    except OSError as error:  # the library itself is not there
        print("inventory.py: %s" % error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
