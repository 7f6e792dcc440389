#include "e2e/OrdinaryAccount.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <QProcess>
#include <QString>

namespace brindlewick::e2e {
namespace {

constexpr char kName[] = "brindlewick-user";

std::optional<Account> Find() {
  const passwd* entry = getpwnam(kName);
  if (!entry) return std::nullopt;
  return Account{entry->pw_uid, entry->pw_gid};
}

// Tests run side by side, each in a process of its own: one makes the account, under a lock.
std::optional<Account> Make() {
  const int lock = open("/tmp/brindlewick-user.lock", O_CREAT | O_RDWR | O_CLOEXEC, 0600);
  flock(lock, LOCK_EX);
  std::optional<Account> account = Find();
  if (!account) {
    QProcess::execute(QStringLiteral("useradd"),
                      {QStringLiteral("--system"), QStringLiteral("--user-group"),
                       QStringLiteral("--no-create-home"), QStringLiteral("--home-dir"),
                       QStringLiteral("/nonexistent"), QStringLiteral("--shell"),
                       QStringLiteral("/usr/sbin/nologin"), QLatin1String(kName)});
    account = Find();
  }
  close(lock);
  return account;
}

}  // namespace

std::optional<Account> OrdinaryAccount() {
  if (geteuid() != 0) return std::nullopt;
  static const std::optional<Account> account = Make();
  return account;
}

void RunAsOrdinaryUser(QProcess& process) {
  const std::optional<Account> account = OrdinaryAccount();
  if (!account) return;
  // In the child before it runs the program: system calls only, each for this process alone.
  process.setChildProcessModifier([uid = account->uid, gid = account->gid] {
    const rlimit noNice{0, 0};
    if (setrlimit(RLIMIT_NICE, &noNice) != 0 || syscall(SYS_setgroups, 0, nullptr) != 0 ||
        syscall(SYS_setresgid, gid, gid, gid) != 0 || syscall(SYS_setresuid, uid, uid, uid) != 0) {
      _exit(126);
    }
  });
}

bool GiveToOrdinaryUser(const QString& folder) {
  const std::optional<Account> account = OrdinaryAccount();
  if (!account) return true;
  const std::filesystem::path top(folder.toStdString());
  bool given = lchown(top.c_str(), account->uid, account->gid) == 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(top)) {
    given = lchown(entry.path().c_str(), account->uid, account->gid) == 0 && given;
  }
  return given;
}

bool RunsAsOrdinaryUser(long long pid) {
  const std::optional<Account> account = OrdinaryAccount();
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("Uid:", 0) == 0) {
      const uid_t uid = uid_t(std::stoul(line.substr(4)));
      return account ? uid == account->uid : uid == geteuid();
    }
  }
  return false;
}

}  // namespace brindlewick::e2e
