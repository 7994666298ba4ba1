// How an operation of the library ended: the result the caller gets and, where the reason is more
// than the result says, the system's or the board's error code. errno is set from it in one place,
// as an entry point returns.
#pragma once

#include "qorethw.h"

#include <cerrno>
#include <cstdint>

namespace qorethw {

class [[nodiscard]] Outcome
{
public:
    static Outcome success() { return Outcome(QEW_ERROR_SUCCESS, 0, 0); }
    // A failure the result alone describes; errno gets the fixed value for it.
    static Outcome fault(std::uint32_t code) { return Outcome(code, 0, 0); }
    // A failure whose reason is a system error number (a connection that could not be made).
    static Outcome system(int error) { return Outcome(QEW_ERROR_NOT_CONNECTED, error, 0); }
    // Memory ran out (inside, std::bad_alloc; the entry points turn it into this): whatever the
    // call was, it did not get through.
    static Outcome outOfMemory() { return system(ENOMEM); }
    // The board refused a request with this code.
    static Outcome board(std::uint32_t code) { return Outcome(QEW_ERROR_BAD_NET_RESP, 0, code); }

    bool ok() const { return m_code == QEW_ERROR_SUCCESS; }
    std::uint32_t code() const { return m_code; }
    int systemError() const { return m_system; }
    std::uint32_t boardError() const { return m_board; }
    // What errno holds after an entry point that ends so has failed.
    int errnoValue() const;

private:
    Outcome(std::uint32_t code, int system, std::uint32_t board)
        : m_code(code), m_system(system), m_board(board)
    {
    }
    std::uint32_t m_code;
    int m_system;
    std::uint32_t m_board;
};

} // namespace qorethw
