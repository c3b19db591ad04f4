// The decoding helper's own start, from exec until it waits for its request,
// against a program that links the same libraries and does nothing: what
// the helper's set-up (its namespaces above all) adds to what loading its
// libraries costs anyway.
#include "bench.h"

#include <QFile>

#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {

double helperReadyMs(const QString &program)
{
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
        return 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 3);
    const QByteArray path = QFile::encodeName(program);
    char name[] = "mok-decode";
    char *argv[] = {name, nullptr};
    char *envp[] = {nullptr};
    pid_t pid = -1;
    double ms = 0;
    // A request that is none: the helper reads it once it is ready, and ends.
    ms = timeMs([&] {
        if (posix_spawn(&pid, path.constData(), &actions, nullptr, argv, envp) != 0)
            return;
        const char nothing = 0;
        (void)::send(ends[0], &nothing, 1, MSG_NOSIGNAL);
        int status = 0;
        ::waitpid(pid, &status, 0);
    });
    posix_spawn_file_actions_destroy(&actions);
    ::close(ends[0]);
    ::close(ends[1]);
    return ms;
}

} // namespace bench
