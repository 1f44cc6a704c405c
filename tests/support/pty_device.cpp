#include "tests/support/pty_device.h"

#include <cstdlib>
#include <stdexcept>

#include "programs/far_end.h"
#include "tests/support/frame_crc.h"

PtyDevice::PtyDevice() {
  char path[128];
  master_ = FarEndOpenPty(path, sizeof path);
  if (master_ < 0) throw std::runtime_error("cannot open a pseudo-terminal");
  slavePath_ = path;
  const std::string link = (dir_.path() / "com1").string();
  if (!MakeSymlink(path, link.c_str())) throw std::runtime_error("cannot link com1");
}

PtyDevice::~PtyDevice() { FarEndClose(master_); }

std::vector<uint8_t> PtyDevice::Received(int firstByteMs, int idleMs) {
  std::vector<uint8_t> bytes(4096);
  bytes.resize(FarEndReadUntilIdle(master_, bytes.data(), bytes.size(), firstByteMs, idleMs));
  return bytes;
}

std::vector<uint8_t> PtyDevice::ReceiveExactly(size_t n, int timeoutMs) {
  std::vector<uint8_t> bytes(n);
  bytes.resize(FarEndReadExactly(master_, bytes.data(), n, timeoutMs));
  return bytes;
}

void PtyDevice::Send(const std::vector<uint8_t>& bytes) {
  if (!FarEndWrite(master_, bytes.data(), bytes.size())) throw std::runtime_error("write failed");
}

void PtyDevice::SendFrame(std::vector<uint8_t> bytes) { Send(WithCrc(std::move(bytes))); }

void PtyDevice::LinkAs(const std::filesystem::path& dir, const std::string& linkName) const {
  const std::string link = (dir / linkName).string();
  if (!MakeSymlink(slavePath_.c_str(), link.c_str())) {
    throw std::runtime_error("cannot link " + linkName);
  }
}

void PtyDevice::HangUp() {
  FarEndClose(master_);
  master_ = -1;
}

void PtyDevice::Replug() {
  HangUp();
  char path[128];
  master_ = FarEndOpenPty(path, sizeof path);
  if (master_ < 0) throw std::runtime_error("cannot open a pseudo-terminal");
  slavePath_ = path;
  const std::string link = (dir_.path() / "com1").string();
  if (!MakeSymlink(path, link.c_str())) throw std::runtime_error("cannot link com1");
}

namespace {

void SetComDir(const std::optional<std::string>& dir) {
  if (dir) {
    setenv("VPI_COM_DIR", dir->c_str(), 1);
  } else {
    unsetenv("VPI_COM_DIR");
  }
}

}  // namespace

ScopedComDir::ScopedComDir(const std::optional<std::string>& dir) {
  if (const char* now = std::getenv("VPI_COM_DIR")) previous_ = now;
  SetComDir(dir);
}

ScopedComDir::~ScopedComDir() { SetComDir(previous_); }
