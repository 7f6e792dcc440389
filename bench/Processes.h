#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

// Starting, watching and measuring the processes of the end-to-end benchmarks.
namespace brindlewick::bench {

using Clock = std::chrono::steady_clock;
using Strings = std::vector<std::string>;

double Ms(Clock::duration d);
void Sleep(int ms);

// Starts a program with the environment given, its input empty and, unless a descriptor is
// given for it, its output thrown away; -1 when it cannot.
pid_t Spawn(const Strings& args, const Strings& env, int stdoutFd = -1);
// Starts a program with its output on a pipe and returns the first line it writes.
std::string SpawnAndReadLine(const Strings& args, const Strings& env, pid_t* pid);
// This process's own environment.
Strings OwnEnvironment();
bool OnPath(const std::string& program);
// Every process below ours. The bench is the subreaper of what it starts, so a helper that
// detaches from its viewer (a daemon forked by a KDE or GNOME library) is still counted.
std::vector<pid_t> Descendants();
// Peak resident memory of a process, and its resident memory now, in KiB.
long VmHwmKb(pid_t pid);
long VmRssKb(pid_t pid);
// The processes the process started and has not yet reaped.
std::vector<pid_t> ChildrenOf(pid_t pid);

}  // namespace brindlewick::bench
