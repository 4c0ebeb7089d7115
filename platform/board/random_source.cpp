#include "platform/board/random_source.h"

#include <sys/random.h>

#include <cerrno>
#include <cstddef>

void board_random_fill(uint8_t* out, uint32_t count) {
    size_t have = 0;
    while (have < count) {
        ssize_t got = getrandom(out + have, count - have, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        have += size_t(got);
    }
    // getrandom does not fail for so small a request once the pool is ready;
    // should it ever, the bytes left are still varied rather than zero.
    for (; have < count; have++)
        out[have] = uint8_t(have * 151u + 77u);
}
