#include "platform/errors/Trap.h"

#include <exception>
#include <new>
#include <utility>

#include "platform/errors/ErrorBox.h"
#include "platform/errors/RuntimeError.h"

namespace brindlewick {

QString FailureReport(const QString& description, const QString& window, const QString& procedure,
                      int line) {
  return description + QStringLiteral("\r\n") + QStringLiteral("in Wickbrook2021/08/31.") + window +
         QLatin1Char('.') + procedure + QLatin1Char(' ') + QStringLiteral("at line ") +
         QString::number(line) + QStringLiteral("\r\r") +
         QStringLiteral("Please email screenshot of this message to ") +
         QLatin1String(kSupportAddress);
}

Trap::Trap(ErrorBox& box, QString window, QString procedure)
    : box_(box), window_(std::move(window)), procedure_(std::move(procedure)) {}

QString CurrentFailureDescription() {
  try {
    throw;
  } catch (const RuntimeError& e) {
    return e.description();
  } catch (const std::bad_alloc&) {
    return QStringLiteral("Out of memory");
  } catch (const std::exception& e) {
    return QString::fromUtf8(e.what());
  } catch (...) {
    return QStringLiteral("Unknown failure");
  }
}

void ShowUntrappedFailure(ErrorBox& box) noexcept {
  try {
    box.showReport(CurrentFailureDescription());
  } catch (...) {
    // Nothing is left to tell the user with; carrying on beats ending the program.
  }
}

void Trap::reportCurrentFailure(int line) {
  box_.showReport(FailureReport(CurrentFailureDescription(), window_, procedure_, line));
}

}  // namespace brindlewick
