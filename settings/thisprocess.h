#pragma once

#include <sys/types.h>
#include <unistd.h>

// This process's number and user, asked of the system once: the program neither forks nor
// changes its user.
inline pid_t thisProcess()
{
    static const pid_t process = ::getpid();
    return process;
}

inline uid_t thisUser()
{
    static const uid_t user = ::getuid();
    return user;
}
