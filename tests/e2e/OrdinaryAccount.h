#pragma once

#include <sys/types.h>

#include <optional>

class QProcess;
class QString;

namespace brindlewick::e2e {

// The account the program runs as in these tests, as users run it. The tests run as root, where
// priorities, limits and permissions do not hold; so they make an ordinary account for the
// program (no login, no home of its own) and start it without root's rights and with no nice
// limit (RLIMIT_NICE 0, as on a desktop), under which a thread at idle priority stays there.
struct Account {
  uid_t uid = 0;
  gid_t gid = 0;
};

// The account, made when missing; none when the tests do not run as root, and then the program
// runs as the tests' own user.
std::optional<Account> OrdinaryAccount();

// Starts the process as that account.
void RunAsOrdinaryUser(QProcess& process);

// Hands the folder and all in it to that account, so that the program may write there; false
// where it could not.
bool GiveToOrdinaryUser(const QString& folder);

// Whether the running process is the account's (for a check that the program runs as users run
// it).
bool RunsAsOrdinaryUser(long long pid);

}  // namespace brindlewick::e2e
