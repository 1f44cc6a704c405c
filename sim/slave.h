// What a station does with one request frame whose CRC was checked: the
// Modbus read and write functions 1, 2, 3, 4, 5, 6, 15, 16 and the report
// function 65.
//
// Exceptions, checked in this order as Modbus slaves do:
//   1 illegal function     any other function code
//   3 illegal data value   quantity out of range (1..2000 bits and 1..125
//                          registers read; 1..1968 coils and 1..123 registers
//                          written), a byte count that does not match the
//                          quantity, a coil value other than FF00 or 0000
//   2 illegal data address start + quantity past address 65535, or (65) a
//                          report code other than 9101..9108, 9201..9208
// A request that gets an exception changes nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/station.h"

namespace sim {

enum ModbusFunction : uint8_t {
  kReadCoils = 1,
  kReadDiscreteInputs = 2,
  kReadHoldingRegisters = 3,
  kReadInputRegisters = 4,
  kWriteSingleCoil = 5,
  kWriteSingleRegister = 6,
  kWriteMultipleCoils = 15,
  kWriteMultipleRegisters = 16,
  kReadReportPacket = 65,
};

// The answer to frame (slave, function, body, CRC), without CRC: slave and
// function of the request, then the reply body; an exception answer is
// slave, function | 0x80, code. Writes are carried out.
std::vector<uint8_t> AnswerRequest(Station& station, const uint8_t* frame, size_t length);

// A request to address 0: writes are carried out, reads are not; nothing is
// answered.
void ExecuteBroadcast(Station& station, const uint8_t* frame, size_t length);

std::vector<uint8_t> ExceptionAnswer(uint8_t slave, uint8_t function, uint8_t code);

}  // namespace sim
