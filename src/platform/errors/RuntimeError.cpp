#include "platform/errors/RuntimeError.h"

#include <utility>

namespace brindlewick {

RuntimeError::RuntimeError(int number, QString description)
    : number_(number), description_(std::move(description)), utf8_(description_.toStdString()) {}

RuntimeError OverflowError() { return {ErrorNumber::Overflow, QStringLiteral("Overflow")}; }

RuntimeError DivisionByZeroError() {
  return {ErrorNumber::DivisionByZero, QStringLiteral("Division by zero")};
}

RuntimeError TypeMismatchError() {
  return {ErrorNumber::TypeMismatch, QStringLiteral("Type mismatch")};
}

RuntimeError FileNotFoundError(const QString& path) {
  return {ErrorNumber::FileNotFound, QStringLiteral("File not found: ") + path};
}

}  // namespace brindlewick
