// Kept apart: <asm/termbits.h> cannot share a translation unit with <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

bool SetCustomBaudRate(int fd, int bitsPerSecond) {
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return false;
  tio.c_cflag &= ~CBAUD;
  tio.c_cflag |= BOTHER;
  tio.c_ispeed = static_cast<speed_t>(bitsPerSecond);
  tio.c_ospeed = static_cast<speed_t>(bitsPerSecond);
  return ioctl(fd, TCSETS2, &tio) == 0;
}
