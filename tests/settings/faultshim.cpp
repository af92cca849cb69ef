// Makes the settings store's file operations fail with EIO while a control file exists, for the
// tests of save faults. Preload it with HIX_FAULT set to write, sync or rename, HIX_FAULT_FOLDER to
// the settings folder and HIX_FAULT_WHILE to the control file; calls outside the folder pass, by
// their path or by the folder their descriptor is open on.
// HIX_FAULT=link refuses hard links with EPERM, as file systems without them do, and
// HIX_FAULT=slow-sync makes each sync take 60 ms, as a slow disk does.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <time.h>
#include <unistd.h>

namespace {

bool armed(const char* operation)
{
    const char* fault = std::getenv("HIX_FAULT");
    const char* control = std::getenv("HIX_FAULT_WHILE");
    return fault && control && std::strcmp(fault, operation) == 0 && ::access(control, F_OK) == 0;
}

bool inFolder(const char* path)
{
    const char* folder = std::getenv("HIX_FAULT_FOLDER");
    return folder && path && std::strncmp(path, folder, std::strlen(folder)) == 0;
}

bool descriptorInFolder(int descriptor)
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", descriptor);
    char target[4096];
    const ssize_t length = ::readlink(link, target, sizeof target - 1);
    if (length < 0)
        return false;
    target[length] = '\0';
    return inFolder(target);
}

// A name relative to a folder's descriptor lies in the folder the descriptor is open on.
bool inFolderAt(int folder, const char* path)
{
    return path
        && (path[0] == '/' || folder == AT_FDCWD ? inFolder(path) : descriptorInFolder(folder));
}

template<typename Function>
Function next(const char* name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

int failed(int error = EIO)
{
    errno = error;
    return -1;
}

template<typename Sync>
int sync(Sync real, int descriptor)
{
    if (!descriptorInFolder(descriptor))
        return real(descriptor);
    if (armed("sync"))
        return failed();
    if (armed("slow-sync")) {
        const timespec slow{0, 60'000'000};
        ::nanosleep(&slow, nullptr);
    }
    return real(descriptor);
}

} // namespace

extern "C" {

ssize_t write(int descriptor, const void* bytes, size_t count)
{
    static const auto real = next<ssize_t (*)(int, const void*, size_t)>("write");
    return armed("write") && descriptorInFolder(descriptor) ? failed()
                                                            : real(descriptor, bytes, count);
}

int fsync(int descriptor)
{
    static const auto real = next<int (*)(int)>("fsync");
    return sync(real, descriptor);
}

int fdatasync(int descriptor)
{
    static const auto real = next<int (*)(int)>("fdatasync");
    return sync(real, descriptor);
}

int rename(const char* from, const char* to)
{
    static const auto real = next<int (*)(const char*, const char*)>("rename");
    return armed("rename") && inFolder(to) ? failed() : real(from, to);
}

int renameat(int fromFolder, const char* from, int toFolder, const char* to)
{
    static const auto real = next<int (*)(int, const char*, int, const char*)>("renameat");
    return armed("rename") && inFolderAt(toFolder, to) ? failed()
                                                       : real(fromFolder, from, toFolder, to);
}

int renameat2(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags)
{
    static const auto real
        = next<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
    return armed("rename") && inFolderAt(toFolder, to)
        ? failed()
        : real(fromFolder, from, toFolder, to, flags);
}

int linkat(int fromFolder, const char* from, int toFolder, const char* to, int flags)
{
    static const auto real = next<int (*)(int, const char*, int, const char*, int)>("linkat");
    return armed("link") && inFolderAt(toFolder, to) ? failed(EPERM)
                                                     : real(fromFolder, from, toFolder, to, flags);
}

} // extern "C"
