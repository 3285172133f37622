// Lists of the ports a user can choose.
//
// Serial ports come from the kernel's tty class in sysfs (Sysfs.h): every tty
// with a device behind it, a ttyS only when a UART answers behind it. An
// entry is the tty's device node; a port whose USB product string begins
// with "Norda" or "ZR-5" carries that string as a label: "/dev/ttyACM0
// [Norda Virtual COM]". Everything after the first blank of an entry is such
// a label, and the port opens by the node in front of it.
//
// Simulated readers announce themselves with one file each in the simulator
// directory (SimulatorDirectory): "<pid>-<n>.port", whose first line is the
// device to open and whose second line is a label such as "Simulated
// KV-PLM41". They are listed after the system's ports as "<device> [<label>]".
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace PortList {

// The serial ports: the system's in the natural order of their tty names
// (ttyS2 before ttyS10), then the simulated readers.
void ListComPorts(std::vector<std::string>& list);
// Appends the serial numbers of the USB bridge devices (ftdi_sio) that this
// process has not open.
void ListFtdiDevices(std::vector<std::string>& list);
// Whether the USB virtual COM driver (cdc_acm) is present: loaded, built in,
// or available as a module of the running kernel.
bool IsVirtualComDriverInstalled();

// Appends the simulated readers that are alive (SimAnnounce: files whose
// process is gone or whose device has vanished are skipped, and so is a
// folder that is not the user's own).
void ListSimulatedPorts(std::vector<std::string>& list);
// ${KVPLM_SIM_DIR:-${XDG_RUNTIME_DIR:-/tmp}/kvplm-sim}
std::string SimulatorDirectory();

// Whether a UART stands behind a ttyS device node. The default asks the
// driver (TIOCGSERIAL type other than PORT_UNKNOWN); tests replace it. Null
// restores the default.
using UartProbe = std::function<bool(const std::string& node)>;
void SetUartProbe(UartProbe probe);

// The label that a USB product string gives a port ("" for none).
std::string LabelFor(const std::string& productString);

} // namespace PortList
