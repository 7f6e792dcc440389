#pragma once

#include <exception>
#include <string>

#include <QString>

namespace brindlewick {

// The error numbers a failure report can carry. They keep the classic run-time numbering so
// that a number seen in a report means the same thing everywhere in the program.
namespace ErrorNumber {
constexpr int InvalidProcedureCall = 5;
constexpr int Overflow = 6;
constexpr int OutOfMemory = 7;
constexpr int DivisionByZero = 11;
constexpr int TypeMismatch = 13;
constexpr int FileNotFound = 53;
constexpr int PathFileAccess = 75;
constexpr int InvalidPropertyValue = 380;
constexpr int InvalidPicture = 481;
}  // namespace ErrorNumber

// A run-time failure: its number and the description that the error box shows.
class RuntimeError : public std::exception {
 public:
  RuntimeError(int number, QString description);

  int number() const { return number_; }
  const QString& description() const { return description_; }
  const char* what() const noexcept override { return utf8_.c_str(); }

 private:
  int number_;
  QString description_;
  std::string utf8_;
};

RuntimeError OverflowError();
RuntimeError DivisionByZeroError();
RuntimeError TypeMismatchError();
RuntimeError FileNotFoundError(const QString& path);

}  // namespace brindlewick
