// The windowed image transfer of QEW_UploadFirmwareFile.
#pragma once

#include "device.h"

#include <cstdint>
#include <vector>

namespace qorethw {

// Sends base/image to the board and has it commit it. Returns 0 or a QEW error (for
// QEW_ERROR_BAD_NET_RESP the board's code is in device.boardError()).
std::uint32_t uploadImage(Device &device, std::uint32_t base,
                          const std::vector<std::uint8_t> &image);

} // namespace qorethw
