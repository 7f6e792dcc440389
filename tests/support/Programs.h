#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace brindlewick::test {

struct ProgramRun {
  int exitCode = -1;  // 127 when it could not be run (why is in err); -1 when it did not end
  QByteArray out, err;
};

// Runs a program to its end with the given standard input, as the reference tools the
// differential tests compare with. A plain fork and exec rather than QProcess: QProcess starts its
// child with clone(CLONE_VM), in which ThreadSanitizer's hook stops watching the parent's thread
// and then reports the test's later hand-overs between threads as races.
ProgramRun RunProgram(const QString& program, const QStringList& arguments,
                      const QByteArray& input = {});

}  // namespace brindlewick::test
