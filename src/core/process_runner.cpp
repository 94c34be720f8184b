#include "core/process_runner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "core/exit_cleanup.h"

extern char** environ;

namespace qp {

namespace {

struct FileActions {
  posix_spawn_file_actions_t fa;
  bool ok;
  FileActions() { ok = posix_spawn_file_actions_init(&fa) == 0; }
  ~FileActions() {
    if (ok) posix_spawn_file_actions_destroy(&fa);
  }
};

struct SpawnAttr {
  posix_spawnattr_t attr;
  bool ok;
  SpawnAttr() { ok = posix_spawnattr_init(&attr) == 0; }
  ~SpawnAttr() {
    if (ok) posix_spawnattr_destroy(&attr);
  }
};

std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false, quoted = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

}  // namespace

int32_t ProcessRunner(const std::vector<std::string>& args, int* exitStatus) {
  if (exitStatus) *exitStatus = -1;
  FileActions fa;
  SpawnAttr sa;
  if (!fa.ok || !sa.ok) return 0;
  if (posix_spawn_file_actions_addopen(&fa.fa, 0, "/dev/null", O_RDONLY, 0) != 0 ||
      posix_spawn_file_actions_addopen(&fa.fa, 1, "/dev/null", O_WRONLY, 0) != 0 ||
      posix_spawn_file_actions_adddup2(&fa.fa, 1, 2) != 0)
    return 0;
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  // The helper inherits none of our other descriptors.
  posix_spawn_file_actions_addclosefrom_np(&fa.fa, 3);
#endif
  // A clean signal state: nothing blocked, SIGPIPE back to its default.
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigmask(&sa.attr, &none);
  posix_spawnattr_setsigdefault(&sa.attr, &defaults);
  // Its own process group: a Ctrl+C in the terminal reaches only this program, which decides
  // whether the helper finishes; the helper never dies half-way and makes its picture fail.
  posix_spawnattr_setpgroup(&sa.attr, 0);
  posix_spawnattr_setflags(&sa.attr,
                           POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

  if (args.empty() || args[0].empty()) return 1;
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  pid_t pid = -1;
  const bool hasSlash = args[0].find('/') != std::string::npos;
  const int rc = hasSlash ? posix_spawn(&pid, argv[0], &fa.fa, &sa.attr, argv.data(), environ)
                          : posix_spawnp(&pid, argv[0], &fa.fa, &sa.attr, argv.data(), environ);
  if (rc != 0) return 1;  // not started: nothing to wait for
  // Listed while it runs, so that a program ending at once can kill it.
  const ListedHelper listed(pid);
  int status = 0;
  pid_t w;
  do {
    w = waitpid(pid, &status, 0);
  } while (w < 0 && errno == EINTR);
  if (w == pid && exitStatus && WIFEXITED(status)) {
    // 127 is how a failed exec after the spawn reports itself.
    *exitStatus = WEXITSTATUS(status);
  }
  return 1;
}

int32_t ProcessRunnerLine(const std::string& commandLine, int* exitStatus) {
  return ProcessRunner(SplitCommandLine(commandLine), exitStatus);
}

}  // namespace qp
