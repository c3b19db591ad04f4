#include "policy.h"

#include "protocol.h"

#include <seccomp.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <linux/sched.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include <initializer_list>

namespace mok::picture::policy {

namespace {

using protocol::kSanitized;

// The flags the C library's pthread_create() passes to clone(): a thread,
// and nothing else a clone can be.
constexpr scmp_datum_t kThreadFlags = CLONE_VM | CLONE_FS | CLONE_FILES | CLONE_SIGHAND |
                                      CLONE_THREAD | CLONE_SYSVSEM | CLONE_SETTLS |
                                      CLONE_PARENT_SETTID | CLONE_CHILD_CLEARTID;

#if defined(__x86_64__)
// The C library's fstat() is newfstatat(fd, "", buf, AT_EMPTY_PATH), and a
// filter cannot read the path to tell that from a look at a named file. So
// the call is trapped: an empty path with AT_EMPTY_PATH is answered with
// fstat() on the descriptor, and any path of its own is refused.
void answerTrappedCall(int, siginfo_t *info, void *context)
{
    auto *registers = static_cast<ucontext_t *>(context)->uc_mcontext.gregs;
    long result = -EACCES;
    if (info->si_syscall == __NR_newfstatat) {
        const auto fd = long(registers[REG_RDI]);
        const auto *path = reinterpret_cast<const char *>(registers[REG_RSI]);
        const auto flags = long(registers[REG_R10]);
        if ((flags & AT_EMPTY_PATH) && path && path[0] == '\0') {
            const int saved = errno;
            result = ::syscall(SYS_fstat, fd, registers[REG_RDX]);
            if (result < 0)
                result = -errno;
            errno = saved;
        }
    }
    registers[REG_RAX] = result;
}

bool trapStatWithPath(scmp_filter_ctx filter)
{
    struct sigaction action = {};
    action.sa_sigaction = answerTrappedCall;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    return ::sigaction(SIGSYS, &action, nullptr) == 0 &&
           seccomp_rule_add(filter, SCMP_ACT_TRAP, SCMP_SYS(newfstatat), 0) == 0;
}
#else
// Elsewhere the trap's registers are not written out here: fstat() is let
// through on an empty path only, which the filter can at least see flagged.
bool trapStatWithPath(scmp_filter_ctx filter)
{
    return seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(newfstatat), 1,
                            SCMP_A3(SCMP_CMP_MASKED_EQ, AT_EMPTY_PATH, AT_EMPTY_PATH)) == 0;
}
#endif

class Filter {
public:
    Filter() : m_filter(seccomp_init(SCMP_ACT_KILL_PROCESS)) {}
    ~Filter() { seccomp_release(m_filter); }
    Filter(const Filter &) = delete;
    Filter &operator=(const Filter &) = delete;

    scmp_filter_ctx get() const { return m_filter; }
    bool ok() const { return m_filter && m_ok; }

    void allow(std::initializer_list<int> calls)
    {
        for (int call : calls)
            add(SCMP_ACT_ALLOW, call, {});
    }
    void allowIf(int call, scmp_arg_cmp condition) { add(SCMP_ACT_ALLOW, call, {condition}); }
    void allowIf(int call, scmp_arg_cmp first, scmp_arg_cmp second)
    {
        add(SCMP_ACT_ALLOW, call, {first, second});
    }
    // One rule per value: the call is allowed when its argument is any one.
    void allowEach(int call, unsigned argument, std::initializer_list<scmp_datum_t> values)
    {
        for (scmp_datum_t v : values)
            add(SCMP_ACT_ALLOW, call, {scmp_arg_cmp{argument, SCMP_CMP_EQ, v, 0}});
    }
    void answer(int call, int error) { add(SCMP_ACT_ERRNO(std::uint32_t(error)), call, {}); }
    void also(bool done) { m_ok = m_ok && done; }

private:
    void add(std::uint32_t action, int call, std::initializer_list<scmp_arg_cmp> conditions)
    {
        if (!m_filter)
            return;
        m_ok = m_ok && seccomp_rule_add_array(m_filter, action, call, unsigned(conditions.size()),
                                              conditions.begin()) == 0;
    }

    scmp_filter_ctx m_filter;
    bool m_ok = true;
};

void allowReading(Filter &f, int picture)
{
    for (int call : {SCMP_SYS(read), SCMP_SYS(pread64), SCMP_SYS(lseek)})
        f.allowIf(call, SCMP_A0(SCMP_CMP_EQ, scmp_datum_t(picture)));
    // A descriptor's own facts; nothing is named by a path.
    f.allow({SCMP_SYS(fstat), SCMP_SYS(close)});
    f.also(trapStatWithPath(f.get()));
    f.answer(SCMP_SYS(statx), ENOSYS);
}

void allowAnswering(Filter &f)
{
    f.allowIf(SCMP_SYS(memfd_create), SCMP_A1(SCMP_CMP_EQ, MFD_CLOEXEC | MFD_ALLOW_SEALING));
    // Its size is held by the file-size limit.
    f.allow({SCMP_SYS(ftruncate)});
    // Only seals: no owner, signal or flags that would reach another process.
    f.allowEach(SCMP_SYS(fcntl), 1, {F_ADD_SEALS, F_GET_SEALS});
    f.allowIf(SCMP_SYS(recvmsg), SCMP_A0(SCMP_CMP_EQ, protocol::kHelperSocket));
    f.allowIf(SCMP_SYS(sendmsg), SCMP_A0(SCMP_CMP_EQ, protocol::kHelperSocket));
    // Closing its own sending side once answered.
    f.allowIf(SCMP_SYS(shutdown), SCMP_A0(SCMP_CMP_EQ, protocol::kHelperSocket),
              SCMP_A1(SCMP_CMP_EQ, SHUT_WR));
    if (kSanitized)
        f.allow({SCMP_SYS(write)});
    else
        f.allowIf(SCMP_SYS(write), SCMP_A0(SCMP_CMP_EQ, STDERR_FILENO));
}

// Memory, never executable: no code can be written and then run.
void allowMemory(Filter &f)
{
    f.allowIf(SCMP_SYS(mmap), SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0));
    f.allowIf(SCMP_SYS(mprotect), SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0));
    f.allow({SCMP_SYS(munmap), SCMP_SYS(mremap), SCMP_SYS(brk)});
    // What the allocator and thread stacks give back, and the preview's
    // pages made ahead of the rows (AnswerMemory).
    if (kSanitized)
        f.allow({SCMP_SYS(madvise)});
    else
        f.allowEach(SCMP_SYS(madvise), 2, {MADV_DONTNEED, MADV_FREE, MADV_POPULATE_WRITE});
}

void allowThreads(Filter &f)
{
    f.allowIf(SCMP_SYS(clone), SCMP_A0(SCMP_CMP_EQ, kThreadFlags));
    // clone3() passes its flags in memory a filter cannot read; the C
    // library falls back to clone() when it is missing.
    f.answer(SCMP_SYS(clone3), ENOSYS);
    f.allowIf(SCMP_SYS(prctl), SCMP_A0(SCMP_CMP_EQ, PR_SET_NAME));
    f.allow({SCMP_SYS(futex), SCMP_SYS(set_robust_list), SCMP_SYS(rseq), SCMP_SYS(sched_yield),
             SCMP_SYS(sched_getaffinity), SCMP_SYS(gettid), SCMP_SYS(getpid),
             SCMP_SYS(clock_gettime), SCMP_SYS(clock_nanosleep), SCMP_SYS(nanosleep),
             SCMP_SYS(getrandom), SCMP_SYS(rt_sigaction), SCMP_SYS(rt_sigprocmask),
             SCMP_SYS(rt_sigreturn), SCMP_SYS(exit), SCMP_SYS(exit_group)});
}

} // namespace

bool applySyscallFilter(int picture)
{
    Filter f;
    allowReading(f, picture);
    allowAnswering(f);
    allowMemory(f);
    allowThreads(f);
    if (kSanitized) {
        // The sanitizers' runtime looks after its own stacks and limits, and
        // tests whether memory is readable by writing it into a pipe.
        f.allow({SCMP_SYS(sigaltstack), SCMP_SYS(prlimit64), SCMP_SYS(getrlimit), SCMP_SYS(pipe2),
                 SCMP_SYS(readv)});
    }
    // Every thread, including any a library has started, gets the filter;
    // no-new-privileges is set here rather than left to libseccomp.
    f.also(seccomp_attr_set(f.get(), SCMP_FLTATR_CTL_TSYNC, 1) == 0);
    f.also(seccomp_attr_set(f.get(), SCMP_FLTATR_CTL_NNP, 0) == 0);
    if (!f.ok() || ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return false;
    return seccomp_load(f.get()) == 0;
}

} // namespace mok::picture::policy
