// tun-attach NAME: attaches to the tun device NAME and holds it open, which gives the device
// its carrier, until the process is ended.

#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tun-attach NAME\n");
        return 2;
    }
    const int fd = ::open("/dev/net/tun", O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        std::perror("tun-attach: /dev/net/tun");
        return 1;
    }
    ifreq request;
    std::memset(&request, 0, sizeof request);
    request.ifr_flags = IFF_TUN | IFF_NO_PI;
    std::strncpy(request.ifr_name, argv[1], IFNAMSIZ - 1);
    if (::ioctl(fd, TUNSETIFF, &request) < 0) {
        std::perror("tun-attach: TUNSETIFF");
        return 1;
    }
    std::printf("attached %s\n", request.ifr_name);
    std::fflush(stdout);
    for (;;)
        ::pause();
}
