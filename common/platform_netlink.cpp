// SPDX-License-Identifier: MIT
// The routing-message seam (rtnetlink dumps): kept alone in this file so a
// test can link its own definition, which scripts the kernel's batches.
#include "platform.h"

#include <cerrno>
#include <cstdlib>
#include <memory>

#include <sys/socket.h>

#include "diag.h"

// A dump batch fills at most 32 KiB; a larger one is refused, not cut.
static constexpr size_t batch_size = size_t{64} * 1024;

namespace {
struct free_deleter {
    void operator()(void *pblock) const noexcept { std::free(pblock); }
};
}  // namespace

int tarvex_route_dump(int fd, const void *prequest, size_t request_size,
                      int (*ptake)(const uint8_t *pbatch, size_t size, void *pcontext), void *pcontext)
{
    if (send(fd, prequest, request_size, 0) != static_cast<ssize_t>(request_size)) {
        return -1;
    }
    std::unique_ptr<uint8_t, free_deleter> batch(static_cast<uint8_t *>(TARVEX_MALLOC(batch_size)));
    int progress = 0;
    while (progress == 0) {
        ssize_t received = recv(fd, batch.get(), batch_size, MSG_TRUNC);
        if (received < 0 && errno == EINTR) {
            continue;
        }
        if (received <= 0 || static_cast<size_t>(received) > batch_size) {
            return -1;
        }
        progress = ptake(batch.get(), static_cast<size_t>(received), pcontext);
    }
    return progress > 0 ? 0 : -1;
}
