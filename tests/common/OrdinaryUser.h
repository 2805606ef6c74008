#pragma once
// Runs a piece of a test with the rights of an ordinary user, so that tests
// of refused writes mean something also when the tests run as root (as they
// do in CI): in a child process that drops to "nobody" when running as root,
// else right here. Answers the body's result, 99 when the rights could not
// be dropped, -1 when the child did not end normally.
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

// The user and group id of "nobody".
constexpr uid_t kNobody = 65534;

inline int RunAsOrdinaryUser(const std::function<int()>& body) {
  if (::geteuid() != 0) return body();
  pid_t pid = ::fork();
  if (pid == 0) {
    int code = 99;
    if (::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0) code = body();
    ::_exit(code);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
