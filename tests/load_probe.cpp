// Loads one picture file the way the game does, through a decoding helper
// behind its fences, and reports the outcome with the helper's peak memory
// and CPU time, so tests can hold a hostile file's cost against the limits.
//
//   mok_load_probe [--helper PROGRAM] [--cpu SECONDS] [--timeout MS] [--no-threads] FILE
//       prints: ok W H DIVISOR | error MESSAGE
//       then:   peak_kb=N cpu_ms=M shmem_kb=K
//
// --helper starts another helper program than the game's own (a taken-over
// one, tests/fence_helper.cpp); shmem_kb is the shared memory this process
// still has mapped once the load is over: the preview and nothing else.
#include "picture_decoder.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <cerrno>
#include <cstddef>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/syscall.h>

namespace {

// A filter this process and its children keep: clone() of a thread fails as
// it does at the limit on processes, and clone3() is said to be missing so
// that the C library falls back to clone().
bool refuseThreads()
{
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_clone3, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_clone, 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, CLONE_THREAD, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EAGAIN),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

qint64 sharedMemoryKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("RssShmem:"))
            return line.simplified().split(' ').value(1).toLongLong();
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption helper(QStringLiteral("helper"), QString(), QStringLiteral("program"));
    const QCommandLineOption cpu(QStringLiteral("cpu"), QString(), QStringLiteral("seconds"));
    const QCommandLineOption timeout(QStringLiteral("timeout"), QString(), QStringLiteral("ms"));
    const QCommandLineOption noThreads(QStringLiteral("no-threads"));
    parser.addOptions({helper, cpu, timeout, noThreads});
    parser.addPositionalArgument(QStringLiteral("file"), QString());
    parser.process(app);
    if (parser.positionalArguments().size() != 1) {
        QTextStream(stderr) << "usage: mok_load_probe [--helper P] [--cpu S] [--timeout MS] FILE\n";
        return 2;
    }
    mok::picture::PictureDecoder decoder;
    if (parser.isSet(helper))
        decoder.setHelperProgram(parser.value(helper));
    mok::picture::PictureDecoder::Limits limits;
    if (parser.isSet(cpu))
        limits.cpuSeconds = parser.value(cpu).toUInt();
    if (parser.isSet(timeout))
        limits.answerTimeoutMs = parser.value(timeout).toInt();
    decoder.setLimits(limits);
    if (parser.isSet(noThreads) && !refuseThreads()) {
        QTextStream(stderr) << "cannot refuse threads\n";
        return 2;
    }

    mok::picture::PictureLoadResult result;
    QObject::connect(&decoder, &mok::picture::PictureDecoder::finished, &app,
                     [&](quint64, const mok::picture::PictureLoadResult &r) {
                         result = r;
                         QCoreApplication::quit();
                     });
    decoder.load(parser.positionalArguments().constFirst(), mok::Screen::fromPixels(1024, 768));
    QCoreApplication::exec();
    QTextStream out(stdout);
    if (result.ok)
        out << "ok " << result.picture.fullSize.width() << ' ' << result.picture.fullSize.height()
            << ' ' << result.picture.divisor << '\n';
    else
        out << "error " << result.error << '\n';
    const mok::picture::PictureDecoder::HelperCost &cost = decoder.lastHelperCost();
    out << "peak_kb=" << cost.peakKb << " cpu_ms=" << cost.cpuMs << " shmem_kb=" << sharedMemoryKb()
        << '\n';
    return 0;
}
