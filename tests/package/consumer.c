/*
 * A program of someone else's, built against the installed device library: connects to the board
 * given on the command line and prints its firmware revision and MAC address.
 *   consumer HOST[:PORT]
 */
#include <qorethw.h>

#include <errno.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s HOST[:PORT]\n", argv[0]);
        return 2;
    }
    QEW_HANDLE board = QEW_Connect(argv[1], QEW_MODE_STATUS);
    if (!board) {
        fprintf(stderr, "cannot connect to %s: %s\n", argv[1], strerror(errno));
        return 1;
    }
    uint8_t status[64];
    int32_t length = (int32_t)sizeof status;
    const uint32_t result = QEW_GetStatus(board, &length, status);
    QEW_Disconnect(board);
    if (result != QEW_ERROR_SUCCESS || length < 11) {
        fprintf(stderr, "status read failed: %u\n", (unsigned)result);
        return 1;
    }
    printf("revision %u.%u, MAC %02X-%02X-%02X-%02X-%02X-%02X\n", status[3], status[4] >> 4,
           status[5], status[6], status[7], status[8], status[9], status[10]);
    return 0;
}
