// Loaded with LD_PRELOAD: the K-th renameat() of the process and every later
// one fail with EIO (K from KML_FAIL_RENAMEAT_FROM), as a disk that fails in
// the middle of putting files in place would.
#include <dlfcn.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

extern "C" int renameat(int fromFd, const char *from, int toFd, const char *to)
{
    using Rename = int (*)(int, const char *, int, const char *);
    static const auto real = reinterpret_cast<Rename>(dlsym(RTLD_NEXT, "renameat"));
    static const long failFrom = [] {
        const char *text = std::getenv("KML_FAIL_RENAMEAT_FROM");
        return text ? std::atol(text) : 0L;
    }();
    static std::atomic<long> calls{0};
    if (failFrom > 0 && ++calls >= failFrom) {
        errno = EIO;
        return -1;
    }
    return real(fromFd, from, toFd, to);
}
