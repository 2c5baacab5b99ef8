#include "shop/pg_db.h"

#include <cerrno>
#include <poll.h>

namespace shop::pg {

bool waitSocket(int socket, bool writing, int ms)
{
    if (socket < 0)
        return false;
    pollfd entry{socket, short(writing ? POLLOUT : POLLIN), 0};
    for (;;) {
        const int ready = ::poll(&entry, 1, ms);
        if (ready < 0 && errno == EINTR)
            continue;  // the wait is short; a signal only starts it again
        return ready > 0;
    }
}

}  // namespace shop::pg
