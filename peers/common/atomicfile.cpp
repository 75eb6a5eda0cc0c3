#include "atomicfile.h"

#include "sysport.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#endif

namespace zq::peers {

namespace {

#ifdef _WIN32
constexpr const char* kSeparators = "/\\";
constexpr int kCreateFlags = O_WRONLY | O_CREAT | O_TRUNC | O_BINARY | O_NOINHERIT;
int syncFile(int fd)
{
    return ::_commit(fd);
}
// rename() there refuses an existing target; replacing it in one step needs MoveFileEx.
bool replaceFile(const std::string& from, const std::string& to)
{
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
    return false;
}
// The directory entry is flushed by MOVEFILE_WRITE_THROUGH.
void syncDirectory(const std::string&) { }
#else
constexpr const char* kSeparators = "/";
constexpr int kCreateFlags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
int syncFile(int fd)
{
    return ::fsync(fd);
}
bool replaceFile(const std::string& from, const std::string& to)
{
    return ::rename(from.c_str(), to.c_str()) == 0;
}
void syncDirectory(const std::string& dir)
{
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}
#endif

std::string dirOf(const std::string& path)
{
    const auto slash = path.find_last_of(kSeparators);
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool fail(std::string* error, const std::string& what)
{
    if (error)
        *error = what + ": " + std::strerror(errno);
    return false;
}

} // namespace

bool writeFileAtomic(const std::string& path, const std::string& content, std::string* error)
{
    const std::string temp = path + ".tmp." + std::to_string(sys::processId());
    const int fd = ::open(temp.c_str(), kCreateFlags, 0644);
    if (fd < 0)
        return fail(error, "cannot create " + temp);
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(error, "cannot write " + temp);
            ::close(fd);
            ::unlink(temp.c_str());
            return false;
        }
        done += std::size_t(n);
    }
    if (syncFile(fd) != 0 || ::close(fd) != 0) {
        fail(error, "cannot flush " + temp);
        ::unlink(temp.c_str());
        return false;
    }
    if (!replaceFile(temp, path)) {
        fail(error, "cannot rename " + temp + " to " + path);
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable.
    syncDirectory(dirOf(path));
    return true;
}

bool readFile(const std::string& path, std::string& content, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error)
            *error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad()) {
        if (error)
            *error = "cannot read " + path;
        return false;
    }
    content = ss.str();
    return true;
}

int removeStaleTemps(const std::string& path)
{
    const auto slash = path.find_last_of(kSeparators);
    const std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + ".tmp.";
    const std::string dir = dirOf(path);
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return 0;
    int removed = 0;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string pidText = name.substr(prefix.size());
        if (pidText.size() > 9 || pidText.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const int pid = int(std::stol(pidText));
        // A live writer (another process, or this one) may be about to rename its file.
        if (pid == sys::processId() || sys::processAlive(pid))
            continue;
        if (::unlink((dir + "/" + name).c_str()) == 0)
            ++removed;
    }
    ::closedir(d);
    return removed;
}

} // namespace zq::peers
