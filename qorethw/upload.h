// QEW_UploadFirmwareFile's work: reading the HEX file while its image goes to the board.
#pragma once

#include "device.h"
#include "outcome.h"

#include <cstdint>
#include <functional>

namespace qorethw {

// done and total in bytes of the image; total is 0 while the file's end has not been read.
using UploadProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

// Reads and checks the HEX file at path and has the board take its image (lowest to highest
// address, gaps 0). Sending starts before the whole file is read; the board commits only on an
// upload end that the file's last record has been checked for, so a fault found late leaves its
// old image. A fault of the file wins over whatever the board or the network did meanwhile.
// Call with device.mutex held.
Outcome uploadFile(Device &device, const char *path, const UploadProgress &progress);

} // namespace qorethw
