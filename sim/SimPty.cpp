#include "SimPty.h"

#include "LineSpeed.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace SimPty {

std::string Errno(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

bool Open(int& master, int& slave, std::string& slavePath, int baud, std::string& error) {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (master < 0) {
        error = Errno("posix_openpt");
        return false;
    }
    char name[128];
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
        error = Errno("pty setup");
        return false;
    }
    slavePath = name;
    slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        error = Errno("open slave");
        return false;
    }
    termios tio{};
    if (tcgetattr(slave, &tio) != 0) {
        error = Errno("tcgetattr");
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    const speed_t speed = baud > 0 ? SpeedConstant(baud) : B0;
    if (speed != B0) cfsetspeed(&tio, speed);
    if (tcsetattr(slave, TCSANOW, &tio) != 0) {
        error = Errno("tcsetattr");
        return false;
    }
    return true;
}

bool PlaceLink(const std::string& link, const std::string& target, std::string& error) {
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        error = link + " exists and is not a symbolic link";
        return false;
    }
    const std::string temp = link + ".tmp" + std::to_string(getpid());
    unlink(temp.c_str());
    if (symlink(target.c_str(), temp.c_str()) != 0) {
        error = Errno(("symlink " + link).c_str());
        return false;
    }
    if (rename(temp.c_str(), link.c_str()) != 0) {
        error = Errno(("rename " + link).c_str());
        unlink(temp.c_str());
        return false;
    }
    return true;
}

} // namespace SimPty
