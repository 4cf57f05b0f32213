#include "data/error_guard.h"

#include <exception>

namespace msu::data {

namespace {

void Record(std::vector<ErrorEntry>* errors, const DataError& error) {
  if (errors != nullptr) *errors = {{error.number(), error.description()}};
}

}  // namespace

void ForgetErrors(std::vector<ErrorEntry>* errors) {
  if (errors != nullptr) errors->clear();
}

void RecordAndRethrow(std::vector<ErrorEntry>* errors) {
  try {
    throw;
  } catch (const DataError& error) {
    Record(errors, error);
    throw;
  } catch (const std::exception& error) {
    DataError converted(kErrStatement, error.what());
    Record(errors, converted);
    throw converted;
  }
}

}  // namespace msu::data
