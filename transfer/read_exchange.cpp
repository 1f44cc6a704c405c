#include "entry/host_library.h"
#include "serial/frame.h"
#include "serial/port.h"
#include "transfer/read.h"

int ExchangeWithReadRetries(VpiInstance* instance, const GateTransfer* transfer,
                            int requestLength, int* replyLength) {
  constexpr int kCountedAttempts = 3;
  constexpr int kWrongReceiveTries = 9;
  int sRetry = kCountedAttempts;
  int wrongLeft = kWrongReceiveTries;
  int replyLen = 0;
  int result = 0;
  bool lengthLogged = false;
  bool firstPass = true;
  g_lastError = 0;

  for (;;) {
    if (!firstPass) {
      if (!lengthLogged) {
        err(kLogDetail, "DoRead() : len=%d", requestLength);
        lengthLogged = true;
      }
      err(kLogDetail, "DoRead() : sRetry=%d, reply_len=%d", sRetry, replyLen);
    }
    if (!firstPass && result == kReceiveWrong) {
      if (wrongLeft == 0) break;
      err(kLogDetail, "Wrong receive (still %d tries)", wrongLeft);
      --wrongLeft;
    } else {
      --sRetry;
    }
    firstPass = false;

    result = 0;
    DrainInput(instance->portHandle);
    if (SendFrame(instance, instance->txBuffer, requestLength) != 0) {
      result = kResultTransport;
      err(kLogDetail, "KOVRIN> DoRead() error sending request, retry %d", kCountedAttempts - sRetry);
    } else {
      const int received = ReceiveFrame(transfer, instance, instance->rxBuffer, &replyLen);
      if (received >= kReceiveWrong) {
        result = kReceiveWrong;
      } else if (received != kReceiveDone) {
        result = received;
        err(kLogDetail, "KOVRIN> DoRead() error reading reply, retry %d", kCountedAttempts - sRetry);
      } else if (!FrameCrcMatches(instance->rxBuffer, replyLen)) {
        result = kResultFailed;
        err(kLogDetail, "KOVRIN> DoRead() crc error, retry %d", kCountedAttempts - sRetry);
      } else if (instance->rxBuffer[1] & kExceptionBit) {
        result = kResultFailed;
        if (g_lastError != kLastErrorException) {
          err(kLogDetail, "KOVRIN> DoRead() received 0x80 error code");
        }
        g_lastError = kLastErrorException;
      }
    }
    if (sRetry == 0 || result == 0) break;
  }
  *replyLength = replyLen;
  return result == kReceiveWrong ? kResultFailed : result;
}
