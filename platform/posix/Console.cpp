#include "platform/Console.h"

#include "core/RunTimeError.h"
#include <QFile>

#include <fcntl.h>
#include <pwd.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <vector>

namespace tarsel::platform {

namespace {

// Set from a signal handler: lock-free, so async-signal-safe.
std::atomic<bool> interruptFlag{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void noteInterrupt(int) {
    interruptFlag.store(true, std::memory_order_relaxed);
}

} // namespace

void prepareStandardStreams() {
    for (int stream = STDIN_FILENO; stream <= STDERR_FILENO; ++stream)
        if (::fcntl(stream, F_GETFD) == -1 && errno == EBADF) {
            // The lowest free descriptor: this very one.
            const int opened = ::open("/dev/null", O_RDWR);
            if (opened != stream && opened >= 0)
                ::close(opened);
        }
    std::signal(SIGPIPE, SIG_IGN);
}

bool stderrIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

void catchInterrupts() {
    struct sigaction action {};
    action.sa_handler = noteInterrupt;
    sigemptyset(&action.sa_mask);
    // Not restarted: a blocking call returns with EINTR. The copy's own reads and writes take
    // that and go on, and the run sees the flag at its next yield.
    action.sa_flags = 0;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        // nohup leaves SIGHUP ignored, and a script's `cmd &` SIGINT: whoever started the program
        // asked for it to outlive them.
        struct sigaction inherited {};
        if (signal != SIGTERM && ::sigaction(signal, nullptr, &inherited) == 0 &&
            inherited.sa_handler == SIG_IGN)
            continue;
        ::sigaction(signal, &action, nullptr);
    }
}

bool interrupted() {
    return interruptFlag.load(std::memory_order_relaxed);
}

// Linux waits for nobody: the process ends when the program is done.
void interruptHandled() {}

QStringList unreadableArguments(int argc, char** argv) {
    QStringList unreadable;
    for (int i = 1; i < argc; ++i) {
        const QByteArray bytes(argv[i]);
        if (const QString text = QFile::decodeName(bytes); QFile::encodeName(text) != bytes)
            unreadable << text;
    }
    return unreadable;
}

QString userName() {
    const uid_t uid = ::geteuid();
    const long hint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(hint > 0 ? size_t(hint) : 1024);
    passwd entry{};
    passwd* found = nullptr;
    int err = 0;
    while ((err = ::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found)) == ERANGE)
        buffer.resize(buffer.size() * 2);
    if (err == 0 && found)
        return QString::fromLocal8Bit(found->pw_name);
    // An account without a passwd entry (a container's, say) still has its number.
    return QString::number(uid);
}

std::optional<QByteArray> readSecretLine(const QString& prompt) {
    const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty == -1)
        return std::nullopt;
    termios shown{};
    if (::tcgetattr(tty, &shown) != 0) {
        ::close(tty);
        return std::nullopt;
    }
    termios hidden = shown;
    hidden.c_lflag &= ~tcflag_t(ECHO);
    hidden.c_lflag |= ECHONL;
    const QByteArray text = prompt.toLocal8Bit();
    [[maybe_unused]] const ssize_t asked = ::write(tty, text.constData(), size_t(text.size()));
    ::tcsetattr(tty, TCSAFLUSH, &hidden);
    QByteArray line;
    bool ended = false;
    for (char c = 0;;) {
        const ssize_t read = ::read(tty, &c, 1);
        if (read != 1 || c == '\n') {
            ended = read == 1;
            break;
        }
        line += c;
    }
    ::tcsetattr(tty, TCSAFLUSH, &shown);
    ::close(tty);
    if (!ended && interrupted()) {
        line.fill('\0');
        throw userInterrupt();
    }
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

} // namespace tarsel::platform
