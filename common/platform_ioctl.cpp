// SPDX-License-Identifier: MIT
// The interface ioctl seam (SIOCGIF*): kept alone in this file so a test can
// link its own definition instead.
#include "platform.h"

#include <sys/ioctl.h>

int tarvex_interface_ioctl(int fd, unsigned long request, struct ifreq *pifr)
{
    return ::ioctl(fd, request, pifr);
}
