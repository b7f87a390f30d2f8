/*
 * Preloaded into Wine (LD_PRELOAD) by ./run.sh when a Windows program talks to the
 * simulated device over a COM port that Wine maps to a pseudo-terminal.
 *
 * Qt's Windows serial backend waits for input with WaitCommEvent(EV_RXCHAR). Wine
 * carries out that wait by reading the line's modem status (TIOCMGET), and gives
 * the wait up at once when that fails, as it always does on a pseudo-terminal,
 * which has no modem lines: readyRead never comes. Here the modem-status requests
 * on a pseudo-terminal answer as a three-wire line with its control lines up would;
 * every other call goes to the system unchanged. Real serial devices never get here.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <linux/serial.h>
#include <stdarg.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

/* Unix98 pseudo-terminal slaves have the majors 136 to 143. */
static int is_pseudo_terminal(int fd)
{
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

static int is_modem_request(unsigned long request)
{
    return request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC
        || request == TIOCGICOUNT;
}

int ioctl(int fd, unsigned long request, ...)
{
    static int (*system_ioctl)(int, unsigned long, ...);
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    if (!system_ioctl)
        system_ioctl = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
    const int result = system_ioctl(fd, request, arg);
    if (result == 0 || !is_modem_request(request) || !is_pseudo_terminal(fd))
        return result;
    if (request == TIOCMGET)
        *(int *)arg = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
    else if (request == TIOCGICOUNT)
        memset(arg, 0, sizeof(struct serial_icounter_struct));
    errno = 0;
    return 0;
}
