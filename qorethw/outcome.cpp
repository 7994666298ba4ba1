#include "outcome.h"

#include <cerrno>

namespace qorethw {

// Every failing call leaves a defined errno: the reason when one is known, else one fixed value
// per result, so that a caller never reads an earlier call's leftover.
int Outcome::errnoValue() const
{
    if (m_system != 0)
        return m_system;
    switch (m_code) {
    case QEW_ERROR_SUCCESS:
        return 0;
    case QEW_ERROR_BAD_NET_RESP:
        return int(m_board);
    case QEW_ERROR_FILE_NOT_FOUND:
        return ENOENT;
    case QEW_ERROR_INVALID_HANDLE:
        return EBADF;
    case QEW_ERROR_BAD_LENGTH:
        return EMSGSIZE;
    case QEW_ERROR_READ_FAULT:
        return EIO;
    case QEW_ERROR_TIMEOUT:
        return ETIMEDOUT;
    case QEW_ERROR_NOT_CONNECTED:
        return ENOTCONN;
    case QEW_ERROR_NOACCESS:
        return EACCES;
    default: // QEW_ERROR_INVALID_DATA, QEW_ERROR_INVALID_PARAMETER
        return EINVAL;
    }
}

} // namespace qorethw
