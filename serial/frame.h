// One RTU frame each way: SendFrame ("Send()") and ReceiveFrame ("Receive()").
#pragma once

#include <cstdint>

#include "entry/host_records.h"
#include "entry/instance.h"

enum ReceiveCode : int {
  kReceiveDone = 0,       // a whole frame: check CRC and exception bit
  kReceiveRefused = 1,    // exception code 2, 3 or 5
  kReceiveTransport = 2,  // nothing arrived in time, or exception code 4
  kReceiveWrong = 3,      // wrong station, wrong function, or a short frame
};

constexpr int kReportReplyBody = 134;  // two 16-bit fields, 128 text bytes, CRC
constexpr int kWriteEchoBody = 6;      // address, value or quantity, CRC
constexpr uint8_t kExceptionBit = 0x80;
constexpr uint8_t kFunctionReport = 65;

// Sends the length bytes in buffer followed by their CRC, which it writes at
// buffer[length] and buffer[length + 1]. Gives 0, or 2 when not all went out.
int SendFrame(VpiInstance* instance, uint8_t* buffer, int length);

// Reads one reply into buffer; *length counts the bytes read so far (the
// whole frame on kReceiveDone). Does not check the reply's CRC.
int ReceiveFrame(const GateTransfer* transfer, VpiInstance* instance, uint8_t* buffer, int* length);

// True when the last two bytes of the frame are the CRC of those before it.
bool FrameCrcMatches(const uint8_t* frame, int length);
