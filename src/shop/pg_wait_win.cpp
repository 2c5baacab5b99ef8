#include "shop/pg_db.h"

#include <winsock2.h>

namespace shop::pg {

bool waitSocket(int socket, bool writing, int ms)
{
    if (socket < 0)
        return false;
    WSAPOLLFD entry{};
    entry.fd = SOCKET(socket);
    entry.events = writing ? POLLWRNORM : POLLRDNORM;
    return WSAPoll(&entry, 1, ms) > 0;
}

}  // namespace shop::pg
