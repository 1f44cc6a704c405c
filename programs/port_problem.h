// Why a serial port cannot be opened, in the system's words, for a program
// to say when the driver could not open it. The driver says only that it
// failed; the program asks the system itself, naming the port as the
// driver does (COMn, a device path).
#pragma once

#include <string>

// "DEVICE: reason" (no such device, permission denied, in use by another
// program), or empty when the port opens now or the system does not say.
// Opens the device and closes it again at once.
std::string PortOpenProblem(const std::string& portName);
