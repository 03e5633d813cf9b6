#include "standins/bogofilter.h"

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace standins {

namespace {

// bogofilter's own messages go to a log beside the word list, so that the
// host's output stays its own.
pid_t spawn(char* const argv[], int in, int out, const std::string& log) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (in >= 0) posix_spawn_file_actions_adddup2(&actions, in, 0);
    if (out >= 0) posix_spawn_file_actions_adddup2(&actions, out, 1);
    posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        throw std::runtime_error("bogofilter could not be started; install it with: sudo apt-get install bogofilter");
    return pid;
}

}  // namespace

std::int32_t voteFromSpamicity(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || value < 0 || value > 1) throw std::runtime_error("bogofilter gave no spamicity: " + text);
    // A small allowance keeps 0.57 from becoming 56 through binary rounding.
    return static_cast<std::int32_t>(std::floor(value * 100 + 1e-7));
}

Bogofilter::Bogofilter(std::string wordlistDir) : dir_(std::move(wordlistDir)) {
    // A classifier that died must give an error, not kill the host on the next write.
    std::signal(SIGPIPE, SIG_IGN);
}

Bogofilter::~Bogofilter() { stopBatch(); }

void Bogofilter::startBatch() {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error("no pipe for bogofilter");
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]); close(in[1]);
        throw std::runtime_error("no pipe for bogofilter");
    }
    char* argv[] = {const_cast<char*>("bogofilter"), const_cast<char*>("-d"), dir_.data(),
                    const_cast<char*>("-b"), const_cast<char*>("-T"), nullptr};
    try {
        batch_ = spawn(argv, in[0], out[1], dir_ + "/bogofilter.log");
    } catch (...) {
        close(in[0]); close(in[1]); close(out[0]); close(out[1]);
        throw;
    }
    close(in[0]);
    close(out[1]);
    toBatch_ = fdopen(in[1], "w");
    if (!toBatch_) close(in[1]);
    fromBatch_ = fdopen(out[0], "r");
    if (!fromBatch_) close(out[0]);
    if (!toBatch_ || !fromBatch_) {
        stopBatch();  // the batch reads end of input and ends
        throw std::runtime_error("no pipe for bogofilter");
    }
}

void Bogofilter::stopBatch() {
    if (toBatch_) fclose(toBatch_);
    if (fromBatch_) fclose(fromBatch_);
    toBatch_ = fromBatch_ = nullptr;
    if (batch_ > 0) waitpid(batch_, nullptr, 0);
    batch_ = -1;
}

std::string Bogofilter::writeTemp(const std::string& mail) {
    std::string path = dir_ + "/query-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd < 0) throw std::runtime_error("cannot write a mail for bogofilter in " + dir_);
    const bool ok = write(fd, mail.data(), mail.size()) == static_cast<ssize_t>(mail.size());
    close(fd);
    if (!ok) {
        unlink(path.c_str());
        throw std::runtime_error("cannot write a mail for bogofilter in " + dir_);
    }
    return path;
}

std::int32_t Bogofilter::vote(const std::string& mail) {
    // The batch process starts on the first vote after training, so that it
    // reads the word list as training left it.
    if (batch_ < 0) startBatch();
    const std::string path = writeTemp(mail);
    std::string line;
    if (std::fprintf(toBatch_, "%s\n", path.c_str()) > 0 && std::fflush(toBatch_) == 0) {
        char buffer[4096];
        if (std::fgets(buffer, sizeof buffer, fromBatch_)) line = buffer;
    }
    unlink(path.c_str());
    try {
        // The answer is "PATH S|H|U SPAMICITY".
        const auto last = line.find_last_of(' ');
        if (line.empty() || last == std::string::npos)
            throw std::runtime_error("bogofilter stopped answering (see " + dir_ + "/bogofilter.log)");
        return voteFromSpamicity(line.substr(last + 1));
    } catch (...) {
        // A batch that died or answered out of turn is gone for good: the next
        // vote starts a fresh one, so one bad answer fails one mail, not the
        // rest of the run.
        stopBatch();
        throw;
    }
}

void Bogofilter::train(const std::string& mail, bool spam, bool undoOpposite) {
    stopBatch();
    const std::string path = writeTemp(mail);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    unlink(path.c_str());
    if (fd < 0) throw std::runtime_error("cannot read back a mail for bogofilter");
    std::string mode = spam ? (undoOpposite ? "-Ns" : "-s") : (undoOpposite ? "-Sn" : "-n");
    char* argv[] = {const_cast<char*>("bogofilter"), const_cast<char*>("-d"), dir_.data(), mode.data(), nullptr};
    int status = -1;
    try {
        const pid_t pid = spawn(argv, fd, -1, dir_ + "/bogofilter.log");
        waitpid(pid, &status, 0);
    } catch (...) {
        close(fd);
        throw;
    }
    close(fd);
    if (!WIFEXITED(status) || WEXITSTATUS(status) > 2) throw std::runtime_error("bogofilter could not register the mail (see " + dir_ + "/bogofilter.log)");
}

}  // namespace standins
