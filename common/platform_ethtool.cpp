// SPDX-License-Identifier: MIT
// The ethtool request seam (SIOCETHTOOL): kept alone in this file so a test
// can link its own definition, which scripts the driver's answers.
#include "platform.h"

#include <linux/sockios.h>
#include <sys/ioctl.h>

int tarvex_ethtool_request(int fd, struct ifreq *pifr)
{
    return ::ioctl(fd, SIOCETHTOOL, pifr);
}
